#include "host/bridge/message_bridge.h"

#include "host/identity/origins.h"

namespace kovrkit {

using nlohmann::json;

MessageBridge::MessageBridge(std::string acceptedOrigin)
    : acceptedOrigin_(std::move(acceptedOrigin))
{
}

void MessageBridge::addCommands(CommandTable table)
{
    for (Command& command : table) {
        std::string name = command.name;
        commands_.try_emplace(std::move(name), std::move(command));
    }
}

void MessageBridge::beginWebViewCreation()
{
    uiReady_ = false;
    pendingMessages_.clear();
}

void MessageBridge::sendToUi(std::string json)
{
    if (!webView_)
        return;
    if (uiReady_)
        webView_->postMessageJson(json);
    else
        pendingMessages_.push_back(std::move(json));
}

void MessageBridge::flushPending()
{
    if (!webView_ || !uiReady_)
        return;
    // A reply posted while flushing goes straight out, so take the queue first.
    std::deque<std::string> queued;
    queued.swap(pendingMessages_);
    for (const std::string& message : queued)
        webView_->postMessageJson(message);
}

void MessageBridge::onWebMessage(std::string_view sourceUri, std::string_view messageJson) noexcept
{
    try {
        if (!isFromOrigin(sourceUri, acceptedOrigin_))
            return;
        json message = json::parse(messageJson, nullptr, false, false);
        if (message.is_discarded() || !message.is_object())
            return;
        auto command = message.find("command");
        if (command == message.end() || !command->is_string())
            return;
        auto payloadMember = message.find("payload");
        json payload = (payloadMember != message.end() && payloadMember->is_object())
            ? std::move(*payloadMember)
            : json::object();

        if (!uiReady_) {
            uiReady_ = true;
            flushPending();
        }
        auto handler = commands_.find(command->get_ref<const std::string&>());
        if (handler != commands_.end())
            handler->second.run(payload);
    } catch (...) {
        // Nothing may leave the web view's callback; the command simply ends here.
    }
}

} // namespace kovrkit

#pragma once

#include "host/bridge/command_table.h"
#include "host/bridge/ui_reply_sink.h"
#include "host/platform/web_view_port.h"

#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

namespace kovrkit {

// Receives the UI's messages, checks their origin, decodes them and runs the command of that
// name from the tables the features added; sends every reply, queueing replies until the UI
// has said it listens. Knows no feature. UI thread only.
class MessageBridge final : public UiReplySink {
public:
    explicit MessageBridge(std::string acceptedOrigin);

    // Adds a feature's commands; a name already known keeps its first handler.
    void addCommands(CommandTable table);

    // Web view creation begins: the UI is not ready and nothing is queued. Messages sent
    // before a web view is attached are dropped.
    void beginWebViewCreation();
    void attachWebView(WebViewPort* webView) { webView_ = webView; }

    // One message from the page at `sourceUri`; never throws.
    void onWebMessage(std::string_view sourceUri, std::string_view messageJson) noexcept;

    void sendToUi(std::string json) override;
    void flushPending();

    bool uiReady() const { return uiReady_; }
    size_t pendingCount() const { return pendingMessages_.size(); }

private:
    std::string acceptedOrigin_;
    std::unordered_map<std::string, Command> commands_;
    WebViewPort* webView_ = nullptr;
    bool uiReady_ = false;
    std::deque<std::string> pendingMessages_;
};

} // namespace kovrkit

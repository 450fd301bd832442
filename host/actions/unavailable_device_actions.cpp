#include "host/actions/unavailable_device_actions.h"

#include "host/bridge/outgoing_messages.h"
#include "host/bridge/payload.h"

#include <algorithm>

namespace kovrkit {

UnavailableDeviceActions::UnavailableDeviceActions(UiReplySink& sink, MainLoopPoster& poster)
    : sink_(sink)
    , poster_(poster)
{
}

static void sendResult(UiReplySink& sink, const std::string& action, bool success, int32_t exitCode,
    const std::string& message, const std::string& address, const std::string& data)
{
    sink.sendToUi(nativeActionResultMessage(action, success, exitCode, message, address, data));
}

void UnavailableDeviceActions::runSingle(const std::string& action, const std::string& address)
{
    if (trimWhiteSpace(address).empty()) {
        sendResult(sink_, action, false, -1, "Missing device IP", "", "");
        return;
    }
    sendResult(sink_, action, false, -1, kActionUnavailableMessage, address, "");
}

void UnavailableDeviceActions::runBatch(
    const std::string& action, const std::vector<std::string>& addresses)
{
    std::vector<std::string> devices = uniqueDeviceList(addresses);
    if (devices.empty()) {
        sendResult(sink_, action, false, -1, "Missing device IP", "", "");
        return;
    }
    for (const std::string& device : devices)
        sendResult(sink_, action, false, -1, kActionUnavailableMessage, device, "");
    auto total = static_cast<int32_t>(devices.size());
    sink_.sendToUi(nativeActionBatchSummaryMessage(action, total, 0, total));
}

void UnavailableDeviceActions::startStatus(std::vector<std::string> addresses, bool wantSummary)
{
    UiReplySink& sink = sink_;
    MainLoopPoster& poster = poster_;
    workers_.start([&sink, &poster, addresses = std::move(addresses), wantSummary](
                       std::stop_token stop) {
        const std::string action = "native_actionGetStatus";
        auto postResult = [&](std::string message, std::string address) {
            poster.post([&sink, action, message = std::move(message),
                            address = std::move(address)] {
                sink.sendToUi(nativeActionResultMessage(action, false, -1, message, address, ""));
            });
        };
        std::vector<std::string> devices = uniqueDeviceList(addresses);
        if (devices.empty())
            postResult("Missing device IP", "");
        for (const std::string& device : devices) {
            if (stop.stop_requested())
                return;
            postResult(kActionUnavailableMessage, device);
        }
        if (wantSummary) {
            auto total = static_cast<int32_t>(devices.size());
            poster.post([&sink, action, total] {
                sink.sendToUi(nativeActionBatchSummaryMessage(action, total, 0, total));
            });
        }
    });
}

} // namespace kovrkit

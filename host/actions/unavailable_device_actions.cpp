#include "host/actions/unavailable_device_actions.h"

#include "host/bridge/payload.h"

#include <algorithm>
#include <memory>
#include <thread>

namespace kovrkit {

UnavailableDeviceActions::UnavailableDeviceActions(MessageBridge& bridge, HostMessagePoster& poster)
    : bridge_(bridge)
    , poster_(poster)
{
}

void UnavailableDeviceActions::runSingle(const std::string& action, const std::string& address)
{
    if (trimWhiteSpace(address).empty()) {
        bridge_.postActionResult(action, false, -1, "Missing device IP", "", "");
        return;
    }
    bridge_.postActionResult(action, false, -1, kActionUnavailableMessage, address, "");
}

void UnavailableDeviceActions::runBatch(
    const std::string& action, const std::vector<std::string>& addresses)
{
    std::vector<std::string> devices = uniqueDeviceList(addresses);
    if (devices.empty()) {
        bridge_.postActionResult(action, false, -1, "Missing device IP", "", "");
        return;
    }
    for (const std::string& device : devices)
        bridge_.postActionResult(action, false, -1, kActionUnavailableMessage, device, "");
    auto total = static_cast<int32_t>(devices.size());
    bridge_.postBatchSummary(action, total, 0, total);
}

static void postOrDrop(
    HostMessagePoster& poster, HostMessageId id, void* record, void (*destroy)(void*))
{
    if (!poster.postHostMessage(id, record))
        destroy(record);
}

static void postStatusResult(HostMessagePoster& poster, std::string message, std::string address)
{
    auto* record = new PostedActionResult { "native_actionGetStatus", false, -1, std::move(message),
        std::move(address), "" };
    postOrDrop(poster, HostMessageId::ActionResult, record,
        [](void* r) { delete static_cast<PostedActionResult*>(r); });
}

static void postStatusSummary(HostMessagePoster& poster, int32_t total)
{
    auto* record = new PostedBatchSummary { "native_actionGetStatus", total, 0, total };
    postOrDrop(poster, HostMessageId::BatchSummary, record,
        [](void* r) { delete static_cast<PostedBatchSummary*>(r); });
}

void UnavailableDeviceActions::startStatus(std::vector<std::string> addresses, bool wantSummary)
{
    HostMessagePoster& poster = poster_;
    std::thread worker([&poster, addresses = std::move(addresses), wantSummary] {
        std::vector<std::string> devices = uniqueDeviceList(addresses);
        if (devices.empty())
            postStatusResult(poster, "Missing device IP", "");
        for (const std::string& device : devices)
            postStatusResult(poster, kActionUnavailableMessage, device);
        if (wantSummary)
            postStatusSummary(poster, static_cast<int32_t>(devices.size()));
    });
    worker.detach();
}

} // namespace kovrkit

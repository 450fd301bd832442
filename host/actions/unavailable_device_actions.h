#pragma once

#include "host/actions/device_list.h"
#include "host/bridge/host_records.h"
#include "host/bridge/host_services.h"
#include "host/bridge/message_bridge.h"

namespace kovrkit {

inline constexpr const char* kActionUnavailableMessage
    = "This action is not available in this build";

// Device actions of a build without the action runner: every device gets a failing result
// that says so, batches end with their summary, and status results travel from a worker
// thread through the host message poster like real ones.
class UnavailableDeviceActions final : public DeviceActions {
public:
    UnavailableDeviceActions(MessageBridge& bridge, HostMessagePoster& poster);

    void runSingle(const std::string& action, const std::string& address) override;
    void runBatch(const std::string& action, const std::vector<std::string>& addresses) override;
    void startStatus(std::vector<std::string> addresses, bool wantSummary) override;

private:
    MessageBridge& bridge_;
    HostMessagePoster& poster_;
};

} // namespace kovrkit

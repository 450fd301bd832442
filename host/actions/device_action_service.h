#pragma once

#include "host/actions/action_replies.h"
#include "host/actions/action_runner.h"
#include "host/actions/status_batches.h"
#include "host/bridge/host_services.h"
#include "host/bridge/message_bridge.h"

namespace kovrkit {

// Replies of device actions sent straight through the bridge (UI thread).
class BridgeActionReplies final : public ActionReplies {
public:
    explicit BridgeActionReplies(MessageBridge& bridge)
        : bridge_(bridge)
    {
    }
    void sendResult(const PostedActionResult& result) override;
    void sendSummary(const PostedBatchSummary& summary) override;

private:
    MessageBridge& bridge_;
};

// The device actions of the UI: backup, restore and firmware upgrade through kovru-cli on the
// UI thread, status reads on workers.
class DeviceActionService final : public DeviceActions {
public:
    DeviceActionService(ActionRunner& runner, StatusBatches& statusBatches)
        : runner_(runner)
        , statusBatches_(statusBatches)
    {
    }

    void runSingle(const std::string& action, const std::string& address) override
    {
        runner_.runSingle(action, address);
    }
    void runBatch(const std::string& action, const std::vector<std::string>& addresses) override
    {
        runner_.runBatch(action, addresses);
    }
    void startStatus(std::vector<std::string> addresses, bool wantSummary) override
    {
        statusBatches_.start(std::move(addresses), wantSummary);
    }

private:
    ActionRunner& runner_;
    StatusBatches& statusBatches_;
};

} // namespace kovrkit

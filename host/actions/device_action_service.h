#pragma once

#include "host/actions/action_runner.h"
#include "host/actions/device_actions.h"
#include "host/actions/status_batches.h"

namespace kovrkit {

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

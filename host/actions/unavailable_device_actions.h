#pragma once

#include "host/actions/device_actions.h"
#include "host/actions/device_list.h"
#include "host/actions/worker_threads.h"
#include "host/bridge/ui_reply_sink.h"
#include "host/platform/main_loop_poster.h"

namespace kovrkit {

inline constexpr const char* kActionUnavailableMessage
    = "This action is not available in this build";

// Device actions of a build without the action runner: every device gets a failing result
// that says so, batches end with their summary, and status results travel from a worker
// thread through the main loop like real ones.
class UnavailableDeviceActions final : public DeviceActions {
public:
    UnavailableDeviceActions(UiReplySink& sink, MainLoopPoster& poster);

    void runSingle(const std::string& action, const std::string& address) override;
    void runBatch(const std::string& action, const std::vector<std::string>& addresses) override;
    void startStatus(std::vector<std::string> addresses, bool wantSummary) override;

private:
    UiReplySink& sink_;
    MainLoopPoster& poster_;
    WorkerThreads workers_; // last, so workers stop before the rest goes
};

} // namespace kovrkit

#pragma once

#include "host/actions/status_batches.h"
#include "host/jobs/device_run.h"
#include "host/platform/main_loop_poster.h"

namespace kovrkit {

// Status of one device: the host's own status read on a thread of the run, its result handed
// to the UI thread through the main loop. A failure's cause: "unreachable" when no answer came,
// "controller-refused" for an HTTP error answer, "other" for an answer that could not be read.
class StatusDeviceRunner final : public DeviceRunner {
public:
    StatusDeviceRunner(MainLoopPoster& poster, StatusReader reader = {});

    DeviceStart start(
        const JobRequest& request, const JobDevice& device, DeviceRunCallbacks callbacks) override;

private:
    MainLoopPoster& poster_;
    StatusReader reader_;
};

DeviceEnd statusRunEnd(const StatusReading& reading);

} // namespace kovrkit

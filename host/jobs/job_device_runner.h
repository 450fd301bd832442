#pragma once

#include "host/jobs/device_run.h"

namespace kovrkit {

// Status through the status runner, every other action through the tool runner.
class JobDeviceRunner final : public DeviceRunner {
public:
    JobDeviceRunner(DeviceRunner& toolRunner, DeviceRunner& statusRunner)
        : toolRunner_(toolRunner)
        , statusRunner_(statusRunner)
    {
    }

    DeviceStart start(
        const JobRequest& request, const JobDevice& device, DeviceRunCallbacks callbacks) override
    {
        DeviceRunner& runner = request.action == JobAction::status ? statusRunner_ : toolRunner_;
        return runner.start(request, device, std::move(callbacks));
    }

private:
    DeviceRunner& toolRunner_;
    DeviceRunner& statusRunner_;
};

} // namespace kovrkit

#pragma once

#include "host/jobs/device_run.h"
#include "host/platform/child_processes.h"

#include <string>

namespace kovrkit {

// The descriptor the tool writes its events to.
inline constexpr int kToolEventsFd = 3;

// Backup, restore and firmware upgrade of one device: kovru-cli without its window, its
// events read from a pipe. An upgrade is verified (--verifyupgrade); the check of an
// upgrade's image (a dry run) ends with the image's model and version as its data. The cause of a
// failure is the one the tool named; without one, a tool that could not be started is
// "tool-missing", exit status 2 "refused-input", any other failure "other".
class ToolDeviceRunner final : public DeviceRunner {
public:
    ToolDeviceRunner(ChildProcesses& processes, std::string toolPath);

    DeviceStart start(
        const JobRequest& request, const JobDevice& device, DeviceRunCallbacks callbacks) override;

private:
    ChildProcesses& processes_;
    std::string toolPath_;
};

// The argument vector of one device's run.
std::vector<std::string> jobToolArguments(const std::string& toolPath, JobAction action,
    const std::string& address, const std::string& input);

// How a run that ended with `exitStatus` is reported, from what its events said.
DeviceEnd toolRunEnd(int exitStatus, const std::string& toolCause, const std::string& lastError);

} // namespace kovrkit

#pragma once

#include "host/jobs/device_run.h"
#include "host/platform/child_processes.h"

#include <string>

namespace kovrkit {

// The descriptor the tool writes its events to.
inline constexpr int kToolEventsFd = 3;

// Backup, restore and firmware upgrade of one device: kovru-cli without its window, its
// events read from a pipe. The cause of a failure is the one the tool named; without one, a
// tool that could not be started is "tool-missing", exit status 2 "refused-input", any other
// failure "other".
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

// The argument vector of one device's run of any tool action: the above, or the line and DALI
// device firmware commands (line_tool_arguments.h), and the slow-link options for a device on
// a slow link. exportFolder is the device's own folder of an export.
std::vector<std::string> jobRunArguments(const std::string& toolPath, const JobRequest& request,
    const JobDevice& device, const std::string& exportFolder);

// How a run that ended with `exitStatus` is reported, from what its events said.
DeviceEnd toolRunEnd(int exitStatus, const std::string& toolCause, const std::string& lastError);

} // namespace kovrkit

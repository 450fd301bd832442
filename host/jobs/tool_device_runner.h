#pragma once

#include "host/backups/backup_library.h"
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
// An upgrade is verified (--verifyupgrade); the check of an upgrade's file (check_firmware)
// ends with the image's model and version as its data.
// A backup to the library (option "library") is written by the tool into a staging folder of
// the library and filed when the tool has ended (docs/backup_library.md); its result's data
// names the archive, the record, the device's folder and whether the items changed.
class ToolDeviceRunner final : public DeviceRunner {
public:
    ToolDeviceRunner(
        ChildProcesses& processes, std::string toolPath, BackupLibrary* library = nullptr);

    DeviceStart start(
        const JobRequest& request, const JobDevice& device, DeviceRunCallbacks callbacks) override;

private:
    ChildProcesses& processes_;
    std::string toolPath_;
    BackupLibrary* library_;
};

inline constexpr const char* kNoBackupLibraryMessage = "The backup library is not available";

// The device end of a backup into the library once the tool ended with `end`: filed, the
// data of the result names it; not filed, a failure with the library's reason.
DeviceEnd fileLibraryBackup(BackupLibrary& library, const std::filesystem::path& staging,
    const std::string& address, DeviceEnd end);

// The argument vector of one device's run.
std::vector<std::string> jobToolArguments(const std::string& toolPath, JobAction action,
    const std::string& address, const std::string& input);

// How a run that ended with `exitStatus` is reported, from what its events said.
DeviceEnd toolRunEnd(int exitStatus, const std::string& toolCause, const std::string& lastError);

inline constexpr const char* kAuditToolAction = "audit_lines";

// A warning line of audit_lines that names a finding: "Line N finding: TEXT".
bool isAuditFinding(const std::string& line);

// An audit ran when the tool ended with 0 (nothing found) or 1 (findings): a success whose
// data is {"findings": [lines]}; any other end is reported as for the other actions.
DeviceEnd auditRunEnd(int exitStatus, const std::string& toolCause, const std::string& lastError,
    const std::vector<std::string>& findings);

} // namespace kovrkit

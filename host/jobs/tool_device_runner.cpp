#include "host/jobs/tool_device_runner.h"

#include "host/actions/action_messages.h"
#include "host/actions/tool_command.h"
#include "host/jobs/tool_events.h"
#include "host/jobs/upgrade_checks.h"
#include "host/platform/utc_clock.h"

#include <nlohmann/json.hpp>

#include <filesystem>

namespace kovrkit {

namespace {

const ToolCommand* commandOf(JobAction action)
{
    switch (action) {
    case JobAction::backup:
        return toolCommandFor(kBackupAction);
    case JobAction::restore:
        return toolCommandFor(kRestoreAction);
    case JobAction::upgrade:
        return toolCommandFor(kFirmwareUpgradeAction);
    case JobAction::status:
    case JobAction::audit:
        break;
    }
    return nullptr;
}

DeviceEnd failedAtOnce(const char* cause, const std::string& message)
{
    return { false, -1, cause, message, message, "" };
}

// The one archive the tool left in the staging folder.
std::optional<std::filesystem::path> stagedArchive(const std::filesystem::path& staging)
{
    std::optional<std::filesystem::path> found;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(staging, error), end; !error && entry != end;
         entry.increment(error)) {
        std::string name = entry->path().filename().string();
        if (!name.starts_with(".") && name.ends_with(".zip"))
            found = entry->path();
    }
    return found;
}

class ToolDeviceRun final : public DeviceRun {
public:
    ToolDeviceRun(DeviceRunCallbacks callbacks, BackupLibrary* library,
        std::filesystem::path staging, std::string address, bool imageCheck, bool audit)
        : callbacks_(std::move(callbacks))
        , library_(library)
        , staging_(std::move(staging))
        , address_(std::move(address))
        , imageCheck_(imageCheck)
        , audit_(audit)
    {
    }
    ~ToolDeviceRun() override { removeStaging(); }

    bool launch(ChildProcesses& processes, const std::vector<std::string>& arguments)
    {
        process_ = processes.start(arguments, kToolEventsFd,
            { [this](std::string_view bytes) { onBytes(bytes); },
                [this](int exitStatus) { onEnded(exitStatus); } });
        return process_ != nullptr;
    }

    void cancel() override
    {
        if (process_)
            process_->terminate();
    }

private:
    void onBytes(std::string_view bytes)
    {
        bool changed = false;
        for (ToolEvent& event : reader_.feed(bytes)) {
            switch (event.kind) {
            case ToolEvent::Kind::progress:
                changed = changed || event.percent != percent_;
                percent_ = event.percent;
                break;
            case ToolEvent::Kind::log:
                if (event.logKind == "error")
                    lastError_ = event.text;
                if (audit_ && event.logKind == "warning" && isAuditFinding(event.text))
                    findings_.push_back(event.text);
                if (imageCheck_ && event.logKind == "plain")
                    info_.take(event.text);
                line_ = std::move(event.text);
                changed = true;
                break;
            case ToolEvent::Kind::cause:
                cause_ = std::move(event.text);
                break;
            }
        }
        if (changed && callbacks_.onProgress)
            callbacks_.onProgress(percent_ < 0 ? 0 : percent_, line_);
    }

    void onEnded(int exitStatus)
    {
        DeviceEnd end = audit_ ? auditRunEnd(exitStatus, cause_, lastError_, findings_)
                               : toolRunEnd(exitStatus, cause_, lastError_);
        if (library_ && !staging_.empty()) {
            end = fileLibraryBackup(*library_, staging_, address_, std::move(end));
            removeStaging();
        }
        // Last: the engine may destroy this run from its callback.
        auto onEnd = std::move(callbacks_.onEnd);
        if (imageCheck_ && end.success)
            end.data = info_.asData();
        onEnd(std::move(end));
    }

    void removeStaging()
    {
        if (staging_.empty())
            return;
        std::error_code ignored;
        std::filesystem::remove_all(staging_, ignored);
        staging_.clear();
    }

    DeviceRunCallbacks callbacks_;
    BackupLibrary* library_;
    std::filesystem::path staging_;
    std::string address_;
    bool imageCheck_;
    FirmwareInfoLines info_;
    std::unique_ptr<ChildProcess> process_;
    ToolEventReader reader_;
    int percent_ = -1;
    std::string line_;
    std::string lastError_;
    std::string cause_;
    bool audit_ = false;
    std::vector<std::string> findings_;
};

} // namespace

ToolDeviceRunner::ToolDeviceRunner(
    ChildProcesses& processes, std::string toolPath, BackupLibrary* library)
    : processes_(processes)
    , toolPath_(std::move(toolPath))
    , library_(library)
{
}

DeviceEnd fileLibraryBackup(BackupLibrary& library, const std::filesystem::path& staging,
    const std::string& address, DeviceEnd end)
{
    // A cancelled run is no result of the device.
    if (!end.success && end.cause == "cancelled")
        return end;
    BackupAttempt attempt;
    attempt.address = address;
    attempt.time = utcTimestamp();
    attempt.success = end.success;
    attempt.cause = end.cause;
    attempt.reason = end.reason;
    if (end.success) {
        std::optional<std::filesystem::path> archive = stagedArchive(staging);
        attempt.archive = archive.value_or(staging / "missing.zip");
    }
    FiledBackup filed = library.file(attempt);
    if (!end.success)
        return end;
    if (!filed.filed)
        return { false, end.exitCode, "other", filed.error, kToolFailedMessage, "" };
    nlohmann::json data { { "archive", filed.archivePath.string() }, { "changed", filed.changed() },
        { "device", filed.key }, { "record", filed.recordPath.string() } };
    end.data = data.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return end;
}

std::vector<std::string> jobToolArguments(const std::string& toolPath, JobAction action,
    const std::string& address, const std::string& input)
{
    std::vector<std::string> arguments;
    if (action == JobAction::audit) {
        arguments = { toolPath, std::string("--action=") + kAuditToolAction, "--ip=" + address };
    } else {
        const ToolCommand* command = commandOf(action);
        if (!command)
            return {};
        arguments = toolArguments(toolPath, *command, address, input);
    }
    arguments.push_back("--nowindow");
    arguments.push_back("--eventsfd=" + std::to_string(kToolEventsFd));
    return arguments;
}

DeviceEnd toolRunEnd(int exitStatus, const std::string& toolCause, const std::string& lastError)
{
    if (exitStatus == 0)
        return { true, 0, "", "", kToolSucceededMessage, "" };
    std::string cause = toolCause;
    if (cause.empty())
        cause = exitStatus == 2 ? "refused-input" : "other";
    return { false, exitStatus, cause, lastError, kToolFailedMessage, "" };
}

bool isAuditFinding(const std::string& line)
{
    return line.starts_with("Line ") && line.find(" finding: ") != std::string::npos;
}

DeviceEnd auditRunEnd(int exitStatus, const std::string& toolCause, const std::string& lastError,
    const std::vector<std::string>& findings)
{
    // Findings are the audit's result, not a failure of the run (exit 1 as diff(1)).
    if (exitStatus != 0 && exitStatus != 1)
        return toolRunEnd(exitStatus, toolCause, lastError);
    nlohmann::json data { { "findings", findings } };
    return { true, exitStatus, "", "", kToolSucceededMessage,
        data.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) };
}

DeviceStart ToolDeviceRunner::start(
    const JobRequest& request, const JobDevice& device, DeviceRunCallbacks callbacks)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(toolPath_, error))
        return { nullptr, failedAtOnce("tool-missing", kToolMissingMessage) };
    std::filesystem::path staging;
    std::string input = request.input;
    if (request.action == JobAction::backup && request.toLibrary) {
        if (!library_)
            return { nullptr, failedAtOnce("other", kNoBackupLibraryMessage) };
        std::string stagingError;
        std::optional<std::filesystem::path> made = library_->makeStagingFolder(stagingError);
        if (!made)
            return { nullptr, failedAtOnce("other", stagingError) };
        staging = *made;
        input = staging.string();
    }
    std::vector<std::string> arguments
        = jobToolArguments(toolPath_, request.action, device.ip, input);
    if (arguments.empty()) {
        std::filesystem::remove_all(staging, error);
        return { nullptr, failedAtOnce("other", kUnknownActionMessage) };
    }
    bool imageCheck = request.action == JobAction::upgrade && request.imageCheck;
    if (imageCheck)
        arguments = { toolPath_, "--action=check_firmware", "--firmwarefile=" + input, "--nowindow",
            "--eventsfd=" + std::to_string(kToolEventsFd) };
    else if (request.action == JobAction::upgrade)
        arguments.push_back("--verifyupgrade=" + std::to_string(request.verifySeconds));
    auto run = std::make_unique<ToolDeviceRun>(std::move(callbacks),
        request.toLibrary ? library_ : nullptr, staging, device.ip, imageCheck,
        request.action == JobAction::audit);
    if (!run->launch(processes_, arguments))
        return { nullptr, failedAtOnce("tool-missing", kToolFailedToRunMessage) };
    return { std::move(run), {} };
}

} // namespace kovrkit

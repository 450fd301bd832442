#include "host/jobs/tool_device_runner.h"

#include "host/actions/action_messages.h"
#include "host/actions/tool_command.h"
#include "host/jobs/line_tool_arguments.h"
#include "host/jobs/tool_events.h"
#include "host/jobs/upgrade_checks.h"
#include "host/platform/utc_clock.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <system_error>
#include <unistd.h>

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
    case JobAction::setupChannel:
    case JobAction::exportChannel:
    case JobAction::pushD2fw:
    case JobAction::audit:
        break;
    }
    return nullptr;
}

DeviceEnd failedAtOnce(const char* cause, const std::string& message)
{
    return { false, -1, cause, message, message, "" };
}

// A preview of four lines of 64 records holds a few thousand fields at most; a runaway tool
// cannot make the host hold more.
constexpr size_t kMaxCollectedChanges = 20000;

// What a channel set-up reports line by line: each field a dry run would change and each
// line's end, as the "data" of its device result.
class LineResults {
public:
    void add(ToolEvent& event)
    {
        if (event.kind == ToolEvent::Kind::lineResult) {
            lines_.push_back({ { "line", event.line }, { "done", event.done },
                { "reason", std::move(event.text) } });
        } else if (changes_.size() < kMaxCollectedChanges) {
            changes_.push_back({ { "line", event.line }, { "record", std::move(event.record) },
                { "field", std::move(event.field) }, { "old", std::move(event.oldValue) },
                { "new", std::move(event.newValue) } });
        } else {
            ++leftOut_;
        }
    }

    // "Line N: REASON" of each line that was not pushed, joined; "" when none.
    std::string reasons() const
    {
        std::string joined;
        for (const auto& line : lines_) {
            if (line["done"].get<bool>())
                continue;
            joined += (joined.empty() ? "" : "; ") + std::string("Line ")
                + std::to_string(line["line"].get<int>()) + ": "
                + line["reason"].get<std::string>();
        }
        return joined;
    }

    std::string json(bool dryRun) const
    {
        nlohmann::ordered_json data { { "dryRun", dryRun }, { "lines", lines_ },
            { "changes", changes_ } };
        if (leftOut_)
            data["changesLeftOut"] = leftOut_;
        return data.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }

private:
    nlohmann::ordered_json lines_ = nlohmann::ordered_json::array();
    nlohmann::ordered_json changes_ = nlohmann::ordered_json::array();
    size_t leftOut_ = 0;
};

// The folder one controller's export goes to, made if need be; the refusal text when it
// cannot be written.
std::string prepareExportFolder(const std::string& folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!error && !std::filesystem::is_directory(folder, error))
        error = std::make_error_code(std::errc::not_a_directory);
    if (!error && ::access(folder.c_str(), W_OK | X_OK) != 0)
        error = std::error_code(errno, std::generic_category());
    if (!error)
        return "";
    return "The export folder cannot be written: " + folder + " (" + error.message() + ")";
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
        std::filesystem::path staging, std::string address, bool imageCheck, bool audit,
        bool setsUpLines, bool dryRun)
        : callbacks_(std::move(callbacks))
        , library_(library)
        , staging_(std::move(staging))
        , address_(std::move(address))
        , imageCheck_(imageCheck)
        , setsUpLines_(setsUpLines)
        , dryRun_(dryRun)
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
            case ToolEvent::Kind::change:
            case ToolEvent::Kind::lineResult:
                lineResults_.add(event);
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
        if (setsUpLines_) {
            end.data = lineResults_.json(dryRun_);
            if (std::string reasons = lineResults_.reasons(); !end.success && !reasons.empty())
                end.reason = std::move(reasons);
        }
        onEnd(std::move(end));
    }

    void removeStaging()
    {
        if (staging_.empty() || !library_)
            return;
        library_->removeStagingFolder(staging_);
        staging_.clear();
    }

    DeviceRunCallbacks callbacks_;
    BackupLibrary* library_;
    std::filesystem::path staging_;
    std::string address_;
    bool imageCheck_;
    FirmwareInfoLines info_;
    bool setsUpLines_;
    bool dryRun_;
    LineResults lineResults_;
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

namespace {

bool isLineAction(JobAction action)
{
    return action == JobAction::setupChannel || action == JobAction::exportChannel
        || action == JobAction::pushD2fw;
}

// The tool's command line for one device, with `input` as the action's file or folder.
std::vector<std::string> runArguments(const std::string& toolPath, const JobRequest& request,
    const JobDevice& device, const std::string& input, const std::string& exportFolder)
{
    const bool lineAction = isLineAction(request.action);
    std::vector<std::string> arguments = lineAction
        ? lineToolArguments(toolPath, request, device, exportFolder)
        : jobToolArguments(toolPath, request.action, device.ip, input);
    if (arguments.empty())
        return arguments;
    if (lineAction) {
        arguments.push_back("--nowindow");
        arguments.push_back("--eventsfd=" + std::to_string(kToolEventsFd));
    }
    if (device.slowLink) {
        arguments.push_back(kSlowLinkBlockSizeOption);
        arguments.push_back(kSlowLinkReuseOption);
    }
    return arguments;
}

} // namespace

std::vector<std::string> jobRunArguments(const std::string& toolPath, const JobRequest& request,
    const JobDevice& device, const std::string& exportFolder)
{
    return runArguments(toolPath, request, device, request.input, exportFolder);
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
    const std::string exportFolder = request.action == JobAction::exportChannel
        ? (std::filesystem::path(request.input) / exportFolderName(device)).string()
        : std::string();
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
        = runArguments(toolPath_, request, device, input, exportFolder);
    if (arguments.empty()) {
        if (!staging.empty())
            library_->removeStagingFolder(staging);
        return { nullptr, failedAtOnce("other", kUnknownActionMessage) };
    }
    if (!exportFolder.empty()) {
        if (std::string refusal = prepareExportFolder(exportFolder); !refusal.empty())
            return { nullptr, failedAtOnce("refused-input", refusal) };
    }
    bool imageCheck = request.action == JobAction::upgrade && request.imageCheck;
    if (imageCheck)
        arguments = { toolPath_, "--action=check_firmware", "--firmwarefile=" + input, "--nowindow",
            "--eventsfd=" + std::to_string(kToolEventsFd) };
    else if (request.action == JobAction::upgrade)
        arguments.push_back("--verifyupgrade=" + std::to_string(request.verifySeconds));
    auto run = std::make_unique<ToolDeviceRun>(std::move(callbacks),
        request.toLibrary ? library_ : nullptr, staging, device.ip, imageCheck,
        request.action == JobAction::audit, request.action == JobAction::setupChannel,
        request.dryRun);
    if (!run->launch(processes_, arguments))
        return { nullptr, failedAtOnce("tool-missing", kToolFailedToRunMessage) };
    return { std::move(run), {} };
}

} // namespace kovrkit

#include "host/jobs/tool_device_runner.h"

#include "host/actions/action_messages.h"
#include "host/actions/tool_command.h"
#include "host/jobs/line_tool_arguments.h"
#include "host/jobs/tool_events.h"

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

class ToolDeviceRun final : public DeviceRun {
public:
    ToolDeviceRun(DeviceRunCallbacks callbacks, bool setsUpLines, bool dryRun)
        : callbacks_(std::move(callbacks))
        , setsUpLines_(setsUpLines)
        , dryRun_(dryRun)
    {
    }

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
        // Last: the engine may destroy this run from its callback.
        auto onEnd = std::move(callbacks_.onEnd);
        DeviceEnd end = toolRunEnd(exitStatus, cause_, lastError_);
        if (setsUpLines_) {
            end.data = lineResults_.json(dryRun_);
            if (std::string reasons = lineResults_.reasons(); !end.success && !reasons.empty())
                end.reason = std::move(reasons);
        }
        onEnd(std::move(end));
    }

    DeviceRunCallbacks callbacks_;
    bool setsUpLines_;
    bool dryRun_;
    LineResults lineResults_;
    std::unique_ptr<ChildProcess> process_;
    ToolEventReader reader_;
    int percent_ = -1;
    std::string line_;
    std::string lastError_;
    std::string cause_;
};

} // namespace

ToolDeviceRunner::ToolDeviceRunner(ChildProcesses& processes, std::string toolPath)
    : processes_(processes)
    , toolPath_(std::move(toolPath))
{
}

std::vector<std::string> jobToolArguments(const std::string& toolPath, JobAction action,
    const std::string& address, const std::string& input)
{
    const ToolCommand* command = commandOf(action);
    if (!command)
        return {};
    std::vector<std::string> arguments = toolArguments(toolPath, *command, address, input);
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

std::vector<std::string> jobRunArguments(const std::string& toolPath, const JobRequest& request,
    const JobDevice& device, const std::string& exportFolder)
{
    std::vector<std::string> arguments = commandOf(request.action)
        ? jobToolArguments(toolPath, request.action, device.ip, request.input)
        : lineToolArguments(toolPath, request, device, exportFolder);
    if (arguments.empty())
        return arguments;
    if (!commandOf(request.action)) {
        arguments.push_back("--nowindow");
        arguments.push_back("--eventsfd=" + std::to_string(kToolEventsFd));
    }
    if (device.slowLink) {
        arguments.push_back(kSlowLinkBlockSizeOption);
        arguments.push_back(kSlowLinkReuseOption);
    }
    return arguments;
}

DeviceStart ToolDeviceRunner::start(
    const JobRequest& request, const JobDevice& device, DeviceRunCallbacks callbacks)
{
    const std::string exportFolder = request.action == JobAction::exportChannel
        ? (std::filesystem::path(request.input) / exportFolderName(device)).string()
        : std::string();
    std::vector<std::string> arguments = jobRunArguments(toolPath_, request, device, exportFolder);
    if (arguments.empty())
        return { nullptr, failedAtOnce("other", kUnknownActionMessage) };
    std::error_code error;
    if (!std::filesystem::is_regular_file(toolPath_, error))
        return { nullptr, failedAtOnce("tool-missing", kToolMissingMessage) };
    if (!exportFolder.empty()) {
        if (std::string refusal = prepareExportFolder(exportFolder); !refusal.empty())
            return { nullptr, failedAtOnce("refused-input", refusal) };
    }
    auto run = std::make_unique<ToolDeviceRun>(
        std::move(callbacks), request.action == JobAction::setupChannel, request.dryRun);
    if (!run->launch(processes_, arguments))
        return { nullptr, failedAtOnce("tool-missing", kToolFailedToRunMessage) };
    return { std::move(run), {} };
}

} // namespace kovrkit

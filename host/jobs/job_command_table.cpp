#include "host/jobs/job_command_table.h"

#include "host/bridge/payload.h"
#include "host/bridge/pickers.h"
#include "host/jobs/job_messages.h"

namespace kovrkit {

using nlohmann::json;

namespace {

inline constexpr const char* kStartRequest = "jobs_start";
inline constexpr const char* kCancelRequest = "jobs_cancel";
inline constexpr const char* kResumeRequest = "jobs_resume";
inline constexpr const char* kSetSettingsRequest = "jobs_setSettings";
inline constexpr const char* kChooseFileRequest = "jobs_chooseFile";
inline constexpr const char* kPickerCancelledMessage = "Action cancelled";
inline constexpr const char* kUnknownFileKindMessage = "Unknown file kind";

std::optional<std::string> askForInput(JobAction action, Dialogs& dialogs)
{
    switch (action) {
    case JobAction::backup:
        return pickBackupFolder(dialogs);
    case JobAction::restore:
        return pickRestoreArchive(dialogs);
    case JobAction::upgrade:
        return pickFirmwareFile(dialogs);
    case JobAction::pushD2fw:
        return pickDeviceFirmwareFile(dialogs);
    case JobAction::exportChannel:
        return pickExportFolder(dialogs);
    case JobAction::status:
    case JobAction::setupChannel:
    case JobAction::audit:
        break;
    }
    return std::string();
}

const char* missingInputMessage(JobAction action)
{
    switch (action) {
    case JobAction::backup:
        return "Missing backup output path";
    case JobAction::restore:
        return "Missing backup input path";
    case JobAction::upgrade:
    case JobAction::pushD2fw:
        return "Missing firmware input path";
    case JobAction::exportChannel:
        return "Missing export folder path";
    case JobAction::status:
    case JobAction::setupChannel:
    case JobAction::audit:
        break;
    }
    return "";
}

void startJob(JobEngine& engine, Dialogs& dialogs, UiReplySink& sink, const json& payload)
{
    auto checked = readJobStart(payload);
    if (auto* refusal = std::get_if<std::string>(&checked))
        return sink.sendToUi(jobRefusedMessage(kStartRequest, "", *refusal));
    JobRequest request = std::get<JobRequest>(std::move(checked));
    if (request.input.empty() && !request.toLibrary && inputOptionOf(request.action)) {
        std::optional<std::string> input = askForInput(request.action, dialogs);
        if (!input)
            return sink.sendToUi(jobRefusedMessage(kStartRequest, "", kPickerCancelledMessage));
        if (input->empty())
            return sink.sendToUi(
                jobRefusedMessage(kStartRequest, "", missingInputMessage(request.action)));
        request.input = std::move(*input);
    }
    engine.start(std::move(request));
}

// "jobs_chooseFile": the chooser of a job's input for the page to show before the job starts.
void chooseFile(Dialogs& dialogs, UiReplySink& sink, const json& payload)
{
    const std::string kind = getPayloadString(payload, "kind");
    const std::string target = getPayloadString(payload, "target");
    std::optional<std::string> path;
    if (kind == "csv")
        path = pickCsvFile(dialogs);
    else if (kind == "d2fw")
        path = pickDeviceFirmwareFile(dialogs);
    else if (kind == "folder")
        path = pickExportFolder(dialogs);
    else if (kind == "backupFolder")
        path = pickBackupFolder(dialogs);
    else
        return sink.sendToUi(jobRefusedMessage(kChooseFileRequest, "", kUnknownFileKindMessage));
    sink.sendToUi(jobFileChosenMessage(kind, target, path && !path->empty() ? *path : ""));
}

std::string jobIdOf(const json& payload)
{
    auto member = payload.find("jobId");
    return member != payload.end() && member->is_string() ? member->get<std::string>()
        : member != payload.end() && member->is_number_integer()
        ? std::to_string(member->get<int64_t>())
        : std::string();
}

void cancelJob(JobEngine& engine, UiReplySink& sink, const json& payload)
{
    std::string jobId = jobIdOf(payload);
    if (jobId.empty() || !engine.cancel(jobId))
        sink.sendToUi(jobRefusedMessage(kCancelRequest, jobId, kNoSuchJobMessage));
}

void resumeJob(JobEngine& engine, UiReplySink& sink, const json& payload)
{
    std::string jobId = jobIdOf(payload);
    if (!jobId.empty() && engine.resume(jobId))
        return;
    bool known = !jobId.empty() && engine.knows(jobId);
    sink.sendToUi(
        jobRefusedMessage(kResumeRequest, jobId, known ? kJobNotPausedMessage : kNoSuchJobMessage));
}

int storedConcurrency(const JobSettingsStorage& settings)
{
    std::optional<int> stored
        = settings.loadConcurrency ? settings.loadConcurrency() : std::nullopt;
    if (!stored || *stored < 1 || *stored > kMaxJobConcurrency)
        return kDefaultJobConcurrency;
    return *stored;
}

void setSettings(UiReplySink& sink, const JobSettingsStorage& settings, const json& payload)
{
    auto member = payload.find("concurrency");
    if (member == payload.end() || !member->is_number_integer() || member->get<int64_t>() < 1
        || member->get<int64_t>() > kMaxJobConcurrency)
        return sink.sendToUi(jobRefusedMessage(kSetSettingsRequest, "", kJobConcurrencyMessage));
    int concurrency = static_cast<int>(member->get<int64_t>());
    bool saved = settings.saveConcurrency && settings.saveConcurrency(concurrency);
    sink.sendToUi(jobSettingsMessage(saved ? concurrency : storedConcurrency(settings), saved));
}

} // namespace

CommandTable jobCommands(
    JobEngine& engine, Dialogs& dialogs, UiReplySink& sink, JobSettingsStorage settings)
{
    CommandTable table;
    table.push_back({ kStartRequest, [&engine, &dialogs, &sink](const json& payload) {
                         startJob(engine, dialogs, sink, payload);
                     } });
    table.push_back({ kChooseFileRequest,
        [&dialogs, &sink](const json& payload) { chooseFile(dialogs, sink, payload); } });
    table.push_back({ kCancelRequest,
        [&engine, &sink](const json& payload) { cancelJob(engine, sink, payload); } });
    table.push_back({ kResumeRequest,
        [&engine, &sink](const json& payload) { resumeJob(engine, sink, payload); } });
    table.push_back({ "jobs_getSettings", [&sink, settings](const json&) {
                         sink.sendToUi(jobSettingsMessage(storedConcurrency(settings), true));
                     } });
    table.push_back({ kSetSettingsRequest,
        [&sink, settings](const json& payload) { setSettings(sink, settings, payload); } });
    return table;
}

} // namespace kovrkit

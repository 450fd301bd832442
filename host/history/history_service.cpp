#include "host/history/history_service.h"

#include "host/actions/action_messages.h"
#include "host/backups/device_key.h"
#include "host/history/simulator_output.h"
#include "host/jobs/tool_device_runner.h"
#include "host/jobs/tool_events.h"

namespace kovrkit {
namespace {

constexpr int kStandardOutput = 1;
// A comparison of two very different configurations stays readable, and bounded.
constexpr size_t kMaxToolLines = 20000;

bool isProgram(const std::string& path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

std::string simulatedName(const HistoryEntry& entry)
{
    const BackupRecord& record = entry.record;
    const std::string& who = record.serial.empty() ? record.address : record.serial;
    return "Simulated " + who + " (" + record.time + ")";
}

} // namespace

struct HistoryService::Comparison {
    ComparisonRun run;
    std::unique_ptr<ChildProcess> process;
    ToolEventReader reader;
    std::vector<ToolLine> lines;
    bool cut = false;

    void take(std::string_view bytes)
    {
        for (ToolEvent& event : reader.feed(bytes)) {
            if (event.kind != ToolEvent::Kind::log)
                continue;
            if (lines.size() < kMaxToolLines)
                lines.push_back({ std::move(event.logKind), std::move(event.text) });
            else
                cut = true;
        }
    }
};

struct HistoryService::Simulator {
    std::string ip;
    std::string id;
    std::string name;
    std::unique_ptr<ChildProcess> process;
    SimulatorOutput output;
    std::string address; // once ready
};

HistoryService::HistoryService(std::optional<std::filesystem::path> libraryRoot,
    ChildProcesses& processes, HistoryPrograms programs, UiReplySink& sink)
    : processes_(processes)
    , programs_(std::move(programs))
    , sink_(sink)
{
    if (libraryRoot)
        library_.emplace(std::move(*libraryRoot));
}

HistoryService::~HistoryService()
{
    // Each handle kills its program and waits for it.
    comparisons_.clear();
    simulators_.clear();
}

std::optional<std::string> HistoryService::keyOf(const std::string& ip) const
{
    if (!library_)
        return std::nullopt;
    if (auto key = library_->keyOfAddress(ip))
        return key;
    return deviceKey("", ip);
}

std::optional<HistoryEntry> HistoryService::find(
    const std::string& ip, const std::string& id, std::string& refusal) const
{
    std::optional<std::string> key = keyOf(ip);
    if (!key) {
        refusal = kNoLibraryMessage;
        return std::nullopt;
    }
    for (BackupRecord& record : library_->records(*key)) {
        if (record.id != id)
            continue;
        if (!record.good()) {
            refusal = kNoArchiveMessage;
            return std::nullopt;
        }
        std::filesystem::path archive = library_->deviceFolder(*key) / record.archive;
        return HistoryEntry { std::move(record), std::move(archive) };
    }
    refusal = std::string(kNoSuchBackupMessage) + ": " + id;
    return std::nullopt;
}

void HistoryService::refuse(
    const std::string& request, const std::string& requestId, const std::string& text)
{
    sink_.sendToUi(historyRefusedMessage(request, requestId, text));
}

void HistoryService::list(const std::string& request, const std::string& ip)
{
    // Device jobs and kovru-fleet file backups beside this service, and a device's first good
    // backup may move it to its serial number's folder: each listing reads which device an
    // address is afresh, and what follows it (compare, restore, simulate) uses that.
    if (library_) {
        std::filesystem::path root = library_->root();
        library_.emplace(std::move(root));
    }
    std::optional<std::string> key = keyOf(ip);
    if (!key)
        return refuse(request, "", kNoLibraryMessage);
    std::vector<HistoryEntry> entries;
    for (BackupRecord& record : library_->records(*key)) {
        std::filesystem::path archive;
        if (record.good())
            archive = library_->deviceFolder(*key) / record.archive;
        entries.push_back({ std::move(record), std::move(archive) });
    }
    sink_.sendToUi(historyListMessage(ip, *key, entries));
}

std::vector<std::string> comparisonArguments(const std::string& toolPath,
    const std::string& against, const std::filesystem::path& archive,
    const std::filesystem::path& otherArchive, const std::string& address)
{
    std::vector<std::string> arguments { toolPath, "--nowindow" };
    if (against == "backup") {
        arguments.push_back("--action=compare_backup");
        arguments.push_back("--backupfilein=" + archive.string());
        arguments.push_back("--comparewith=" + otherArchive.string());
    } else if (against == "controller" || against == "restore") {
        arguments.push_back(
            against == "restore" ? "--action=put_backup" : "--action=compare_backup");
        if (against == "restore")
            arguments.push_back("--dryrun");
        arguments.push_back("--backupfilein=" + archive.string());
        arguments.push_back("--ip=" + address);
    } else {
        return {};
    }
    arguments.push_back("--eventsfd=" + std::to_string(kToolEventsFd));
    return arguments;
}

void HistoryService::compare(const std::string& request, ComparisonRun run)
{
    std::string refusal;
    std::optional<HistoryEntry> entry = find(run.ip, run.id, refusal);
    if (!entry)
        return refuse(request, run.requestId, refusal);
    std::optional<HistoryEntry> other;
    if (run.against == "backup") {
        other = find(run.ip, run.otherId, refusal);
        if (!other)
            return refuse(request, run.requestId, refusal);
    }
    if (!isProgram(programs_.toolPath))
        return refuse(request, run.requestId, kToolMissingMessage);
    std::vector<std::string> arguments = comparisonArguments(programs_.toolPath, run.against,
        entry->archivePath, other ? other->archivePath : std::filesystem::path(), run.ip);

    const int number = ++nextNumber_;
    auto comparison = std::make_unique<Comparison>();
    comparison->run = std::move(run);
    Comparison& started = *comparison;
    comparison->process = processes_.start(arguments, kToolEventsFd,
        { [&started](std::string_view bytes) { started.take(bytes); },
            [this, number](int exitStatus) {
                auto found = comparisons_.find(number);
                if (found == comparisons_.end())
                    return;
                std::unique_ptr<Comparison> ended = std::move(found->second);
                comparisons_.erase(found);
                if (ended->cut)
                    ended->lines.push_back({ "warning", "More lines were left out." });
                sink_.sendToUi(historyComparedMessage(ended->run, exitStatus, ended->lines));
            } });
    if (!comparison->process)
        return refuse(request, started.run.requestId, kToolFailedToRunMessage);
    comparisons_.emplace(number, std::move(comparison));
}

void HistoryService::openSimulator(
    const std::string& request, const std::string& ip, const std::string& id)
{
    std::string refusal;
    std::optional<HistoryEntry> entry = find(ip, id, refusal);
    if (!entry)
        return refuse(request, "", refusal);
    const std::string archive = entry->archivePath.string();
    if (archive.find_first_of(", \t\r\n") != std::string::npos)
        return refuse(request, "", kUnsafeArchivePathMessage);
    if (!isProgram(programs_.simulatorPath))
        return refuse(request, "", kSimulatorMissingMessage);

    const int number = ++nextNumber_;
    auto simulator = std::make_unique<Simulator>();
    simulator->ip = ip;
    simulator->id = id;
    simulator->name = simulatedName(*entry);
    simulator->process = processes_.start(
        { programs_.simulatorPath, "--controller", "ip=127.0.0.1,port=0,from_backup=" + archive },
        kStandardOutput,
        { [this, number](std::string_view bytes) { simulatorOutput(number, bytes); },
            [this, number](int exitStatus) { simulatorEnded(number, exitStatus); } });
    if (!simulator->process)
        return refuse(request, "", kSimulatorNotStartedMessage);
    simulators_.emplace(number, std::move(simulator));
}

void HistoryService::simulatorOutput(int number, std::string_view bytes)
{
    auto found = simulators_.find(number);
    if (found == simulators_.end())
        return;
    Simulator& simulator = *found->second;
    if (!simulator.address.empty() || !simulator.output.feed(bytes))
        return;
    const SimulatorListening& listening = *simulator.output.listening();
    simulator.address = listening.ip + ":" + std::to_string(listening.port);
    sink_.sendToUi(historySimulatorOpenedMessage(
        simulator.ip, simulator.id, true, simulator.address, simulator.name, ""));
}

void HistoryService::simulatorEnded(int number, int exitStatus)
{
    auto found = simulators_.find(number);
    if (found == simulators_.end())
        return;
    std::unique_ptr<Simulator> ended = std::move(found->second);
    simulators_.erase(found);
    if (!ended->address.empty())
        return sink_.sendToUi(historySimulatorClosedMessage(ended->address, exitStatus));
    sink_.sendToUi(historySimulatorOpenedMessage(ended->ip, ended->id, false, "", ended->name,
        std::string(kSimulatorNotStartedMessage) + " (exit status " + std::to_string(exitStatus)
            + ")"));
}

bool HistoryService::closeSimulator(const std::string& address)
{
    for (auto& [number, simulator] : simulators_) {
        if (simulator->address == address) {
            simulator->process->terminate();
            return true;
        }
    }
    return false;
}

} // namespace kovrkit

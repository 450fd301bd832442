// A device's backup history for the page: its records from the backup library, comparisons
// and restore previews run through kovru-cli, and simulated controllers started from one of
// its backups (kovru-sim from_backup), which live as long as this service.
#pragma once

#include "host/backups/backup_library.h"
#include "host/bridge/ui_reply_sink.h"
#include "host/history/history_messages.h"
#include "host/platform/child_processes.h"

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace kovrkit {

struct HistoryPrograms {
    std::string toolPath; // kovru-cli
    std::string simulatorPath; // kovru-sim
};

// The refusals the page may show (docs/history.md); a missing tool or one that could not be
// started is refused with the texts of the device actions (host/actions/action_messages.h).
inline constexpr const char* kNoLibraryMessage
    = "The backup library has no folder: neither XDG_DATA_HOME nor HOME names one";
inline constexpr const char* kNoSuchBackupMessage = "No such backup";
inline constexpr const char* kNoArchiveMessage = "This backup failed and has no archive";
inline constexpr const char* kSimulatorMissingMessage = "Simulator executable not found";
inline constexpr const char* kSimulatorNotStartedMessage = "The simulator could not be started";
inline constexpr const char* kUnsafeArchivePathMessage
    = "The simulator cannot be given this backup: its path holds a comma or a blank";
inline constexpr const char* kNoSuchSimulatorMessage = "No such simulated controller";

class HistoryService {
public:
    HistoryService(std::optional<std::filesystem::path> libraryRoot, ChildProcesses& processes,
        HistoryPrograms programs, UiReplySink& sink);
    // Stops every comparison and simulator still running; no message follows.
    ~HistoryService();
    HistoryService(const HistoryService&) = delete;
    HistoryService& operator=(const HistoryService&) = delete;

    // historyList, or historyRefused for the request named.
    void list(const std::string& request, const std::string& ip);
    // kovru-cli compare_backup (against "backup" or "controller") or put_backup --dryrun
    // ("restore"); historyCompared when it ended.
    void compare(const std::string& request, ComparisonRun run);
    // historySimulatorOpened once the simulator is ready or has failed to start;
    // historySimulatorClosed when a ready one ends.
    void openSimulator(const std::string& request, const std::string& ip, const std::string& id);
    // Asks the simulator at that address to end; false when none runs there.
    bool closeSimulator(const std::string& address);
    size_t simulatorCount() const { return simulators_.size(); }

private:
    struct Comparison;
    struct Simulator;

    std::optional<std::string> keyOf(const std::string& ip) const;
    // The backup with that id among the device's records; nothing with the refusal text.
    std::optional<HistoryEntry> find(
        const std::string& ip, const std::string& id, std::string& refusal) const;
    void refuse(const std::string& request, const std::string& requestId, const std::string& text);
    void simulatorOutput(int number, std::string_view bytes);
    void simulatorEnded(int number, int exitStatus);

    std::optional<BackupLibrary> library_;
    ChildProcesses& processes_;
    HistoryPrograms programs_;
    UiReplySink& sink_;
    int nextNumber_ = 0;
    std::map<int, std::unique_ptr<Comparison>> comparisons_;
    std::map<int, std::unique_ptr<Simulator>> simulators_;
};

// The argument vector of a comparison; empty for an unknown kind.
std::vector<std::string> comparisonArguments(const std::string& toolPath,
    const std::string& against, const std::filesystem::path& archive,
    const std::filesystem::path& otherArchive, const std::string& address);

} // namespace kovrkit

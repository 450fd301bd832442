// Runs the one action a command line names, from a table of actions: each row gives the
// name, its handler, whether a safety backup comes first and whether the log is captured.
#pragma once

#include "cli/main/options.h"

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kovru {

// Runs the row's safety backup, if it has one. A handler calls it at most once, after its
// inputs are checked and before it changes anything on the controller, so a refused input
// never costs a backup; handlers of rows without a safety backup may ignore it.
using GoAhead = std::function<void()>;
using ActionHandler = int (*)(const CliOptions& options, const GoAhead& go_ahead);

struct ActionRow {
    std::string_view name;
    // nullptr: a known name with no operation in this version, which fails.
    ActionHandler handler = nullptr;
    // Set for actions that take a safety backup first; names the action in the log line
    // "Downloading backup before <purpose> (<folder>)...".
    const char* safety_backup_purpose = nullptr;
    // The log of the run is collected, for a backup to store.
    bool capture_log = false;
    // With --dryrun the action pushes nothing, so no safety backup is taken.
    bool dry_run_pushes_nothing = false;
};

// The rows and what runs around them; the program passes the linked ones, tests pass fakes.
struct ActionTable {
    std::span<const ActionRow> rows;
    // The safety backup: zip, all items, no log, into the folder. Its result never stops
    // the action that follows.
    int (*safety_backup)(const std::string& ip, const std::string& folder) = nullptr;
    std::optional<std::string> (*download_directory)() = nullptr;
};

// Runs the action the options name and returns the process exit status: the handler's own
// status, 0 without an action, 1 for a name without an operation, 2 for an unknown name.
int dispatch_action(const CliOptions& options, const ActionTable& table);

} // namespace kovru

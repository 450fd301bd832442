// The action table of kovru-cli: which handler each action name runs, and what happens
// around it (the safety backup before a restore or a firmware upgrade, log capture around
// a backup).
#pragma once

#include "cli/main/options.h"

#include <cstdio>
#include <optional>
#include <string>

namespace kovru {

using ActionHandler = int (*)(const CliOptions& options);

// The handlers the table calls; the program passes the linked ones, tests pass fakes.
struct ActionHandlers {
    ActionHandler put_backup;
    ActionHandler get_backup;
    ActionHandler push_firmware;
    ActionHandler push_d2fw;
    ActionHandler setup_channel;
    ActionHandler export_channel;
    ActionHandler get_status;
    ActionHandler read_file_flashraw;
    ActionHandler read_file_flashfs;
    int (*safety_backup)(const std::string& ip, const std::string& folder);
    std::optional<std::string> (*download_directory)();
};

// The handlers of this build (cli/main/action_handlers.cpp).
const ActionHandlers& linked_action_handlers();

// Runs the action the options name and returns the process exit status: the handler's own
// status, 0 without an action, 2 for an unknown name. "not defined" goes to out.
int dispatch_action(const CliOptions& options, const ActionHandlers& handlers, std::FILE* out);

} // namespace kovru

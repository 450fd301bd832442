// The actions the dispatcher runs. Each returns the process exit status:
// 0 the action did all of its work, 1 it failed or did only part of it,
// 2 missing arguments or refused input.
#pragma once

#include "cli/main/options.h"

namespace kovru {

enum ExitStatus { exit_complete = 0, exit_failed = 1, exit_refused = 2 };

int run_put_backup(const CliOptions& options);
int run_get_backup(const CliOptions& options);
int run_push_firmware(const CliOptions& options);
int run_push_d2fw(const CliOptions& options);
int run_setup_channel(const CliOptions& options);
int run_export_channel(const CliOptions& options);
int run_get_status(const CliOptions& options);
int run_read_file_flashraw(const CliOptions& options);
int run_read_file_flashfs(const CliOptions& options);

// The safety backup taken before a restore or a firmware upgrade: zip, all items, no log,
// into the given folder. Its result never stops the action that follows.
int run_safety_backup(const std::string& ip, const std::string& folder);

} // namespace kovru

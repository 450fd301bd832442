#include "cli/main/dispatch.h"

#include "cli/log/log.h"
#include "cli/log/run_cancel.h"
#include "cli/log/tool_events.h"
#include "common/exit_status.h"

#include <utility>

namespace kovru {
namespace {

// The safety backup of a restore or upgrade, taken into the download folder when the handler
// goes ahead; its result never stops the action. Without a folder the warning comes at once.
// Without an address there is nothing to back up, and the action reports the missing argument.
GoAhead safety_backup_step(const CliOptions& options, const ActionTable& table, const char* purpose)
{
    std::optional<std::string> folder = table.download_directory();
    if (!folder) {
        log_warning("[WARN] Could not determine user download directory, skipping get_backup.");
        return [] {};
    }
    if (!options.ip)
        return [] {};
    return [&table, ip = *options.ip, folder = *folder, purpose, done = false]() mutable {
        if (std::exchange(done, true))
            return;
        log_success("Downloading backup before %s (%s)...", purpose, folder.c_str());
        table.safety_backup(ip, folder);
        // Its failures never stop the action, so they do not explain the action's failure.
        forget_failure_cause();
    };
}

// SIGTERM: the transfer stopped and what it had not finished is gone.
int report_cancel()
{
    note_failure_cause(FailureCause::cancelled);
    log_error("Cancelled.");
    return exit_failed;
}

const ActionRow* find_row(const ActionTable& table, std::string_view name)
{
    for (const ActionRow& row : table.rows)
        if (row.name == name)
            return &row;
    return nullptr;
}

} // namespace

int dispatch_action(const CliOptions& options, const ActionTable& table)
{
    if (!options.action)
        return exit_complete;
    const std::string& name = *options.action;
    const ActionRow* row = find_row(table, name);
    if (!row) {
        print_out("\nAction '%s' not defined.\n", name.c_str());
        return exit_refused;
    }
    // Accepted, but nothing is done, and nothing claims success.
    if (!row->handler) {
        log_error("Action '%s' has no operation in this version.", name.c_str());
        return exit_failed;
    }
    GoAhead go_ahead = [] {};
    if (row->safety_backup_purpose && !(options.dry_run && row->dry_run_pushes_nothing))
        go_ahead = safety_backup_step(options, table, row->safety_backup_purpose);
    if (transfer_cancelled())
        return report_cancel();
    if (row->capture_log)
        capture_on();
    int status = row->handler(options, go_ahead);
    if (row->capture_log)
        capture_off();
    return transfer_cancelled() ? report_cancel() : status;
}

} // namespace kovru

#include "cli/main/dispatch.h"

#include "cli/log/log.h"
#include "cli/main/actions.h"

namespace kovru {
namespace {

// Takes a backup into the download folder first; its result never stops the action. Without
// an address there is nothing to back up, and the action itself reports the missing argument.
void run_safety_backup_step(
    const CliOptions& options, const ActionHandlers& handlers, const char* purpose)
{
    std::optional<std::string> folder = handlers.download_directory();
    if (!folder) {
        log_warning("[WARN] Could not determine user download directory, skipping get_backup.");
        return;
    }
    if (!options.ip)
        return;
    log_success("Downloading backup before %s (%s)...", purpose, folder->c_str());
    handlers.safety_backup(*options.ip, *folder);
}

int run_with_capture(const CliOptions& options, ActionHandler handler)
{
    capture_on();
    int status = handler(options);
    capture_off();
    return status;
}

// Names with no operation attached: accepted, but nothing is done, and nothing claims success.
int run_without_operation(const std::string& name)
{
    log_error("Action '%s' has no operation in this version.", name.c_str());
    return exit_failed;
}

} // namespace

int dispatch_action(const CliOptions& options, const ActionHandlers& handlers, std::FILE* out)
{
    if (!options.action)
        return exit_complete;
    const std::string& name = *options.action;
    if (name == "put_backup") {
        run_safety_backup_step(options, handlers, "restoring");
        return handlers.put_backup(options);
    }
    if (name == "get_backup")
        return run_with_capture(options, handlers.get_backup);
    if (name == "push_firmware") {
        run_safety_backup_step(options, handlers, "firmware upgrade");
        return handlers.push_firmware(options);
    }
    if (name == "push_d2fw")
        return handlers.push_d2fw(options);
    if (name == "setup_channel")
        return handlers.setup_channel(options);
    if (name == "export_channel")
        return handlers.export_channel(options);
    if (name == "get_status")
        return handlers.get_status(options);
    if (name == "read_file_flashraw")
        return handlers.read_file_flashraw(options);
    if (name == "read_file_flashfs")
        return handlers.read_file_flashfs(options);
    if (name == "write_file_flashraw" || name == "write_file_flashfs")
        return run_without_operation(name);
    std::fprintf(out, "\nAction '%s' not defined.\n", name.c_str());
    return exit_refused;
}

} // namespace kovru

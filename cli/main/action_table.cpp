// The action table of kovru-cli. Each handler hands the options to the module that does the
// work; an action whose module is not part of this build says so and fails.
#include "cli/main/action_table.h"

#include "cli/action/put_backup.h"
#include "cli/audit/audit_lines.h"
#include "cli/backup/get_backup.h"
#include "cli/compare/compare_backup.h"
#include "cli/controller/get_status.h"
#include "cli/firmware/push_d2fw.h"
#include "cli/firmware/push_firmware.h"
#include "cli/import/export_channel.h"
#include "cli/import/setup_channel.h"
#include "cli/log/log.h"
#include "cli/main/download_directory.h"
#include "cli/transport/tftp_read.h"
#include "cli/transport/tftp_read_file.h"
#include "common/exit_status.h"

#include <array>

namespace kovru {
namespace {

const std::string* present(const std::optional<std::string>& value)
{
    return value ? &*value : nullptr;
}

int read_flash_file(const CliOptions& options, const char* remote_name)
{
    return tftp_read_file(present(options.ip), remote_name, kFlashImageSize,
        present(options.backup_file_out), present(options.backup_file_out_type));
}

int run_put_backup(const CliOptions& options, const GoAhead& go_ahead)
{
    if (options.dry_run)
        return preview_restore(options.ip, options.backup_file_in);
    RestoreRequest request;
    request.address = options.ip;
    request.archive_path = options.backup_file_in;
    request.before_changes = go_ahead;
    return put_backup(request);
}

int run_compare_backup(const CliOptions& options, const GoAhead&)
{
    return compare_backup({ options.backup_file_in, options.compare_with, options.ip });
}

int run_get_backup(const CliOptions& options, const GoAhead&)
{
    return get_backup({ options.ip, options.backup_file_out, options.backup_file_out_type,
        options.backup_config });
}

int run_push_firmware(const CliOptions& options, const GoAhead& go_ahead)
{
    return push_firmware(
        { options.ip, options.firmware_file, options.verify_upgrade, options.dry_run, go_ahead });
}

int run_check_firmware(const CliOptions& options, const GoAhead&)
{
    return check_firmware(options.firmware_file);
}

int run_push_d2fw(const CliOptions& options, const GoAhead&)
{
    return push_d2fw({ options.ip, options.firmware_file, {}, false, {} });
}

int run_setup_channel(const CliOptions& options, const GoAhead&)
{
    return setup_channel({ options.ip, options.channels, options.channel_csv_files,
        options.channel_groups_csv_files, options.channel_inputs_csv_files, options.dry_run });
}

int run_export_channel(const CliOptions& options, const GoAhead&)
{
    return export_channel({ options.ip, options.channels, options.channel_csv_files,
        options.channel_groups_csv_files, options.channel_inputs_csv_files });
}

int run_audit_lines(const CliOptions& options, const GoAhead&)
{
    return audit_lines({ options.ip, options.backup_file_in, options.channels });
}

int run_get_status(const CliOptions& options, const GoAhead&)
{
    return get_status(options.ip);
}

int run_read_file_flashraw(const CliOptions& options, const GoAhead&)
{
    return read_flash_file(options, "flashraw.bin");
}

int run_read_file_flashfs(const CliOptions& options, const GoAhead&)
{
    return read_flash_file(options, "flashfs.bin");
}

int run_safety_backup(const std::string& ip, const std::string& folder)
{
    return get_backup({ ip, folder, "zip", {} });
}

// name, handler, safety backup first (what for), log captured, dry run pushes nothing
constexpr std::array kRows = {
    ActionRow { "put_backup", run_put_backup, "restoring", false, true },
    ActionRow { "get_backup", run_get_backup, nullptr, true },
    ActionRow { "push_firmware", run_push_firmware, "firmware upgrade", false, true },
    ActionRow { "check_firmware", run_check_firmware, nullptr, false },
    ActionRow { "push_d2fw", run_push_d2fw, nullptr, false },
    ActionRow { "setup_channel", run_setup_channel, nullptr, false },
    ActionRow { "export_channel", run_export_channel, nullptr, false },
    ActionRow { "get_status", run_get_status, nullptr, false },
    ActionRow { "compare_backup", run_compare_backup, nullptr, false },
    ActionRow { "audit_lines", run_audit_lines, nullptr, false },
    ActionRow { "read_file_flashraw", run_read_file_flashraw, nullptr, false },
    ActionRow { "read_file_flashfs", run_read_file_flashfs, nullptr, false },
    ActionRow { "write_file_flashraw", nullptr, nullptr, false },
    ActionRow { "write_file_flashfs", nullptr, nullptr, false },
};

} // namespace

const ActionTable& linked_action_table()
{
    static const ActionTable table { kRows, run_safety_backup, user_download_directory };
    return table;
}

} // namespace kovru

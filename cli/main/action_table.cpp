// The action table of kovru-cli. Each handler hands the options to the module that does the
// work; an action whose module is not part of this build says so and fails.
#include "cli/main/action_table.h"

#include "cli/action/put_backup.h"
#include "cli/backup/get_backup.h"
#include "cli/controller/get_status.h"
#include "cli/log/log.h"
#include "cli/main/download_directory.h"
#include "cli/transport/tftp_read.h"
#include "cli/transport/tftp_read_file.h"
#include "common/exit_status.h"

#include <array>

namespace kovru {
namespace {

int not_available(const char* action)
{
    log_error("Action %s is not available in this build.", action);
    return exit_failed;
}

const std::string* present(const std::optional<std::string>& value)
{
    return value ? &*value : nullptr;
}

int read_flash_file(const CliOptions& options, const char* remote_name)
{
    return tftp_read_file(present(options.ip), remote_name, kFlashImageSize,
        present(options.backup_file_out), present(options.backup_file_out_type));
}

int run_put_backup(const CliOptions& options)
{
    return put_backup({ options.ip, options.backup_file_in });
}

int run_get_backup(const CliOptions& options)
{
    return get_backup({ options.ip, options.backup_file_out, options.backup_file_out_type,
        options.backup_config });
}

int run_push_firmware(const CliOptions&)
{
    return not_available("push_firmware");
}

int run_push_d2fw(const CliOptions&)
{
    return not_available("push_d2fw");
}

int run_setup_channel(const CliOptions&)
{
    return not_available("setup_channel");
}

int run_get_status(const CliOptions& options)
{
    return get_status(options.ip);
}

int run_read_file_flashraw(const CliOptions& options)
{
    return read_flash_file(options, "flashraw.bin");
}

int run_read_file_flashfs(const CliOptions& options)
{
    return read_flash_file(options, "flashfs.bin");
}

int run_safety_backup(const std::string& ip, const std::string& folder)
{
    return get_backup({ ip, folder, "zip", {} });
}

// name, handler, safety backup first (what for), log captured
constexpr std::array kRows = {
    ActionRow { "put_backup", run_put_backup, "restoring", false },
    ActionRow { "get_backup", run_get_backup, nullptr, true },
    ActionRow { "push_firmware", run_push_firmware, "firmware upgrade", false },
    ActionRow { "push_d2fw", run_push_d2fw, nullptr, false },
    ActionRow { "setup_channel", run_setup_channel, nullptr, false },
    ActionRow { "get_status", run_get_status, nullptr, false },
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

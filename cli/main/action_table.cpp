#include "cli/main/actions.h"
#include "cli/main/dispatch.h"
#include "cli/main/download_directory.h"

namespace kovru {

const ActionHandlers& linked_action_handlers()
{
    static const ActionHandlers handlers = {
        .put_backup = run_put_backup,
        .get_backup = run_get_backup,
        .push_firmware = run_push_firmware,
        .push_d2fw = run_push_d2fw,
        .setup_channel = run_setup_channel,
        .export_channel = run_export_channel,
        .get_status = run_get_status,
        .read_file_flashraw = run_read_file_flashraw,
        .read_file_flashfs = run_read_file_flashfs,
        .safety_backup = run_safety_backup,
        .download_directory = user_download_directory,
    };
    return handlers;
}

} // namespace kovru

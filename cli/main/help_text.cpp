// The --help text: one row per option or added action, printed as "name", one tab (two when
// the name is shorter than a tab stop) and the description. The first eight rows are the
// tool's original text, in their original order; new rows go at the end.
#include "cli/main/option_parser.h"

#include "cli/log/log.h"

#include <string_view>

namespace kovru {
namespace {

struct HelpRow {
    std::string_view name;
    std::string_view description;
};

constexpr std::size_t kTabStop = 8;

constexpr HelpRow kHelpRows[] = {
    { "version", "Show the command version." },
    { "help", "Show the command help." },
    { "action", "setup_channel|get_backup|put_backup|push_firmware|push_d2fw." },
    { "ip", "IP address of the controller." },
    { "channel", "Channel number (1-4)." },
    { "channelcsvfile", "Channel CSV file path." },
    { "firmwarefile", "Firmware binary file path." },
    { "verifyupgrade", "Seconds to wait for the controller to report the new firmware." },
    { "channelgroupscsvfile", "Group CSV file path." },
    { "channelinputscsvfile", "Input device CSV file path." },
    { "dryrun",
        "With setup_channel: show what would change, push nothing.\n"
        "\t\tWith put_backup: compare the backup with the controller, push nothing.\n"
        "\t\tWith push_firmware: check the file against the controller, upload nothing." },
    { "check_firmware", "Action: check firmwarefile and show its information, no controller." },
    { "export_channel", "Action: write the controller's channel, group and input CSV files." },
    { "compare_backup",
        "Action: compare backupfilein with comparewith or with the controller (ip)." },
    { "comparewith", "Second backup file path for compare_backup." },
    { "audit_lines", "Action: audit the DALI lines of the controller (ip) or of backupfilein." },
    { "eventsfd",
        "Write progress, log lines and the cause of a failure as JSON lines to this file "
        "descriptor." },
    { "backupfileout", "Folder that backups and flash images are written to." },
    { "backupfileouttype", "Backup form: zip or directory." },
    { "backupconfig", "JSON list of the configuration items to back up." },
    { "backupfilein", "Backup archive or configuration image to restore." },
    { "tftpblocksize", "TFTP block size, 8 to 65464 (default 128), for flash reads and uploads." },
    { "tftpwindowsize",
        "TFTP blocks per acknowledgement, 1 to 64 (default 1), for flash reads and uploads." },
    { "reuseconnection", "One HTTP connection for all configuration item fetches." },
    { "fetchconnections",
        "Backup item fetches at once, 1 to 8 (default 1), each over its own connection." },
    { "nowindow", "Console mode: no window, no pause before the end." },
    { "verbose", "Trace the HTTP requests." },
    { "create", "Same as channel." },
    { "delete", "Accepted and echoed; does nothing." },
    { "file", "Accepted and echoed; does nothing." },
};

} // namespace

void print_help(std::FILE* out)
{
    if (!out)
        return;
    print_to(out, "Help\n");
    for (const HelpRow& row : kHelpRows) {
        const char* gap = row.name.size() < kTabStop ? "\t\t" : "\t";
        print_to(out, "%.*s%s%.*s\n", static_cast<int>(row.name.size()), row.name.data(), gap,
            static_cast<int>(row.description.size()), row.description.data());
    }
}

} // namespace kovru

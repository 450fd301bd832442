// kovru-fleet backup: every selected device backed up into the library, or into --out.
#include "fleet/fleet_command.h"

namespace kovrkit::fleet {

const char* backupHelp()
{
    return "Usage: kovru-fleet backup [OPTION]...\n"
           "Backs up every device of the sites tree (or of one folder) with kovru-cli, N at once.\n"
           "Backups go to the library ($XDG_DATA_HOME/kovrkit/backups/<device>/); one whose\n"
           "configuration items equal the device's last good backup is recorded as unchanged\n"
           "and its archive is not stored again.\n"
           "\n"
           "  --sites FILE        the sites tree (default: the host's settings.json)\n"
           "  --folder PATH       only the devices at or below this folder (\"Site/Building A\")\n"
           "  --parallel N        devices at once, 1 to 32 (default: the host's setting, else 4)\n"
           "  --out DIR           zip archives into DIR instead of the library\n"
           "  --keep N            changed backups the library keeps per device (default:\n"
           "                      \"backupRetention\" of settings.json, else 30)\n"
           "  --report FILE       write the report (JSON, one record per device)\n"
           "  --on-failure CMD    run CMD for each device that failed\n"
           "  --on-change CMD     run CMD for each device whose configuration changed\n"
           "  --max-age HOURS     also name the devices whose last good backup is older\n"
           "  --help              this text\n"
           "\n"
           "CMD is split into words like a shell would (quotes, backslashes) and started\n"
           "directly, no shell; its environment holds KOVRU_FLEET_EVENT (failure, change),\n"
           "KOVRU_FLEET_ACTION, _NAME, _FOLDER, _ADDRESS, _RESULT, _CAUSE, _REASON, _SECONDS,\n"
           "_ARCHIVE, _RECORD and _REPORT.\n"
           "\n"
           "Exit status: 0 every device succeeded, 1 some failed, 2 bad arguments or an\n"
           "unreadable sites tree.\n";
}

int runBackupCommand(const FleetOptions& options, const FleetEnvironment& environment)
{
    return runDevicesCommand(options, environment, JobAction::backup);
}

} // namespace kovrkit::fleet

// kovru-fleet status: the status of every selected device.
#include "fleet/fleet_command.h"

namespace kovrkit::fleet {

const char* statusHelp()
{
    return "Usage: kovru-fleet status [OPTION]...\n"
           "Reads the status of every device of the sites tree (or of one folder), N at once.\n"
           "\n"
           "  --sites FILE        the sites tree (default: the host's settings.json)\n"
           "  --folder PATH       only the devices at or below this folder (\"Site/Building A\")\n"
           "  --parallel N        devices at once, 1 to 32 (default: the host's setting, else 4)\n"
           "  --report FILE       write the report (JSON, one record per device)\n"
           "  --on-failure CMD    run CMD for each device that did not answer\n"
           "  --max-age HOURS     also name the devices whose last good backup is older\n"
           "  --help              this text\n"
           "\n"
           "Exit status: 0 every device answered, 1 some did not, 2 bad arguments or an\n"
           "unreadable sites tree.\n";
}

int runStatusCommand(const FleetOptions& options, const FleetEnvironment& environment)
{
    return runDevicesCommand(options, environment, JobAction::status);
}

} // namespace kovrkit::fleet

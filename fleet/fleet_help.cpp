#include "fleet/fleet_command.h"

namespace kovrkit::fleet {

const char* generalHelp()
{
    return "Usage: kovru-fleet COMMAND [OPTION]...\n"
           "Runs device jobs over the sites tree of kovrkit, without a window.\n"
           "\n"
           "Commands:\n"
           "  backup     back up every device into the backup library (or --out DIR)\n"
           "  status     read the status of every device\n"
           "  discover   find the controllers of address ranges and compare them with the tree\n"
           "\n"
           "kovru-fleet COMMAND --help describes a command's options.\n";
}

} // namespace kovrkit::fleet

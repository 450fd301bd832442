// kovru-fleet discover: a known verb without an operation in this build.
#include "fleet/fleet_command.h"

#include <cstdio>

namespace kovrkit::fleet {

const char* discoverHelp()
{
    return "Usage: kovru-fleet discover [OPTION]...\n"
           "Finds controllers on the network. Not available in this build.\n";
}

int runDiscoverCommand(const FleetOptions&, const FleetEnvironment&)
{
    std::fprintf(stderr, "kovru-fleet: discover is not available in this build\n");
    return 1;
}

} // namespace kovrkit::fleet

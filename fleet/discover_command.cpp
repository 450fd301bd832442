// kovru-fleet discover RANGE... [--timeout MS] [--json] [--sites FILE]: finds the controllers
// of address ranges and compares them with the sites tree (host/discovery, docs/discovery.md).
#include "fleet/fleet_command.h"

#include "host/discovery/discover_command.h"

#include <iostream>

namespace kovrkit::fleet {

const char* discoverHelp()
{
    static const std::string help = discoverUsage();
    return help.c_str();
}

int runDiscoverVerb(const std::vector<std::string>& arguments, const FleetEnvironment& environment)
{
    DiscoverContext context { hostSettingsPath(environment) };
    int status = kovrkit::runDiscoverCommand(arguments, context, std::cout, std::cerr);
    std::cout.flush();
    return status;
}

} // namespace kovrkit::fleet

// kovru-fleet: device jobs over the sites tree without a window (docs/fleet.md).
#include "fleet/fleet_command.h"
#include "fleet/fleet_options.h"
#include "host/platform/program_paths.h"

#include <curl/curl.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace kovrkit::fleet;

namespace {

const char* helpOf(FleetVerb verb)
{
    switch (verb) {
    case FleetVerb::backup:
        return backupHelp();
    case FleetVerb::status:
        return statusHelp();
    case FleetVerb::discover:
        return discoverHelp();
    }
    return generalHelp();
}

int runVerb(const FleetOptions& options)
{
    FleetEnvironment environment { kovrkit::exeDirectory() };
    switch (options.verb) {
    case FleetVerb::backup:
        return runBackupCommand(options, environment);
    case FleetVerb::status:
        return runStatusCommand(options, environment);
    case FleetVerb::discover:
        break;
    }
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    // discover takes ranges and options of its own.
    if (!arguments.empty() && arguments.front() == "discover") {
        curl_global_init(CURL_GLOBAL_ALL);
        int status = runDiscoverVerb({ arguments.begin() + 1, arguments.end() },
            FleetEnvironment { kovrkit::exeDirectory() });
        curl_global_cleanup();
        return status;
    }
    ParsedCommandLine parsed = parseFleetCommandLine(arguments);
    if (std::holds_alternative<GeneralHelp>(parsed)) {
        std::fputs(generalHelp(), stdout);
        return 0;
    }
    if (const std::string* refusal = std::get_if<std::string>(&parsed)) {
        std::fprintf(stderr, "kovru-fleet: %s\nTry 'kovru-fleet --help'.\n", refusal->c_str());
        return 2;
    }
    const FleetOptions& options = std::get<FleetOptions>(parsed);
    if (options.help) {
        std::fputs(helpOf(options.verb), stdout);
        return 0;
    }
    curl_global_init(CURL_GLOBAL_ALL);
    int status = runVerb(options);
    curl_global_cleanup();
    return status;
}

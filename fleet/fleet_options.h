// The command line of kovru-fleet: a verb and its options.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace kovrkit::fleet {

enum class FleetVerb { backup, status, discover };

struct FleetOptions {
    FleetVerb verb = FleetVerb::backup;
    std::string verbName;
    bool help = false;
    std::string sites; // --sites FILE; "" for the host's "settings.json"
    std::string folder; // --folder "A/B"; "" for the whole tree
    std::optional<int> parallel; // --parallel N, 1..32
    std::string out; // --out DIR (backup): a folder instead of the library
    std::optional<int> keep; // --keep N (backup): changed backups kept per device
    std::string report; // --report FILE.json
    std::vector<std::string> onFailure; // --on-failure CMD, split into words
    std::vector<std::string> onChange; // --on-change CMD (backup)
    std::optional<double> maxAgeHours; // --max-age HOURS
};

// What the command line asks for: options, the general help (no verb, or --help before
// one), or a refusal text (exit status 2).
struct GeneralHelp { };
using ParsedCommandLine = std::variant<FleetOptions, GeneralHelp, std::string>;

ParsedCommandLine parseFleetCommandLine(const std::vector<std::string>& arguments);

// Splits a hook's command into words as a shell would read quotes and backslashes, without
// expanding anything; nullopt when the quotes do not close or no word is left.
std::optional<std::vector<std::string>> splitCommand(const std::string& command);

} // namespace kovrkit::fleet

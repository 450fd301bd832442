#include "host/discovery/discover_command.h"

#include "host/discovery/address_ranges.h"
#include "host/discovery/controller_scan.h"
#include "host/discovery/discovery_report.h"
#include "host/discovery/discovery_sites.h"

#include <charconv>
#include <ostream>

namespace kovrkit {

namespace {

constexpr long kMaxTimeoutMs = 60000;

struct DiscoverOptions {
    std::vector<std::string> ranges;
    long timeoutMs = kDiscoveryDefaultTimeoutMs;
    bool json = false;
    bool help = false;
    std::optional<std::filesystem::path> sites;
};

// An option's value, from "--name=VALUE" or the next argument.
bool optionValue(const std::vector<std::string>& arguments, size_t& index, const std::string& name,
    std::optional<std::string>& value)
{
    const std::string& argument = arguments[index];
    if (argument == name) {
        if (index + 1 < arguments.size())
            value = arguments[++index];
        return true;
    }
    if (argument.rfind(name + "=", 0) == 0) {
        value = argument.substr(name.size() + 1);
        return true;
    }
    return false;
}

std::optional<long> timeoutValue(const std::string& text)
{
    long value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1
        || value > kMaxTimeoutMs)
        return std::nullopt;
    return value;
}

bool readOptions(
    const std::vector<std::string>& arguments, DiscoverOptions& options, std::string& message)
{
    for (size_t index = 0; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        std::optional<std::string> value;
        if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument == "--json") {
            options.json = true;
        } else if (optionValue(arguments, index, "--timeout", value)) {
            std::optional<long> timeout = value ? timeoutValue(*value) : std::nullopt;
            if (!timeout) {
                message = "--timeout needs a number of milliseconds from 1 to 60000";
                return false;
            }
            options.timeoutMs = *timeout;
        } else if (optionValue(arguments, index, "--sites", value)) {
            if (!value || value->empty()) {
                message = "--sites needs a file";
                return false;
            }
            options.sites = *value;
        } else if (argument.rfind("--", 0) == 0) {
            message = "Unknown option " + argument;
            return false;
        } else {
            options.ranges.push_back(argument);
        }
    }
    return true;
}

int refuse(std::ostream& err, const std::string& message)
{
    err << "kovru-fleet discover: " << message << "\n";
    return 2;
}

} // namespace

std::string discoverUsage()
{
    return "Usage: kovru-fleet discover RANGE... [--timeout MS] [--json] [--sites FILE]\n"
           "\n"
           "Asks every address of the ranges once for its status and lists the controllers\n"
           "that answer, in address order, compared with the sites tree: new (not in the\n"
           "tree), known (its serial number at the tree's address), moved (a known serial\n"
           "number at another address) and missing (in the tree, inside the ranges, not\n"
           "answering). Nothing outside the ranges is asked and nothing is changed.\n"
           "\n"
           "  RANGE          192.168.1.0/24 (at most a /16), 192.168.1.10-192.168.1.50,\n"
           "                 192.168.1.10-50 or 192.168.1.7, each with an optional :PORT\n"
           "                 (default 80)\n"
           "  --timeout MS   time-out of each status request (default 1000, at most 60000)\n"
           "  --json         one JSON object instead of the table\n"
           "  --sites FILE   the settings file that holds the sites tree (default: the host's)\n"
           "\n"
           "At most 128 requests are in flight. Exit status: 0 the scan ran, 1 it could not\n"
           "run, 2 bad arguments or an unreadable sites tree.\n";
}

int runDiscoverCommand(const std::vector<std::string>& arguments, const DiscoverContext& context,
    std::ostream& out, std::ostream& err)
{
    DiscoverOptions options;
    std::string message;
    if (!readOptions(arguments, options, message))
        return refuse(err, message);
    if (options.help) {
        out << discoverUsage();
        return 0;
    }
    RangeParse parse = parseAddressRanges(options.ranges);
    if (!parse.ok)
        return refuse(err, parse.message);

    std::optional<std::filesystem::path> settings
        = options.sites ? options.sites : context.defaultSettings;
    DiscoverySites sites;
    if (settings) {
        if (options.sites && !std::filesystem::exists(*options.sites))
            return refuse(err, "No sites file " + options.sites->string());
        sites = readDiscoverySites(SitesStore(*settings));
        if (!sites.readable)
            return refuse(err, "The sites tree in " + settings->string() + " cannot be read");
    }

    std::vector<ScanTarget> targets = scanTargets(parse.ranges);
    ScanOutcome scan = scanForControllers(targets, { options.timeoutMs, kDiscoveryMaxInFlight });
    if (!scan.ok) {
        err << "kovru-fleet discover: " << scan.message << "\n";
        return 1;
    }
    std::vector<DiscoveryRow> rows
        = compareWithTree(scan.results, parse.ranges, sites.devices, sites.serials);
    DiscoverySummary summary { targets.size(), settings && sites.present };
    if (options.json)
        out << discoveryJson(rows, summary).dump(2) << "\n";
    else
        out << discoveryTable(rows, summary);
    return 0;
}

} // namespace kovrkit

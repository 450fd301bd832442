#include "fleet/fleet_options.h"

#include <glib.h>

#include <cmath>
#include <cstdlib>
#include <set>

namespace kovrkit::fleet {

namespace {

struct OptionRule {
    const char* name;
    bool backupOnly;
};

constexpr OptionRule kOptions[] = {
    { "sites", false },
    { "folder", false },
    { "parallel", false },
    { "out", true },
    { "keep", true },
    { "report", false },
    { "on-failure", false },
    { "on-change", true },
    { "max-age", false },
};

const OptionRule* ruleOf(const std::string& name)
{
    for (const OptionRule& rule : kOptions) {
        if (name == rule.name)
            return &rule;
    }
    return nullptr;
}

std::optional<FleetVerb> verbNamed(const std::string& name)
{
    if (name == "backup")
        return FleetVerb::backup;
    if (name == "status")
        return FleetVerb::status;
    if (name == "discover")
        return FleetVerb::discover;
    return std::nullopt;
}

std::optional<long> wholeNumber(const std::string& text, long lowest, long highest)
{
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || value < lowest || value > highest)
        return std::nullopt;
    return value;
}

// "" when taken, else the refusal text.
std::string takeOption(FleetOptions& options, const std::string& name, const std::string& value)
{
    if (name == "sites" || name == "out" || name == "report") {
        if (value.empty())
            return "--" + name + " needs a file name";
        (name == "sites" ? options.sites : name == "out" ? options.out : options.report) = value;
    } else if (name == "folder") {
        options.folder = value;
    } else if (name == "parallel") {
        std::optional<long> number = wholeNumber(value, 1, 32);
        if (!number)
            return "--parallel must be a whole number from 1 to 32";
        options.parallel = static_cast<int>(*number);
    } else if (name == "keep") {
        std::optional<long> number = wholeNumber(value, 1, 10000);
        if (!number)
            return "--keep must be a whole number from 1 to 10000";
        options.keep = static_cast<int>(*number);
    } else if (name == "max-age") {
        char* end = nullptr;
        double hours = value.empty() ? 0 : std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !std::isfinite(hours) || hours <= 0)
            return "--max-age must be a number of hours above 0";
        options.maxAgeHours = hours;
    } else {
        std::optional<std::vector<std::string>> words = splitCommand(value);
        if (!words)
            return "--" + name + " needs a command (quotes must close)";
        (name == "on-failure" ? options.onFailure : options.onChange) = std::move(*words);
    }
    return "";
}

} // namespace

std::optional<std::vector<std::string>> splitCommand(const std::string& command)
{
    gint count = 0;
    gchar** words = nullptr;
    if (!g_shell_parse_argv(command.c_str(), &count, &words, nullptr))
        return std::nullopt;
    std::vector<std::string> split(words, words + count);
    g_strfreev(words);
    if (split.empty())
        return std::nullopt;
    return split;
}

ParsedCommandLine parseFleetCommandLine(const std::vector<std::string>& arguments)
{
    FleetOptions options;
    bool haveVerb = false;
    std::set<std::string> seen;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (argument == "--help" || argument == "-h") {
            if (!haveVerb)
                return GeneralHelp {};
            options.help = true;
            continue;
        }
        if (!argument.starts_with("--")) {
            if (haveVerb)
                return "unexpected argument: " + argument;
            std::optional<FleetVerb> verb = verbNamed(argument);
            if (!verb)
                return "unknown command: " + argument + " (backup, status or discover)";
            options.verb = *verb;
            options.verbName = argument;
            haveVerb = true;
            continue;
        }
        std::string name = argument.substr(2);
        std::optional<std::string> value;
        if (std::size_t equals = name.find('='); equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        const OptionRule* rule = ruleOf(name);
        if (!rule)
            return "unknown option: --" + name;
        if (!value) {
            if (index + 1 == arguments.size())
                return "--" + name + " needs a value";
            value = arguments[++index];
        }
        if (!seen.insert(name).second)
            return "--" + name + " given twice";
        if (rule->backupOnly && haveVerb && options.verb != FleetVerb::backup)
            return "--" + name + " is only for backup";
        if (std::string refusal = takeOption(options, name, *value); !refusal.empty())
            return refusal;
    }
    if (!haveVerb)
        return options.help
            ? ParsedCommandLine(GeneralHelp {})
            : ParsedCommandLine(std::string("no command given (backup, status or discover)"));
    if (options.verb != FleetVerb::backup
        && (!options.out.empty() || options.keep || !options.onChange.empty()))
        return std::string("--out, --keep and --on-change are only for backup");
    if (!options.out.empty() && options.keep)
        return std::string("--keep applies to the library, not to --out");
    return options;
}

} // namespace kovrkit::fleet

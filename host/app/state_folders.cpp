#include "host/app/state_folders.h"

namespace kovrkit {

// A relative or empty XDG value is ignored, as the base directory rules ask.
static std::string baseFolder(
    const std::string& xdgValue, const std::string& home, const char* fallbackBelowHome)
{
    if (!xdgValue.empty() && xdgValue.front() == '/')
        return xdgValue;
    if (!home.empty() && home.front() == '/')
        return home + fallbackBelowHome;
    return {};
}

static StateFolders besideTheProgram(const StateFolderFacts& facts, const std::string& reason)
{
    return { facts.programDirectory, facts.programDirectory + "/webview2_userdata",
        "kovrkit: settings and web view data beside the program in " + facts.programDirectory + " ("
            + reason + ")" };
}

StateFolders chooseStateFolders(const StateFolderFacts& facts)
{
    if (facts.programDirectoryWritable && !facts.installedMarker)
        return besideTheProgram(facts, "program folder writable");

    std::string configBase = baseFolder(facts.xdgConfigHome, facts.home, "/.config");
    std::string dataBase = baseFolder(facts.xdgDataHome, facts.home, "/.local/share");
    if (configBase.empty() || dataBase.empty())
        return besideTheProgram(facts, "installed, but no home folder is known");

    std::string reason
        = facts.installedMarker ? "installed package" : "program folder not writable";
    StateFolders folders { configBase + "/kovrkit", dataBase + "/kovrkit", {} };
    folders.logLine = "kovrkit: settings in " + folders.settingsFolder + ", web view data in "
        + folders.webDataFolder + " (" + reason + ")";
    return folders;
}

} // namespace kovrkit

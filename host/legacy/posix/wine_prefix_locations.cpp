#include "host/legacy/posix/wine_prefix_locations.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <system_error>

namespace kovrkit {

namespace fs = std::filesystem;

namespace {

std::string environmentText(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string passwordEntryField(bool wantHome)
{
    const passwd* entry = getpwuid(getuid());
    if (!entry)
        return {};
    const char* field = wantHome ? entry->pw_dir : entry->pw_name;
    return field ? field : "";
}

std::string userName()
{
    for (const char* name : { "USER", "LOGNAME" }) {
        std::string value = environmentText(name);
        if (!value.empty())
            return value;
    }
    return passwordEntryField(false);
}

fs::path winePrefix()
{
    std::string prefix = environmentText("WINEPREFIX");
    if (!prefix.empty())
        return prefix;
    std::string home = environmentText("HOME");
    if (home.empty())
        home = passwordEntryField(true);
    return home.empty() ? fs::path() : fs::path(home) / ".wine";
}

} // namespace

LegacyLocations winePrefixLocations()
{
    LegacyLocations locations;
    const fs::path prefix = winePrefix();
    const std::string user = userName();
    if (!prefix.empty()) {
        locations.currentUserRegistry = prefix / "user.reg";
        locations.localMachineRegistry = prefix / "system.reg";
    }
    std::error_code unknown;
    if (!prefix.empty() && !user.empty()) {
        fs::path local = prefix / "drive_c" / "users" / user / "AppData" / "Local";
        if (fs::is_directory(local, unknown))
            locations.localAppData = local;
    }
    if (locations.localAppData.empty())
        locations.localAppData = environmentText("LOCALAPPDATA");
    return locations;
}

} // namespace kovrkit

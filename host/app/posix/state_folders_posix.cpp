#include "host/app/posix/state_folders_posix.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kovrkit {

static std::string environmentValue(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// $HOME, else the password database's entry for the user.
static std::string homeFolder()
{
    std::string home = environmentValue("HOME");
    if (!home.empty())
        return home;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry {};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found
        && found->pw_dir)
        return found->pw_dir;
    return {};
}

StateFolderFacts readStateFolderFacts(const std::string& programDirectory)
{
    StateFolderFacts facts;
    facts.programDirectory = programDirectory;
    facts.programDirectoryWritable = ::access(programDirectory.c_str(), W_OK) == 0;
    std::string marker = programDirectory + "/" + kInstalledMarkerName;
    facts.installedMarker = ::access(marker.c_str(), F_OK) == 0;
    facts.xdgConfigHome = environmentValue("XDG_CONFIG_HOME");
    facts.xdgDataHome = environmentValue("XDG_DATA_HOME");
    facts.home = homeFolder();
    return facts;
}

static bool createFolderWithParents(const std::string& path)
{
    for (std::size_t cut = path.find('/', 1);; cut = path.find('/', cut + 1)) {
        std::string prefix = path.substr(0, cut);
        if (!prefix.empty() && ::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (cut == std::string::npos)
            break;
    }
    struct stat info { };
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool createStateFolders(const StateFolders& folders)
{
    bool settingsReady = createFolderWithParents(folders.settingsFolder);
    return createFolderWithParents(folders.webDataFolder) && settingsReady;
}

} // namespace kovrkit

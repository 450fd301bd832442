// Where the host keeps what it writes: "settings.json" and the web view's profile. A build
// tree or a copied folder keeps both beside the program; an installed program (its folder
// not writable, or marked by the package) keeps them in the user's XDG folders.
#pragma once

#include <string>

namespace kovrkit {

// The file the package installs beside the program; a build tree never has it.
inline constexpr const char* kInstalledMarkerName = "installed-from-package";

// What the choice looks at, gathered once at start-up.
struct StateFolderFacts {
    std::string programDirectory;
    bool programDirectoryWritable = false;
    bool installedMarker = false;
    std::string xdgConfigHome; // the environment's values, empty when unset
    std::string xdgDataHome;
    std::string home;
};

struct StateFolders {
    std::string settingsFolder; // holds "settings.json"
    std::string webDataFolder; // the web view's profile and cache
    std::string logLine; // one line naming the choice, without a line end
};

StateFolders chooseStateFolders(const StateFolderFacts& facts);

} // namespace kovrkit

// What is left of the legacy tool on this machine: its data and its installation.
#pragma once

#include "host/legacy/legacy_locations.h"

#include <string>

namespace kovrkit {

struct LegacyDetection {
    bool dataDetected = false;
    bool installDetected = false;
    std::string dataPath;
    std::string uninstallCommand;
    std::string displayName;
};

// File-system errors other than "not found" while probing the data folder throw
// std::filesystem::filesystem_error.
LegacyDetection detectLegacy(const LegacyLocations& locations);

} // namespace kovrkit

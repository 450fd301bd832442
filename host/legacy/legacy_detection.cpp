#include "host/legacy/legacy_detection.h"

#include "host/legacy/legacy_migrator.h"
#include "host/legacy/uninstall_detection.h"

namespace kovrkit {

LegacyDetection detectLegacy(const LegacyLocations& locations)
{
    LegacyDetection detection;
    LegacyProbe probe = LegacyMigrator(locations.localAppData).probeLegacyData();
    detection.dataPath = probe.directory.string();
    detection.dataDetected = probe.found;
    LegacyInstall install = detectLegacyInstall(RegistryHive::load(locations.currentUserRegistry),
        RegistryHive::load(locations.localMachineRegistry));
    detection.uninstallCommand = std::move(install.uninstallCommand);
    detection.displayName = std::move(install.displayName);
    detection.installDetected
        = !detection.uninstallCommand.empty() || !detection.displayName.empty();
    return detection;
}

} // namespace kovrkit

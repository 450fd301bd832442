// The legacy commands of the UI: report what is left of the legacy tool, ask once per run
// whether to migrate its data, import it into the sites store, record the decision, and offer
// to start its uninstaller. UI thread only; every result goes out through `sendToUi`.
#pragma once

#include "host/legacy/legacy_detection.h"
#include "host/legacy/legacy_flow.h"
#include "host/legacy/legacy_locations.h"
#include "host/legacy/process_starter.h"
#include "host/platform/dialogs.h"
#include "host/sites/sites_store.h"

#include <functional>
#include <string>
#include <string_view>

namespace kovrkit {

inline constexpr std::string_view kMigrationCaption = "VELDIR Tool Migration";
inline constexpr std::string_view kMigrationQuestion
    = "Legacy VELDIR Tool data was detected.\n\nDo you want to migrate it now?";
inline constexpr std::string_view kUninstallAfterMigrationQuestion
    = "Data migration completed.\n\nDo you want to uninstall the legacy VELDIR Tool now?";
inline constexpr std::string_view kUninstallAfterDeclineQuestion
    = "Data migration was skipped.\n\nDo you want to uninstall the legacy VELDIR Tool now?";
inline constexpr std::string_view kMigrationCompletedStatus = "Legacy data imported";
inline constexpr std::string_view kMigrationDeclinedStatus = "Legacy migration declined by user";
// A tree that was found and accepted but could not be written (a full disk, among others).
inline constexpr std::string_view kMigratedDataUnsaved = "Migrated data could not be saved";

struct LaunchOutcome {
    bool success = false;
    std::string message;
};

class LegacyMigrationFlow final : public LegacyFlow {
public:
    using SendToUi = std::function<void(std::string)>;

    LegacyMigrationFlow(SendToUi sendToUi, Dialogs& dialogs, const SitesStore& store,
        LegacyLocations locations, ProcessStarter& starter);

    void statusCheck() override; // "legacy_getStatus" and the tail of "getAppInfo"
    void migrate() override; // "legacy_migrate"
    void uninstall() override; // "legacy_uninstall"

    void offerLegacyUninstall(bool afterMigration);
    LaunchOutcome launchLegacyUninstaller();

private:
    void fillUninstallCommand();

    SendToUi sendToUi_;
    Dialogs& dialogs_;
    const SitesStore& store_;
    LegacyLocations locations_;
    ProcessStarter& starter_;
    std::string legacyUninstallCommand_;
    bool legacyPromptShown_ = false;
};

} // namespace kovrkit

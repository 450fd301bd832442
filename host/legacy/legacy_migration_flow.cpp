#include "host/legacy/legacy_migration_flow.h"

#include "host/bridge/outgoing_messages.h"
#include "host/legacy/legacy_migrator.h"
#include "host/legacy/windows_command_line.h"

#include <nlohmann/json.hpp>

namespace kovrkit {

namespace {

constexpr std::string_view kUninstallCommandEmpty = "Legacy uninstall command was empty";
constexpr std::string_view kUninstallerLaunched = "Legacy uninstaller launched";
constexpr std::string_view kUninstallerNotLaunched = "Failed to launch legacy uninstaller";

} // namespace

LegacyMigrationFlow::LegacyMigrationFlow(SendToUi sendToUi, Dialogs& dialogs,
    const SitesStore& store, LegacyLocations locations, ProcessStarter& starter)
    : sendToUi_(std::move(sendToUi))
    , dialogs_(dialogs)
    , store_(store)
    , locations_(std::move(locations))
    , starter_(starter)
{
}

void LegacyMigrationFlow::statusCheck()
{
    const bool completed = store_.isMigrationCompleted();
    bool declined = store_.isMigrationDeclined();
    const LegacyDetection detection = detectLegacy(locations_);
    legacyUninstallCommand_ = detection.uninstallCommand;

    bool suppressUiPrompt = false;
    if (detection.dataDetected && !completed && !declined && !legacyPromptShown_) {
        legacyPromptShown_ = true;
        if (dialogs_.askYesNo(
                std::string(kMigrationCaption), std::string(kMigrationQuestion), true)) {
            migrate();
            return;
        }
        suppressUiPrompt = true;
        const bool recorded = store_.markMigrationDeclined(kMigrationDeclinedStatus);
        offerLegacyUninstall(false);
        declined = declined || recorded;
    }

    LegacyMigrationStatus status;
    status.legacyDetected = detection.dataDetected || detection.installDetected;
    status.legacyDataDetected = detection.dataDetected;
    status.legacyInstallDetected = detection.installDetected;
    status.migrationCompleted = completed;
    status.migrationDeclined = declined;
    status.migrationNeeded = detection.dataDetected && !completed && !declined;
    status.suppressUiPrompt = suppressUiPrompt;
    status.canLaunchLegacyUninstall = !legacyUninstallCommand_.empty();
    status.legacyDataPath = detection.dataPath;
    status.legacyDisplayName = detection.displayName;
    sendToUi_(legacyMigrationStatusMessage(status));
}

void LegacyMigrationFlow::migrate()
{
    const LegacyExtraction extraction
        = LegacyMigrator(locations_.localAppData).extractLegacySites();
    if (!extraction.success) {
        sendToUi_(legacyMigrationFailedMessage(extraction.message));
        return;
    }
    const nlohmann::json document = nlohmann::json::parse(extraction.json, nullptr, false);
    const SaveOutcome saved = document.is_discarded() ? SaveOutcome { false, {}, true }
                                                      : store_.saveSitesDocument(document);
    if (!saved.success) {
        sendToUi_(saved.treeRefused ? legacyMigrationIncompatibleMessage()
                                    : legacyMigrationFailedMessage(kMigratedDataUnsaved));
        return;
    }
    if (!store_.markMigrationCompleted(kMigrationCompletedStatus)) {
        sendToUi_(legacyMigrationMarkerUnsavedMessage());
        return;
    }
    statusCheck();
    sendToUi_(sitesDataLoadedMessage(store_.loadSitesDocument()));
    offerLegacyUninstall(true);
    sendToUi_(legacyMigrationSucceededMessage(!legacyUninstallCommand_.empty()));
}

void LegacyMigrationFlow::uninstall()
{
    fillUninstallCommand();
    const LaunchOutcome outcome = launchLegacyUninstaller();
    sendToUi_(legacyUninstallLaunchResultMessage(outcome.success, outcome.message));
}

void LegacyMigrationFlow::offerLegacyUninstall(bool afterMigration)
{
    fillUninstallCommand();
    if (legacyUninstallCommand_.empty())
        return;
    const std::string_view question
        = afterMigration ? kUninstallAfterMigrationQuestion : kUninstallAfterDeclineQuestion;
    if (dialogs_.askYesNo(std::string(kMigrationCaption), std::string(question), false))
        uninstall();
}

LaunchOutcome LegacyMigrationFlow::launchLegacyUninstaller()
{
    if (legacyUninstallCommand_.empty())
        return { false, std::string(kUninstallCommandEmpty) };
    std::vector<std::string> words = splitWindowsCommandLine(legacyUninstallCommand_);
    if (words.empty() || words.front().empty())
        return { false, std::string(kUninstallerNotLaunched) };
    // The legacy tool is a Windows program: its uninstaller runs under wine.
    words.insert(words.begin(), "wine");
    if (!starter_.startDetached(words))
        return { false, std::string(kUninstallerNotLaunched) };
    return { true, std::string(kUninstallerLaunched) };
}

void LegacyMigrationFlow::fillUninstallCommand()
{
    if (legacyUninstallCommand_.empty())
        legacyUninstallCommand_ = detectLegacy(locations_).uninstallCommand;
}

} // namespace kovrkit

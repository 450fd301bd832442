#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kovrkit {

// Builders of every message the host sends to the UI: fixed pieces of JSON text around
// escaped strings, literal booleans, decimal integers and verbatim JSON.

struct AppInfo {
    std::string version;
    std::string productName;
    std::string windowTitle;
    std::string copyright;
    std::string website;
};

struct LegacyMigrationStatus {
    bool legacyDetected = false;
    bool legacyDataDetected = false;
    bool legacyInstallDetected = false;
    bool migrationCompleted = false;
    bool migrationDeclined = false;
    bool migrationNeeded = false;
    bool suppressUiPrompt = false;
    bool canLaunchLegacyUninstall = false;
    std::string legacyDataPath;
    std::string legacyDisplayName;
};

std::string appInfoLoadedMessage(const AppInfo& info);
// With "settingsNotice" when the notice is not empty ("settings.json" could not be read).
std::string sitesDataLoadedMessage(
    std::string_view sitesDocumentJson, std::string_view notice = {});
// The failure form carries the reason ("Invalid or unsaved sites data" for most refusals).
std::string sitesDataSavedMessage(bool success, std::string_view failureMessage);
std::string sitesCsvExportedMessage(bool success, std::string_view message, std::string_view path);
std::string sitesCsvImportedMessage(
    bool success, std::string_view message, std::string_view csvContent);
std::string openExternalUrlResultMessage(bool success, std::string_view message);
std::string nativeActionResultMessage(std::string_view action, bool success, int32_t exitCode,
    std::string_view message, std::string_view deviceIp, std::string_view data);
std::string nativeActionBatchSummaryMessage(
    std::string_view action, int32_t total, int32_t succeeded, int32_t failed);
std::string legacyMigrationStatusMessage(const LegacyMigrationStatus& status);
std::string legacyMigrationFailedMessage(std::string_view reason);
std::string legacyMigrationIncompatibleMessage();
std::string legacyMigrationMarkerUnsavedMessage();
std::string legacyMigrationSucceededMessage(bool canLaunchLegacyUninstall);
std::string legacyUninstallLaunchResultMessage(bool success, std::string_view message);

} // namespace kovrkit

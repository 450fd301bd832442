#include "host/bridge/outgoing_messages.h"

#include "host/bridge/json_text.h"

namespace kovrkit {

namespace {

// Appends `"name":value` pieces in the order they are added; the caller closes the envelope.
class MessageText {
public:
    explicit MessageText(std::string_view command)
    {
        text_ = "{\"command\":\"";
        text_ += command;
        text_ += "\",\"payload\":{";
    }

    MessageText& text(std::string_view name, std::string_view value)
    {
        key(name);
        text_ += '"';
        text_ += escapeJsonText(value);
        text_ += '"';
        return *this;
    }

    MessageText& flag(std::string_view name, bool value)
    {
        key(name);
        text_ += jsonBool(value);
        return *this;
    }

    MessageText& number(std::string_view name, int32_t value)
    {
        key(name);
        text_ += std::to_string(value);
        return *this;
    }

    MessageText& raw(std::string_view name, std::string_view json)
    {
        key(name);
        text_ += json;
        return *this;
    }

    std::string finish() { return std::move(text_) + "}}"; }

private:
    void key(std::string_view name)
    {
        if (!first_)
            text_ += ',';
        first_ = false;
        text_ += '"';
        text_ += name;
        text_ += "\":";
    }

    std::string text_;
    bool first_ = true;
};

} // namespace

std::string appInfoLoadedMessage(const AppInfo& info)
{
    return MessageText("appInfoLoaded")
        .text("version", info.version)
        .text("productName", info.productName)
        .text("windowTitle", info.windowTitle)
        .text("copyright", info.copyright)
        .text("website", info.website)
        .finish();
}

std::string sitesDataLoadedMessage(std::string_view sitesDocumentJson, std::string_view notice)
{
    MessageText message("sitesDataLoaded");
    message.raw("sitesData", sitesDocumentJson);
    if (!notice.empty())
        message.text("settingsNotice", notice);
    return message.finish();
}

std::string sitesDataSavedMessage(bool success, std::string_view failureMessage)
{
    if (success)
        return R"({"command":"sitesDataSaved","payload":{"success":true}})";
    return MessageText("sitesDataSaved")
        .flag("success", false)
        .text("message", failureMessage)
        .finish();
}

std::string sitesCsvExportedMessage(bool success, std::string_view message, std::string_view path)
{
    return MessageText("sitesCsvExported")
        .flag("success", success)
        .text("message", message)
        .text("path", path)
        .finish();
}

std::string sitesCsvImportedMessage(
    bool success, std::string_view message, std::string_view csvContent)
{
    return MessageText("sitesCsvImported")
        .flag("success", success)
        .text("message", message)
        .text("csvContent", csvContent)
        .finish();
}

std::string openExternalUrlResultMessage(bool success, std::string_view message)
{
    return MessageText("openExternalUrlResult")
        .flag("success", success)
        .text("message", message)
        .finish();
}

std::string nativeActionResultMessage(std::string_view action, bool success, int32_t exitCode,
    std::string_view message, std::string_view deviceIp, std::string_view data)
{
    MessageText result("nativeActionResult");
    result.text("action", action)
        .flag("success", success)
        .number("exitCode", exitCode)
        .text("message", message)
        .text("deviceIp", deviceIp);
    if (!data.empty())
        result.raw("data", data);
    return result.finish();
}

std::string nativeActionBatchSummaryMessage(
    std::string_view action, int32_t total, int32_t succeeded, int32_t failed)
{
    return MessageText("nativeActionBatchSummary")
        .text("action", action)
        .number("total", total)
        .number("succeeded", succeeded)
        .number("failed", failed)
        .finish();
}

std::string legacyMigrationStatusMessage(const LegacyMigrationStatus& status)
{
    return MessageText("legacyMigrationStatus")
        .flag("legacyDetected", status.legacyDetected)
        .flag("legacyDataDetected", status.legacyDataDetected)
        .flag("legacyInstallDetected", status.legacyInstallDetected)
        .flag("migrationCompleted", status.migrationCompleted)
        .flag("migrationDeclined", status.migrationDeclined)
        .flag("migrationNeeded", status.migrationNeeded)
        .flag("suppressUiPrompt", status.suppressUiPrompt)
        .flag("canLaunchLegacyUninstall", status.canLaunchLegacyUninstall)
        .text("legacyDataPath", status.legacyDataPath)
        .text("legacyDisplayName", status.legacyDisplayName)
        .finish();
}

std::string legacyMigrationFailedMessage(std::string_view reason)
{
    return MessageText("legacyMigrationResult")
        .flag("success", false)
        .flag("migrated", false)
        .text("message", reason)
        .finish();
}

std::string legacyMigrationIncompatibleMessage()
{
    return R"({"command":"legacyMigrationResult","payload":{"success":false,"migrated":false,"message":"Migrated data was not compatible with the current format"}})";
}

std::string legacyMigrationMarkerUnsavedMessage()
{
    return R"({"command":"legacyMigrationResult","payload":{"success":false,"migrated":true,"message":"Data imported but migration marker could not be saved"}})";
}

std::string legacyMigrationSucceededMessage(bool canLaunchLegacyUninstall)
{
    return MessageText("legacyMigrationResult")
        .flag("success", true)
        .flag("migrated", true)
        .flag("canLaunchLegacyUninstall", canLaunchLegacyUninstall)
        .text("message", "Legacy data migrated successfully")
        .finish();
}

std::string legacyUninstallLaunchResultMessage(bool success, std::string_view message)
{
    return MessageText("legacyUninstallLaunchResult")
        .flag("success", success)
        .text("message", message)
        .finish();
}

} // namespace kovrkit

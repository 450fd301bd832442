// The "legacyMigration" record: whether the legacy tool's data was imported or declined.
#include "host/platform/utc_clock.h"
#include "host/sites/settings_file.h"
#include "host/sites/sites_store.h"

namespace kovrkit {

using nlohmann::json;

namespace {

bool recordFlag(const std::optional<json>& settings, std::string_view flag)
{
    if (!settings)
        return false;
    const auto record = settings->find("legacyMigration");
    if (record == settings->end() || !record->is_object())
        return false;
    const auto value = record->find(flag);
    return value != record->end() && value->is_boolean() && value->get<bool>();
}

bool markMigration(const std::filesystem::path& settingsPath, const UnusableSettingsGuard& guard,
    bool completed, std::string_view status)
{
    json record = {
        { "completed", completed },
        { "declined", !completed },
        { "status", std::string(status) },
        { "updatedAt", utcTimestamp() },
    };
    return updateSettingsFile(settingsPath, guard, [&record](json& settings) {
        settings["legacyMigration"] = std::move(record);
    }) == SettingsWrite::written;
}

} // namespace

bool SitesStore::isMigrationCompleted() const
{
    return recordFlag(readSettings(), "completed");
}

bool SitesStore::isMigrationDeclined() const
{
    return recordFlag(readSettings(), "declined");
}

bool SitesStore::markMigrationCompleted(std::string_view status) const
{
    return markMigration(settingsPath_, guard_, true, status);
}

bool SitesStore::markMigrationDeclined(std::string_view status) const
{
    return markMigration(settingsPath_, guard_, false, status);
}

} // namespace kovrkit

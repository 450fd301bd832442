// The "jobConcurrency" member: how many devices a device job runs at once; the
// "backupRetention" member: how many changed backups the library keeps per device.
#include "host/sites/settings_file.h"
#include "host/sites/sites_store.h"

namespace kovrkit {

namespace {

std::optional<int> integerMember(
    const std::filesystem::path& settingsPath, const char* name, int64_t largest)
{
    std::optional<std::string> text = readSettingsText(settingsPath);
    if (!text)
        return std::nullopt;
    std::optional<nlohmann::json> value = parseSettingsMember(*text, name);
    if (!value || !value->is_number_integer())
        return std::nullopt;
    auto number = value->get<int64_t>();
    if (number < 1 || number > largest)
        return std::nullopt;
    return static_cast<int>(number);
}

} // namespace

std::optional<int> SitesStore::jobConcurrency() const
{
    return integerMember(settingsPath_, "jobConcurrency", 1000);
}

std::optional<int> SitesStore::backupRetention() const
{
    return integerMember(settingsPath_, "backupRetention", 10000);
}

bool SitesStore::saveJobConcurrency(int concurrency) const
{
    return replaceSettingsMember(
               settingsPath_, "jobConcurrency",
               [concurrency](std::string& out, std::size_t) { out += std::to_string(concurrency); },
               guard_)
        == SettingsWrite::written;
}

} // namespace kovrkit

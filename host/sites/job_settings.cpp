// The "jobConcurrency" member: how many devices a device job runs at once.
#include "host/sites/settings_file.h"
#include "host/sites/sites_store.h"

namespace kovrkit {

std::optional<int> SitesStore::jobConcurrency() const
{
    std::optional<std::string> text = readSettingsText(settingsPath_);
    if (!text)
        return std::nullopt;
    std::optional<nlohmann::json> value = parseSettingsMember(*text, "jobConcurrency");
    if (!value || !value->is_number_integer())
        return std::nullopt;
    auto number = value->get<int64_t>();
    if (number < 1 || number > 1000)
        return std::nullopt;
    return static_cast<int>(number);
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

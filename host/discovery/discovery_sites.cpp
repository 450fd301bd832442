#include "host/discovery/discovery_sites.h"

#include <system_error>

namespace kovrkit {

namespace {

SerialRecord serialsOf(const nlohmann::json& settings)
{
    SerialRecord serials;
    auto member = settings.find(kSerialRecordMember);
    if (member == settings.end() || !member->is_object())
        return serials;
    for (const auto& entry : member->items()) {
        if (entry.value().is_string() && !entry.value().get_ref<const std::string&>().empty())
            serials[entry.key()] = entry.value().get<std::string>();
    }
    return serials;
}

std::string recordKey(const std::string& address)
{
    std::optional<ScanTarget> target = deviceTarget(address);
    return target ? targetText(*target) : address;
}

} // namespace

DiscoverySites readDiscoverySites(const SitesStore& store)
{
    DiscoverySites sites;
    std::error_code error;
    sites.present = std::filesystem::exists(store.settingsPath(), error);
    if (!sites.present) {
        sites.readable = true;
        return sites;
    }
    std::optional<nlohmann::json> settings = store.readSettings();
    if (!settings)
        return sites;
    if (settings->contains("sitesData")) {
        std::optional<std::string> text = documentTextFromSettings(settings->dump());
        if (!text)
            return sites;
        nlohmann::json document = nlohmann::json::parse(*text, nullptr, false);
        std::optional<NodeMap> map = nodeMapFromJson(document);
        std::optional<FolderEntry> root = map ? convertNodeMap(*map) : std::nullopt;
        if (!root)
            return sites;
        sites.devices = treeDevices(*root);
    }
    sites.serials = serialsOf(*settings);
    sites.readable = true;
    return sites;
}

bool updateSerialRecord(const SitesStore& store, const SerialRecord& changes)
{
    std::optional<nlohmann::json> settings = store.readSettings();
    if (!settings)
        return false;
    nlohmann::json& record = (*settings)[kSerialRecordMember];
    if (!record.is_object())
        record = nlohmann::json::object();
    for (const auto& [address, serial] : changes) {
        if (serial.empty())
            record.erase(recordKey(address));
        else
            record[recordKey(address)] = serial;
    }
    return store.writeSettings(*settings);
}

} // namespace kovrkit

#include "host/sites/sites_store.h"

#include "host/sites/settings_file.h"
#include "host/sites/sites_document.h"

namespace kovrkit {

using nlohmann::json;

namespace {

std::string compact(const json& value)
{
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// The stored tree as the UI sees it; a file written in the node-map form is served as is.
std::optional<json> documentFromSettings(const json& settings)
{
    const auto sites = settings.find("sitesData");
    if (sites == settings.end())
        return std::nullopt;
    if (isValidSitesDocument(*sites))
        return *sites;
    return storedToDocument(*sites);
}

} // namespace

std::filesystem::path settingsPathIn(const std::filesystem::path& folder)
{
    return folder / "settings.json";
}

SitesStore::SitesStore(std::filesystem::path settingsPath) : settingsPath_(std::move(settingsPath)) { }

std::optional<json> SitesStore::readSettings() const
{
    return readSettingsFile(settingsPath_);
}

bool SitesStore::writeSettings(const json& settings) const
{
    return writeSettingsFile(settingsPath_, settings);
}

std::string SitesStore::loadSitesDocument() const
{
    const auto settings = readSettings();
    if (settings) {
        if (auto document = documentFromSettings(*settings))
            return compact(*document);
    }
    return compact(defaultSitesDocument());
}

bool SitesStore::saveSitesDocument(std::string_view documentText) const
{
    const json document = json::parse(documentText, nullptr, false);
    if (document.is_discarded())
        return false;
    return saveParsedSitesDocument(document);
}

bool SitesStore::saveParsedSitesDocument(const json& document) const
{
    auto stored = documentToStored(document);
    if (!stored)
        return false;
    return updateSettingsFile(settingsPath_,
                              [&stored](json& settings) { settings["sitesData"] = std::move(*stored); });
}

SaveOutcome SitesStore::saveSitesDataPayload(const json& payload) const
{
    const auto sites = payload.is_object() ? payload.find("sitesData") : payload.end();
    if (sites != payload.end() && sites->is_object() && saveParsedSitesDocument(*sites))
        return {true, {}};
    return {false, std::string(kUnsavedSitesMessage)};
}

} // namespace kovrkit

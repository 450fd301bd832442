#include "host/sites/sites_store.h"

#include "host/sites/settings_file.h"
#include "host/sites/sites_document.h"
#include "host/sites/sites_stream.h"
#include "host/sites/sites_text.h"
#include "host/sites/sites_tree.h"

namespace kovrkit {

using nlohmann::json;

namespace {

std::string compact(const json& value)
{
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// The general reader: a file written in the node-map form is served as it is.
std::optional<json> documentFromSettings(const json& settings)
{
    const auto sites = settings.find("sitesData");
    if (sites == settings.end())
        return std::nullopt;
    if (isValidSitesDocument(*sites))
        return *sites;
    return storedToDocument(*sites);
}

std::optional<std::string> documentTextFromSettings(const std::string& settingsText)
{
    if (const auto tree = streamStoredSites(settingsText))
        return nodeMapText(*tree);
    const auto settings = parseSettingsText(settingsText);
    if (!settings)
        return std::nullopt;
    const auto document = documentFromSettings(*settings);
    if (!document)
        return std::nullopt;
    return compact(*document);
}

bool storeTree(const std::filesystem::path& settingsPath, const std::optional<FolderEntry>& tree)
{
    if (!tree)
        return false;
    return replaceSettingsMember(
        settingsPath, "sitesData", [&tree](std::string& out, std::size_t indent) {
            appendStoredSitesText(out, *tree, indent);
        });
}

} // namespace

std::filesystem::path settingsPathIn(const std::filesystem::path& folder)
{
    return folder / "settings.json";
}

SitesStore::SitesStore(std::filesystem::path settingsPath)
    : settingsPath_(std::move(settingsPath))
{
}

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
    const auto text = readSettingsText(settingsPath_);
    if (text && !text->empty()) {
        if (auto document = documentTextFromSettings(*text))
            return std::move(*document);
    }
    return compact(defaultSitesDocument());
}

bool SitesStore::saveSitesDocument(std::string_view documentText) const
{
    if (const auto map = streamNodeMap(documentText))
        return storeTree(settingsPath_, convertNodeMap(*map));
    const json document = json::parse(documentText, nullptr, false);
    return !document.is_discarded() && saveParsedSitesDocument(document);
}

bool SitesStore::saveParsedSitesDocument(const json& document) const
{
    const auto map = nodeMapFromJson(document);
    return map && storeTree(settingsPath_, convertNodeMap(*map));
}

SaveOutcome SitesStore::saveSitesDataPayload(const json& payload) const
{
    const auto sites = payload.is_object() ? payload.find("sitesData") : payload.end();
    if (sites != payload.end() && sites->is_object() && saveParsedSitesDocument(*sites))
        return { true, {} };
    return { false, std::string(kUnsavedSitesMessage) };
}

} // namespace kovrkit

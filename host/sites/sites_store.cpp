#include "host/sites/sites_store.h"

#include "host/sites/settings_file.h"
#include "host/sites/sites_document.h"
#include "host/sites/sites_text.h"
#include "host/sites/sites_tree.h"

namespace kovrkit {

using nlohmann::json;

namespace {

std::string compact(const json& value)
{
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

bool storeTree(const std::filesystem::path& settingsPath, const FolderEntry& tree)
{
    return replaceSettingsMember(
        settingsPath, "sitesData", [&tree](std::string& out, std::size_t indent) {
            appendStoredSitesText(out, tree, indent);
        });
}

} // namespace

std::optional<std::string> documentTextFromSettings(const std::string& settingsText)
{
    const auto sites = parseSettingsMember(settingsText, "sitesData");
    if (!sites)
        return std::nullopt;
    // A file written in the node-map form by an earlier host is served as it is.
    if (isValidSitesDocument(*sites))
        return compact(*sites);
    const auto tree = folderTreeFromJson(*sites);
    if (!tree)
        return std::nullopt;
    return nodeMapText(*tree);
}

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

SaveOutcome SitesStore::saveSitesDocument(const json& document) const
{
    const auto map = nodeMapFromJson(document);
    bool tooLarge = false;
    const auto tree = map ? convertNodeMap(*map, &tooLarge) : std::nullopt;
    if (tree && storeTree(settingsPath_, *tree))
        return { true, {} };
    return { false, std::string(tooLarge ? kSitesTooLargeMessage : kUnsavedSitesMessage) };
}

} // namespace kovrkit

#include "host/sites/sites_store.h"

#include "host/platform/utc_clock.h"
#include "host/sites/sites_document.h"
#include "host/sites/sites_text.h"
#include "host/sites/sites_tree.h"
#include "host/sites/stored_sites_judge.h"

namespace kovrkit {

using nlohmann::json;

namespace {

std::string compact(const json& value)
{
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
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

namespace {

// The host cannot use a file that holds no JSON object, nor a stored tree that a load would
// replace by the default tree; a write would lose either without a trace.
bool isUnusableSettings(const std::optional<json>& settings)
{
    if (!settings)
        return true;
    const auto sites = settings->find("sitesData");
    return sites != settings->end() && !isValidSitesDocument(*sites) && !isValidStoredSites(*sites);
}

UnusableSettingsGuard guardWith(SettingsKeeping keeping)
{
    if (!keeping.fileStamp)
        keeping.fileStamp = utcFileStamp;
    if (!keeping.log)
        keeping.log = [](const std::string&) {};
    return { isUnusableSettings, std::move(keeping.fileStamp), std::move(keeping.log), "sitesData",
        storedSitesJudge };
}

} // namespace

std::filesystem::path settingsPathIn(const std::filesystem::path& folder)
{
    return folder / "settings.json";
}

SitesStore::SitesStore(std::filesystem::path settingsPath, SettingsKeeping keeping)
    : settingsPath_(std::move(settingsPath))
    , guard_(guardWith(std::move(keeping)))
{
}

std::optional<json> SitesStore::readSettings() const
{
    return readSettingsFile(settingsPath_);
}

bool SitesStore::writeSettings(const json& settings) const
{
    return writeSettingsFile(settingsPath_, settings, guard_) == SettingsWrite::written;
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

std::optional<FolderEntry> SitesStore::loadSitesTree() const
{
    const auto text = readSettingsText(settingsPath_);
    if (!text)
        return std::nullopt;
    const auto sites = parseSettingsMember(*text, "sitesData");
    if (!sites)
        return std::nullopt;
    if (isValidSitesDocument(*sites)) {
        std::optional<json> stored = documentToStored(*sites);
        return stored ? folderTreeFromJson(*stored) : std::nullopt;
    }
    return folderTreeFromJson(*sites);
}

SaveOutcome SitesStore::saveSitesDocument(const json& document) const
{
    const auto map = nodeMapFromJson(document);
    bool tooLarge = false;
    const auto tree = map ? convertNodeMap(*map, &tooLarge) : std::nullopt;
    if (!tree)
        return { false, std::string(tooLarge ? kSitesTooLargeMessage : kUnsavedSitesMessage),
            true };
    const auto written = replaceSettingsMember(
        settingsPath_, "sitesData",
        [&tree](
            std::string& out, std::size_t indent) { appendStoredSitesText(out, *tree, indent); },
        guard_);
    if (written == SettingsWrite::written)
        return { true, {} };
    if (written == SettingsWrite::unusableNotKept)
        return { false, std::string(kUnusableSettingsNotKeptMessage) };
    return { false, std::string(kUnsavedSitesMessage) };
}

} // namespace kovrkit

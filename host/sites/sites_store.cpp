#include "host/sites/sites_store.h"

#include "host/platform/file_access.h"
#include "host/platform/utc_clock.h"
#include "host/sites/sites_document.h"
#include "host/sites/sites_text.h"
#include "host/sites/sites_tree.h"
#include "host/sites/stored_sites_judge.h"

#include <mutex>

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

} // namespace

// The time in the name of the next kept file: pinned once a technician was told the name.
struct SitesStore::KeepStamp {
    std::function<std::string()> clock;
    std::mutex mutex;
    std::optional<std::string> pinned;

    std::string pin()
    {
        std::lock_guard lock(mutex);
        if (!pinned)
            pinned = clock();
        return *pinned;
    }
    void unpin()
    {
        std::lock_guard lock(mutex);
        pinned.reset();
    }
    std::string take()
    {
        std::lock_guard lock(mutex);
        std::string stamp = pinned ? *pinned : clock();
        pinned.reset();
        return stamp;
    }
};

namespace {

UnusableSettingsGuard guardWith(
    const std::shared_ptr<SitesStore::KeepStamp>& stamp, SettingsKeeping keeping)
{
    if (!keeping.log)
        keeping.log = [](const std::string&) {};
    return { isUnusableSettings, [stamp] { return stamp->take(); }, std::move(keeping.log),
        "sitesData", storedSitesJudge, std::make_shared<CommittedSettings>() };
}

std::shared_ptr<SitesStore::KeepStamp> keepStampWith(std::function<std::string()> clock)
{
    auto stamp = std::make_shared<SitesStore::KeepStamp>();
    stamp->clock = clock ? std::move(clock) : std::function<std::string()>(utcFileStamp);
    return stamp;
}

} // namespace

std::string unreadableSettingsNotice(const std::string& settingsPath, const std::string& keptPath)
{
    return "The settings file " + settingsPath + " could not be read; it will be kept as "
        + keptPath + " before anything replaces it";
}

std::filesystem::path settingsPathIn(const std::filesystem::path& folder)
{
    return folder / "settings.json";
}

SitesStore::SitesStore(std::filesystem::path settingsPath, SettingsKeeping keeping)
    : settingsPath_(std::move(settingsPath))
    , stamp_(keepStampWith(std::move(keeping.fileStamp)))
    , guard_(guardWith(stamp_, std::move(keeping)))
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

LoadedSites SitesStore::loadSites() const
{
    const auto text = readSettingsText(settingsPath_);
    if (text && !text->empty()) {
        if (auto document = documentTextFromSettings(*text))
            return { std::move(*document), {} };
    }
    LoadedSites loaded { compact(defaultSitesDocument()), {} };
    if (const auto kept = unusableSettingsKeptPath())
        loaded.notice = unreadableSettingsNotice(settingsPath_.string(), *kept);
    return loaded;
}

std::optional<std::string> SitesStore::unusableSettingsKeptPath() const
{
    std::string text;
    const bool read = readWholeFile(settingsPath_.string(), text, kSettingsFileLimit);
    if ((!read && !fileExists(settingsPath_.string()))
        || (read && !isUnusableSettings(parseSettingsText(text)))) {
        stamp_->unpin();
        return std::nullopt;
    }
    return settingsPath_.string() + ".unreadable-" + stamp_->pin();
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

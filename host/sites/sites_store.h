// The store of everything the host keeps between runs: the technician's sites tree and the
// legacy migration record, both held in one "settings.json" that is read afresh by every
// operation and replaced whole, atomically, by every change.
#pragma once

#include "host/sites/settings_file.h"
#include "host/sites/sites_tree.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kovrkit {

// The failure text of the "sitesDataSaved" reply.
inline constexpr std::string_view kUnsavedSitesMessage = "Invalid or unsaved sites data";

// The failure text when the tree is refused for its expanded size.
inline constexpr std::string_view kSitesTooLargeMessage
    = "The sites tree is too large to save: with folders that appear in several places "
      "counted once per place, it holds more than 1,000,000 folders and devices or more than "
      "256 MiB of text, or nests them so deeply that their indentation alone would take more "
      "than 256 MiB";

// The failure text when "settings.json" held something unusable that could not be kept aside.
inline constexpr std::string_view kUnusableSettingsNotKeptMessage
    = "The settings file could not be read and could not be kept aside; nothing was saved";

// What a load serves: the node-map text, and when "settings.json" holds something the host
// cannot use, the notice that says so (empty otherwise).
struct LoadedSites {
    std::string document;
    std::string notice;
};

// The notice for a "settings.json" at settingsPath that could not be read, naming the file it
// will be kept as.
std::string unreadableSettingsNotice(const std::string& settingsPath, const std::string& keptPath);

struct SaveOutcome {
    bool success = false;
    std::string message; // empty on success, else one of the failure texts above
    bool treeRefused = false; // the tree itself was refused; no write was tried
};

// What the store needs from outside when it keeps an unusable "settings.json" aside as
// "settings.json.unreadable-<UTC time>": the clock and the host's log.
struct SettingsKeeping {
    std::function<std::string()> fileStamp; // "YYYYMMDDTHHMMSSZ"; the UTC clock when empty
    std::function<void(const std::string& line)> log; // nothing is logged when empty
};

// The compact node-map text a load serves for the text of "settings.json": a stored node map
// as it is, a nested tree with fresh ids; nothing when no usable tree is stored.
std::optional<std::string> documentTextFromSettings(const std::string& settingsText);

// "settings.json" in the given folder (the program's own folder).
std::filesystem::path settingsPathIn(const std::filesystem::path& folder);

class SitesStore {
public:
    explicit SitesStore(std::filesystem::path settingsPath, SettingsKeeping keeping = {});

    const std::filesystem::path& settingsPath() const { return settingsPath_; }

    // The whole settings object. A missing or empty file reads as an empty object;
    // nullopt when the file holds anything but a JSON object.
    std::optional<nlohmann::json> readSettings() const;
    // Replaces "settings.json" with the object: 2-space indentation, keys in ascending
    // byte order. A failed write leaves the previous file as it was. Like every write, it
    // first keeps aside a file that is no JSON object or whose stored tree fails the checks.
    bool writeSettings(const nlohmann::json& settings) const;

    // The stored tree as compact node-map JSON text with fresh ids; the default tree when
    // nothing usable is stored. Never fails.
    std::string loadSitesDocument() const;
    // As loadSitesDocument, with the notice when the file cannot be used.
    LoadedSites loadSites() const;
    // When "settings.json" exists and the host cannot use it: the name it will be kept as
    // before anything replaces it. The time in that name is taken at the first call and used by
    // the keeping itself, so what the technician is told is the name the file gets.
    std::optional<std::string> unusableSettingsKeptPath() const;
    // The stored tree in the nested form (a node map an earlier host wrote is converted);
    // nullopt when the file cannot be read or holds no usable "sitesData". For programs that
    // must tell a missing tree from an empty one.
    std::optional<FolderEntry> loadSitesTree() const;
    // Stores a node-map document (the "sitesData" of "setSitesData") in the nested form. A
    // refused document leaves the file untouched.
    SaveOutcome saveSitesDocument(const nlohmann::json& document) const;

    bool isMigrationCompleted() const;
    bool isMigrationDeclined() const;
    // Each replaces the whole "legacyMigration" record; the status text is the caller's.
    bool markMigrationCompleted(std::string_view status) const;
    bool markMigrationDeclined(std::string_view status) const;

    // The "jobConcurrency" member (devices a job runs at once); nothing when none is stored.
    std::optional<int> jobConcurrency() const;
    // Sets that member; the other members stay as they are.
    bool saveJobConcurrency(int concurrency) const;
    // The "backupRetention" member (changed backups the library keeps per device, 1 to
    // 10000); nothing when none is stored or it is out of range.
    std::optional<int> backupRetention() const;

    struct KeepStamp;

private:
    std::filesystem::path settingsPath_;
    std::shared_ptr<KeepStamp> stamp_;
    UnusableSettingsGuard guard_;
};

} // namespace kovrkit

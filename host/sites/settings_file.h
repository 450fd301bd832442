// Reading and atomically replacing "settings.json". Writers serialise on a lock held on the
// temporary file, so two processes saving at once each replace the file with a whole tree.
#pragma once

#include "host/sites/member_events.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace kovrkit {

// The path of the temporary file a write goes through: the settings path plus ".tmp".
std::filesystem::path temporarySettingsPath(const std::filesystem::path& settingsPath);

// A missing or empty file reads as an empty object; nullopt unless the file holds an object.
std::optional<nlohmann::json> readSettingsFile(const std::filesystem::path& settingsPath);

// The object as it is written: 2-space indentation, UTF-8, no newline at the end.
std::string serializeSettings(const nlohmann::json& settings);

// The text the last write of the judged member committed and the other members it held. A
// file that still holds exactly that text needs neither a parse nor a judge before it is
// replaced: its tree is the one that write took through the save rules.
class CommittedSettings {
public:
    void remember(std::string text, nlohmann::json others);
    // The other members when text is byte for byte the remembered one.
    std::optional<nlohmann::json> othersIfUnchanged(const std::string& text) const;

private:
    struct Committed {
        std::string text;
        nlohmann::json others;
    };
    mutable std::mutex mutex_;
    std::optional<Committed> last_;
};

// What a write does before it replaces a file whose content the host cannot use (so that the
// write would lose it): keeps that file beside it under a name of its own, or writes nothing.
struct UnusableSettingsGuard {
    // Judges the file as read under the writers' lock: its settings object, nullopt when it
    // holds none (an empty file is an empty object).
    std::function<bool(const std::optional<nlohmann::json>& settings)> isUnusable;
    // "YYYYMMDDTHHMMSSZ" of now; the kept file is named settings path + ".unreadable-" + stamp.
    std::function<std::string()> fileStamp;
    std::function<void(const std::string& line)> log;
    // When a write replaces this member, its old value is judged from parser events by a fresh
    // judge from memberJudge instead of being built; a value the judge does not approve is
    // judged again the general way. No judge: every write builds the whole old file.
    std::string judgedMember;
    std::function<std::unique_ptr<MemberEvents>()> memberJudge;
    // Where writes of the judged member remember what they committed; none: nothing is kept.
    std::shared_ptr<CommittedSettings> committed;
};

enum class SettingsWrite {
    written,
    failed, // nothing replaced: no lock, no room, no permission
    unusableNotKept, // nothing replaced: the unusable file could not be kept aside
};

SettingsWrite writeSettingsFile(const std::filesystem::path& settingsPath,
    const nlohmann::json& settings, const UnusableSettingsGuard& guard);

// Reads the settings (an unreadable file counts as an empty object), lets change edit them
// and writes them back, all under the writers' lock.
SettingsWrite updateSettingsFile(const std::filesystem::path& settingsPath,
    const UnusableSettingsGuard& guard, const std::function<void(nlohmann::json&)>& change);

// Writes the value of one top-level member as indented JSON text at the given indentation.
using MemberWriter = std::function<void(std::string& out, std::size_t indentSpaces)>;

// As updateSettingsFile, setting the member key to the text writeValue produces.
SettingsWrite replaceSettingsMember(const std::filesystem::path& settingsPath,
    const std::string& key, const MemberWriter& writeValue, const UnusableSettingsGuard& guard);

// The settings text replaceSettingsMember writes over a file that held settingsText.
std::string settingsTextWithMember(
    const std::string& settingsText, const std::string& key, const MemberWriter& writeValue);

// The raw text of "settings.json"; nullopt when it cannot be opened (a missing file among
// others).
std::optional<std::string> readSettingsText(const std::filesystem::path& settingsPath);

// The value of one top-level member of the settings object in a text, the other members
// passed over unread; nullopt when the text is no object or lacks the member.
std::optional<nlohmann::json> parseSettingsMember(const std::string& text, const std::string& key);

// The settings object in a text without the member key, whose value goes to judge as parser
// events instead of being built. Nullopt when the text is no object, or holds the member and
// the judge gave up on it or did not approve it; an empty text is an empty object.
std::optional<nlohmann::json> parseSettingsJudgingMember(
    const std::string& text, const std::string& key, MemberEvents& judge);

// The settings object in a text; an empty text is an empty object.
std::optional<nlohmann::json> parseSettingsText(const std::string& text);

} // namespace kovrkit

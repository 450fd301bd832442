#include "host/sites/settings_file.h"

#include "common/posix/atomic_replace.h"
#include "host/platform/file_access.h"
#include "host/sites/sites_text.h"

#include <fstream>
#include <sstream>

namespace kovrkit {

using nlohmann::json;

namespace {

constexpr std::size_t kIndent = 2;

// Deeper than any settings this host writes (the deepest sites tree included), and shallow
// enough that serialising the value again cannot exhaust the stack.
constexpr std::size_t kMaxSettingsNesting = 2048;

bool nestsDeeperThan(std::string_view text, std::size_t limit)
{
    std::size_t depth = 0;
    bool inString = false;
    for (std::size_t index = 0; index < text.size(); ++index) {
        const char character = text[index];
        if (inString) {
            if (character == '\\')
                ++index;
            else if (character == '"')
                inString = false;
        } else if (character == '"') {
            inString = true;
        } else if (character == '[' || character == '{') {
            if (++depth > limit)
                return true;
        } else if ((character == ']' || character == '}') && depth > 0) {
            --depth;
        }
    }
    return false;
}

// Builds the settings object from parser events, passing over top-level members without
// building their values: without a judge all but the named one (a load reads only the stored
// tree); with a judge the named one, whose events go to the judge instead (a save replaces it
// and only needs to know whether the old one may be lost).
class SettingsMemberFilter {
public:
    SettingsMemberFilter(const std::string& key, MemberEvents* judge = nullptr)
        : key_(key)
        , judge_(judge)
    {
    }

    json settings;

    bool null() { return judging() ? judge_->null() && judged() : add(nullptr); }
    bool boolean(bool value) { return judging() ? judge_->boolean() && judged() : add(value); }
    bool number_integer(json::number_integer_t value)
    {
        return judging() ? judge_->number() && judged() : add(value);
    }
    bool number_unsigned(json::number_unsigned_t value)
    {
        return judging() ? judge_->number() && judged() : add(value);
    }
    bool number_float(json::number_float_t value, const std::string&)
    {
        return judging() ? judge_->number() && judged() : add(value);
    }
    bool string(std::string& value)
    {
        return judging() ? judge_->string(value) && judged() : add(std::move(value));
    }
    bool binary(json::binary_t&) { return false; }
    bool start_object(std::size_t) { return judging() ? enterJudged(true) : open(json::object()); }
    bool start_array(std::size_t) { return judging() ? enterJudged(false) : open(json::array()); }
    bool end_object() { return judging() ? leaveJudged() : close(); }
    bool end_array() { return judging() ? leaveJudged() : close(); }

    bool key(std::string& name)
    {
        if (judging())
            return judge_->key(name);
        if (skipDepth_ > 0)
            return true;
        if (open_.size() == 1 && judge_) {
            if (name == key_) {
                if (judgeSeen_)
                    return false; // the library keeps the last of repeated members
                judgeSeen_ = true;
                judgeNext_ = true;
            }
            skipNext_ = false;
        } else {
            skipNext_ = open_.size() == 1 && name != key_;
        }
        memberKey_ = std::move(name);
        return true;
    }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&)
    {
        return false;
    }

    bool judgedMemberFound() const { return judgeSeen_; }

private:
    bool judging() const { return judgeNext_ || judgeDepth_ > 0; }
    // A scalar taken by the judge completes the value when it is the member itself.
    bool judged()
    {
        judgeNext_ = false;
        return true;
    }
    bool enterJudged(bool object)
    {
        judgeNext_ = false;
        ++judgeDepth_;
        return judge_->startContainer(object);
    }
    bool leaveJudged()
    {
        --judgeDepth_;
        return judge_->endContainer();
    }

    // Stores the value where the parser stands; null when it is skipped.
    json* place(json&& value)
    {
        if (skipDepth_ > 0 || skipNext_) {
            skipNext_ = false;
            return nullptr;
        }
        if (open_.empty()) {
            settings = std::move(value);
            return &settings;
        }
        json& parent = *open_.back();
        if (parent.is_array()) {
            parent.push_back(std::move(value));
            return &parent.back();
        }
        json& member = parent[memberKey_];
        member = std::move(value);
        return &member;
    }

    bool add(json&& value)
    {
        place(std::move(value));
        return true;
    }

    bool open(json&& container)
    {
        if (skipDepth_ > 0) {
            ++skipDepth_;
            return true;
        }
        if (open_.size() >= kMaxSettingsNesting)
            return false;
        const bool skipped = skipNext_;
        json* placed = place(std::move(container));
        if (skipped)
            skipDepth_ = 1;
        else
            open_.push_back(placed);
        return true;
    }

    bool close()
    {
        if (skipDepth_ > 0)
            --skipDepth_;
        else
            open_.pop_back();
        return true;
    }

    const std::string& key_;
    MemberEvents* judge_;
    std::vector<json*> open_;
    std::string memberKey_;
    int skipDepth_ = 0;
    bool skipNext_ = false;
    bool judgeNext_ = false;
    bool judgeSeen_ = false;
    int judgeDepth_ = 0;
};

// The writers' lock and the settings about to be replaced: an empty object when there is no
// file, nullopt when it holds no JSON object. No lock when nothing may be written, and then
// the reason.
struct LockedSettings {
    std::unique_ptr<kovru::AtomicReplacement> replacement;
    std::optional<json> settings = json::object();
    SettingsWrite refusal = SettingsWrite::failed;
};

bool keepAside(const std::filesystem::path& settingsPath, const std::string* text,
    const UnusableSettingsGuard& guard)
{
    const std::string path = settingsPath.string();
    const std::string stem = path + ".unreadable-" + guard.fileStamp();
    const auto kept = keepFileAside(path, text, [&stem](int attempt) {
        return attempt == 0 ? stem : stem + "-" + std::to_string(attempt + 1);
    });
    if (!kept) {
        guard.log("kovrkit: " + path
            + " holds no usable settings and could not be kept aside; it was not replaced");
        return false;
    }
    guard.log("kovrkit: " + path + " held no usable settings; kept it as " + *kept
        + " before replacing it");
    return true;
}

// The settings in the old file without the member a write replaces, that member judged from
// parser events (the general way builds the whole file, and a large tree costs a second
// parse's worth of time); nothing when the judge did not approve it or is not for that member.
std::optional<json> quicklyJudgedSettings(
    const std::string& text, const std::string* replacedKey, const UnusableSettingsGuard& guard)
{
    if (!replacedKey || !guard.memberJudge || *replacedKey != guard.judgedMember)
        return std::nullopt;
    auto settings = parseSettingsJudgingMember(text, *replacedKey, *guard.memberJudge());
    if (!settings || guard.isUnusable(settings))
        return std::nullopt;
    return settings;
}

bool replacesJudgedMember(const std::string* replacedKey, const UnusableSettingsGuard& guard)
{
    return replacedKey && guard.committed && *replacedKey == guard.judgedMember;
}

// Takes the writers' lock and reads the file it guards. A file the host cannot use is kept
// aside before anything replaces it; a missing file needs nothing.
LockedSettings lockSettings(const std::filesystem::path& settingsPath,
    const UnusableSettingsGuard& guard, const std::string* replacedKey = nullptr)
{
    LockedSettings locked;
    locked.replacement
        = kovru::AtomicReplacement::begin(settingsPath, temporarySettingsPath(settingsPath));
    if (!locked.replacement)
        return locked;
    std::string text;
    const bool read = readWholeFile(settingsPath.string(), text, kSettingsFileLimit);
    if (!read && !fileExists(settingsPath.string()))
        return locked;
    if (read) {
        if (replacesJudgedMember(replacedKey, guard)) {
            if (auto unchanged = guard.committed->othersIfUnchanged(text)) {
                locked.settings = std::move(unchanged);
                return locked;
            }
        }
        if (auto quick = quicklyJudgedSettings(text, replacedKey, guard)) {
            locked.settings = std::move(quick);
            return locked;
        }
        locked.settings = parseSettingsText(text);
        if (!guard.isUnusable(locked.settings))
            return locked;
    }
    if (!keepAside(settingsPath, read ? &text : nullptr, guard)) {
        locked.replacement.reset();
        locked.refusal = SettingsWrite::unusableNotKept;
    }
    return locked;
}

SettingsWrite commit(LockedSettings& locked, std::string_view content)
{
    return locked.replacement->commit(content) ? SettingsWrite::written : SettingsWrite::failed;
}

void appendMember(std::string& out, const std::string& key, bool first)
{
    out += first ? "\n" : ",\n";
    out.append(kIndent, ' ');
    appendJsonString(out, key);
    out += ": ";
}

// A value serialised on its own, its inner lines shifted right to sit inside the object.
void appendNested(std::string& out, const json& value)
{
    for (const char character : serializeSettings(value)) {
        out += character;
        if (character == '\n')
            out.append(kIndent, ' ');
    }
}

// The settings object: the other members as they were and the member key as writeValue writes
// it, in ascending order of their names.
std::string settingsTextOf(
    const json& others, const std::string& key, const MemberWriter& writeValue)
{
    std::string out = "{";
    bool written = false;
    for (const auto& [name, value] : others.items()) {
        if (!written && key < name) {
            appendMember(out, key, out.size() == 1);
            writeValue(out, kIndent);
            written = true;
        }
        appendMember(out, name, out.size() == 1);
        appendNested(out, value);
    }
    if (!written) {
        appendMember(out, key, out.size() == 1);
        writeValue(out, kIndent);
    }
    out += "\n}";
    return out;
}

} // namespace

void CommittedSettings::remember(std::string text, json others)
{
    std::lock_guard lock(mutex_);
    last_ = Committed { std::move(text), std::move(others) };
}

std::optional<json> CommittedSettings::othersIfUnchanged(const std::string& text) const
{
    std::lock_guard lock(mutex_);
    if (!last_ || text != last_->text)
        return std::nullopt;
    return last_->others;
}

std::optional<std::string> readSettingsText(const std::filesystem::path& path)
{
    std::string text;
    if (!readWholeFile(path.string(), text, kSettingsFileLimit))
        return std::nullopt;
    return text;
}

std::optional<json> parseSettingsText(const std::string& content)
{
    if (content.empty())
        return json::object();
    if (nestsDeeperThan(content, kMaxSettingsNesting))
        return std::nullopt;
    json settings = json::parse(content, nullptr, false);
    if (settings.is_discarded() || !settings.is_object())
        return std::nullopt;
    return settings;
}

std::optional<json> parseSettingsMember(const std::string& text, const std::string& key)
{
    SettingsMemberFilter handler(key);
    if (!json::sax_parse(text, &handler) || !handler.settings.is_object())
        return std::nullopt;
    const auto member = handler.settings.find(key);
    if (member == handler.settings.end())
        return std::nullopt;
    return std::move(*member);
}

std::optional<json> parseSettingsJudgingMember(
    const std::string& text, const std::string& key, MemberEvents& judge)
{
    if (text.empty())
        return json::object();
    SettingsMemberFilter handler(key, &judge);
    if (!json::sax_parse(text, &handler) || !handler.settings.is_object())
        return std::nullopt;
    if (handler.judgedMemberFound() && !judge.approved())
        return std::nullopt;
    return std::move(handler.settings);
}

std::filesystem::path temporarySettingsPath(const std::filesystem::path& settingsPath)
{
    auto temporary = settingsPath;
    temporary += ".tmp";
    return temporary;
}

std::optional<json> readSettingsFile(const std::filesystem::path& settingsPath)
{
    const auto content = readSettingsText(settingsPath);
    if (!content)
        return json::object();
    return parseSettingsText(*content);
}

std::string serializeSettings(const json& settings)
{
    return settings.dump(2, ' ', false, json::error_handler_t::replace);
}

SettingsWrite writeSettingsFile(const std::filesystem::path& settingsPath, const json& settings,
    const UnusableSettingsGuard& guard)
{
    if (!settings.is_object())
        return SettingsWrite::failed;
    auto locked = lockSettings(settingsPath, guard);
    if (!locked.replacement)
        return locked.refusal;
    return commit(locked, serializeSettings(settings));
}

SettingsWrite updateSettingsFile(const std::filesystem::path& settingsPath,
    const UnusableSettingsGuard& guard, const std::function<void(json&)>& change)
{
    auto locked = lockSettings(settingsPath, guard);
    if (!locked.replacement)
        return locked.refusal;
    json settings = std::move(locked.settings).value_or(json::object());
    change(settings);
    return commit(locked, serializeSettings(settings));
}

SettingsWrite replaceSettingsMember(const std::filesystem::path& settingsPath,
    const std::string& key, const MemberWriter& writeValue, const UnusableSettingsGuard& guard)
{
    auto locked = lockSettings(settingsPath, guard, &key);
    if (!locked.replacement)
        return locked.refusal;
    json others = std::move(locked.settings).value_or(json::object());
    others.erase(key);
    std::string text = settingsTextOf(others, key, writeValue);
    const SettingsWrite written = commit(locked, text);
    // A failed write left the old file, which the memory still describes if it was ours.
    if (written == SettingsWrite::written && replacesJudgedMember(&key, guard))
        guard.committed->remember(std::move(text), std::move(others));
    return written;
}

std::string settingsTextWithMember(
    const std::string& settingsText, const std::string& key, const MemberWriter& writeValue)
{
    json others = parseSettingsText(settingsText).value_or(json::object());
    others.erase(key);
    return settingsTextOf(others, key, writeValue);
}

} // namespace kovrkit

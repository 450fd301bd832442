#include "host/sites/settings_file.h"

#include "common/posix/atomic_replace.h"
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
// building their values: either the one named (a save replaces the stored tree without
// reading the old one) or all others (a load reads only the stored tree).
class SettingsMemberFilter {
public:
    enum class Keep : bool { allButMember, memberOnly };

    SettingsMemberFilter(const std::string& key, Keep keep)
        : key_(key)
        , keep_(keep)
    {
    }

    json settings;

    bool null() { return add(nullptr); }
    bool boolean(bool value) { return add(value); }
    bool number_integer(json::number_integer_t value) { return add(value); }
    bool number_unsigned(json::number_unsigned_t value) { return add(value); }
    bool number_float(json::number_float_t value, const std::string&) { return add(value); }
    bool string(std::string& value) { return add(std::move(value)); }
    bool binary(json::binary_t&) { return false; }
    bool start_object(std::size_t) { return open(json::object()); }
    bool start_array(std::size_t) { return open(json::array()); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }

    bool key(std::string& name)
    {
        if (skipDepth_ > 0)
            return true;
        skipNext_ = open_.size() == 1 && (name == key_) == (keep_ == Keep::allButMember);
        memberKey_ = std::move(name);
        return true;
    }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&)
    {
        return false;
    }

private:
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
    const Keep keep_;
    std::vector<json*> open_;
    std::string memberKey_;
    int skipDepth_ = 0;
    bool skipNext_ = false;
};

// The settings without the member key; a text that holds no object gives an empty object.
json settingsWithout(const std::string& text, const std::string& key)
{
    if (text.empty())
        return json::object();
    SettingsMemberFilter handler(key, SettingsMemberFilter::Keep::allButMember);
    if (!json::sax_parse(text, &handler) || !handler.settings.is_object())
        return json::object();
    return std::move(handler.settings);
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

std::optional<std::string> readSettingsText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return std::move(content).str();
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
    SettingsMemberFilter handler(key, SettingsMemberFilter::Keep::memberOnly);
    if (!json::sax_parse(text, &handler) || !handler.settings.is_object())
        return std::nullopt;
    const auto member = handler.settings.find(key);
    if (member == handler.settings.end())
        return std::nullopt;
    return std::move(*member);
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

bool writeSettingsFile(const std::filesystem::path& settingsPath, const json& settings)
{
    if (!settings.is_object())
        return false;
    auto replacement
        = kovru::AtomicReplacement::begin(settingsPath, temporarySettingsPath(settingsPath));
    return replacement && replacement->commit(serializeSettings(settings));
}

bool updateSettingsFile(
    const std::filesystem::path& settingsPath, const std::function<void(json&)>& change)
{
    auto replacement
        = kovru::AtomicReplacement::begin(settingsPath, temporarySettingsPath(settingsPath));
    if (!replacement)
        return false;
    json settings = readSettingsFile(settingsPath).value_or(json::object());
    change(settings);
    return replacement->commit(serializeSettings(settings));
}

bool replaceSettingsMember(const std::filesystem::path& settingsPath, const std::string& key,
    const MemberWriter& writeValue)
{
    auto replacement
        = kovru::AtomicReplacement::begin(settingsPath, temporarySettingsPath(settingsPath));
    if (!replacement)
        return false;
    // The old text is let go before the new one is written.
    const json others
        = settingsWithout(readSettingsText(settingsPath).value_or(std::string()), key);
    return replacement->commit(settingsTextOf(others, key, writeValue));
}

std::string settingsTextWithMember(
    const std::string& settingsText, const std::string& key, const MemberWriter& writeValue)
{
    return settingsTextOf(settingsWithout(settingsText, key), key, writeValue);
}

} // namespace kovrkit

#include "host/sites/settings_file.h"

#include "host/sites/atomic_replace.h"
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

// The settings without the member key, which is skipped unparsed; an unreadable file gives
// an empty object.
json settingsWithout(const std::filesystem::path& settingsPath, const std::string& key)
{
    const auto text = readSettingsText(settingsPath);
    if (!text || text->empty() || nestsDeeperThan(*text, kMaxSettingsNesting))
        return json::object();
    const json::parser_callback_t skipKey = [&key](int depth, json::parse_event_t event, json& parsed) {
        return !(depth == 1 && event == json::parse_event_t::key && parsed == key);
    };
    json settings = json::parse(*text, skipKey, false);
    if (settings.is_discarded() || !settings.is_object())
        return json::object();
    settings.erase(key);
    return settings;
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
    auto replacement = AtomicReplacement::begin(settingsPath, temporarySettingsPath(settingsPath));
    return replacement && replacement->commit(serializeSettings(settings));
}

bool updateSettingsFile(const std::filesystem::path& settingsPath,
                        const std::function<void(json&)>& change)
{
    auto replacement = AtomicReplacement::begin(settingsPath, temporarySettingsPath(settingsPath));
    if (!replacement)
        return false;
    json settings = readSettingsFile(settingsPath).value_or(json::object());
    change(settings);
    return replacement->commit(serializeSettings(settings));
}

bool replaceSettingsMember(const std::filesystem::path& settingsPath, const std::string& key,
                           const MemberWriter& writeValue)
{
    auto replacement = AtomicReplacement::begin(settingsPath, temporarySettingsPath(settingsPath));
    if (!replacement)
        return false;
    const json others = settingsWithout(settingsPath, key);
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
    return replacement->commit(out);
}

} // namespace kovrkit

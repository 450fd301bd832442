#include "host/sites/settings_file.h"

#include "host/sites/atomic_replace.h"

#include <fstream>
#include <iterator>

namespace kovrkit {

using nlohmann::json;

namespace {

// nullopt when the file cannot be opened (a missing file among others).
std::optional<std::string> readWholeFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad())
        return std::nullopt;
    return content;
}

std::optional<json> parseSettings(const std::string& content)
{
    if (content.empty())
        return json::object();
    json settings = json::parse(content, nullptr, false);
    if (settings.is_discarded() || !settings.is_object())
        return std::nullopt;
    return settings;
}

} // namespace

std::filesystem::path temporarySettingsPath(const std::filesystem::path& settingsPath)
{
    auto temporary = settingsPath;
    temporary += ".tmp";
    return temporary;
}

std::optional<json> readSettingsFile(const std::filesystem::path& settingsPath)
{
    const auto content = readWholeFile(settingsPath);
    if (!content)
        return json::object();
    return parseSettings(*content);
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

} // namespace kovrkit

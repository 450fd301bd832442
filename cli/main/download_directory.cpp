#include "cli/main/download_directory.h"

#include "common/posix/input_file.h"

#include <cstdlib>
#include <string_view>

namespace kovru {
namespace {

// user-dirs.dirs holds a dozen short lines.
constexpr std::uint64_t kUserDirsMaxSize = 64 * 1024;

std::optional<std::string> environment(const char* name)
{
    const char* value = std::getenv(name);
    if (!value || !*value)
        return std::nullopt;
    return std::string(value);
}

// A user-dirs.dirs value: "$HOME/rest" or an absolute path, in double quotes.
std::optional<std::string> expand_user_dir(std::string_view quoted, const std::string& home)
{
    if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"')
        return std::nullopt;
    std::string_view path = quoted.substr(1, quoted.size() - 2);
    constexpr std::string_view kHomePrefix = "$HOME";
    if (path.starts_with(kHomePrefix)) {
        std::string_view rest = path.substr(kHomePrefix.size());
        if (!rest.empty() && rest.front() != '/')
            return std::nullopt;
        return home + std::string(rest);
    }
    if (path.starts_with('/'))
        return std::string(path);
    return std::nullopt;
}

std::optional<std::string> configured_download_directory(const std::string& home)
{
    std::string config_home = environment("XDG_CONFIG_HOME").value_or(home + "/.config");
    InputBytes file = read_input_file(config_home + "/user-dirs.dirs", kUserDirsMaxSize);
    const std::string content
        = file.bytes ? std::string(file.bytes->begin(), file.bytes->end()) : "";
    constexpr std::string_view key = "XDG_DOWNLOAD_DIR=";
    std::optional<std::string> found;
    for (std::size_t start = 0; start < content.size();) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        const std::string_view text = std::string_view(content).substr(start, end - start);
        start = end + 1;
        if (!text.starts_with(key))
            continue;
        std::optional<std::string> expanded = expand_user_dir(text.substr(key.size()), home);
        if (expanded)
            found = std::move(expanded);
    }
    // "$HOME/" alone means the user has no download folder of its own; use the default.
    if (found && (*found == home || *found == home + "/"))
        return std::nullopt;
    return found;
}

} // namespace

std::optional<std::string> user_download_directory()
{
    std::optional<std::string> home = environment("HOME");
    if (!home)
        return std::nullopt;
    if (std::optional<std::string> configured = configured_download_directory(*home))
        return configured;
    return *home + "/Downloads";
}

} // namespace kovru

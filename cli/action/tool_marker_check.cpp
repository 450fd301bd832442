#include "cli/action/tool_marker_check.h"

#include <algorithm>
#include <optional>

namespace kovru {
namespace {

constexpr std::size_t kMaxToolNameLength = 63;

std::optional<std::string_view> tool_name(std::string_view text)
{
    constexpr std::string_view key = "\"tool_name\":";
    std::size_t at = text.find(key);
    if (at == std::string_view::npos)
        return std::nullopt;
    std::size_t open = text.find('"', at + key.size());
    if (open == std::string_view::npos)
        return std::nullopt;
    std::size_t close = text.find('"', open + 1);
    std::size_t length = (close == std::string_view::npos ? text.size() : close) - open - 1;
    return text.substr(open + 1, std::min(length, kMaxToolNameLength));
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// The number after key, once the characters that are neither digits nor '-' are skipped.
std::optional<long long> version_number(std::string_view text, std::string_view key)
{
    std::size_t at = text.find(key);
    if (at == std::string_view::npos)
        return std::nullopt;
    std::size_t i = at + key.size();
    while (i < text.size() && !is_digit(text[i]) && text[i] != '-')
        ++i;
    bool negative = i < text.size() && text[i] == '-';
    if (negative)
        ++i;
    if (i >= text.size() || !is_digit(text[i]))
        return std::nullopt;
    long long value = 0;
    for (; i < text.size() && is_digit(text[i]); ++i)
        value = value > 1'000'000'000LL ? value : value * 10 + (text[i] - '0');
    return negative ? -value : value;
}

} // namespace

bool tool_marker_accepted(std::string_view marker_text)
{
    auto name = tool_name(marker_text);
    auto major = version_number(marker_text, "\"version_major\":");
    auto minor = version_number(marker_text, "\"version_minor\":");
    auto revision = version_number(marker_text, "\"version_revision\":");
    if (!name || *name != "kovru-cli" || !major || !minor || !revision)
        return false;
    if (*major != 1)
        return *major < 1;
    if (*minor != 4)
        return *minor < 4;
    return *revision < 2;
}

} // namespace kovru

#include "cli/import/csv_fields.h"

#include "cli/json/json_pull.h"
#include "cli/log/log.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>

namespace kovru {
namespace {

std::optional<std::int64_t> token_integer(
    JsonToken token, const JsonPullReader& reader, std::int64_t null_value)
{
    switch (token) {
    case JsonToken::number: {
        const double value = std::trunc(reader.number());
        if (!(value > -9.2e18 && value < 9.2e18))
            return value > 0 ? std::numeric_limits<std::int64_t>::max()
                             : std::numeric_limits<std::int64_t>::min();
        return static_cast<std::int64_t>(value);
    }
    case JsonToken::string:
        return csv_integer(reader.text());
    case JsonToken::null_value:
        return null_value;
    default:
        return std::nullopt;
    }
}

// Steps over the rest of a nested array or object whose start was just read.
bool skip_nested(JsonPullReader& reader)
{
    int depth = 1;
    while (depth > 0) {
        const JsonToken token = reader.next();
        if (token == JsonToken::error || token == JsonToken::end)
            return false;
        if (token == JsonToken::array_start || token == JsonToken::object_start)
            ++depth;
        if (token == JsonToken::array_end || token == JsonToken::object_end)
            --depth;
    }
    return true;
}

} // namespace

std::int64_t csv_integer(std::string_view text)
{
    std::size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+'))
        negative = text[at++] == '-';
    constexpr std::int64_t limit = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        const int digit = text[at] - '0';
        value = value > (limit - digit) / 10 ? limit : value * 10 + digit;
    }
    return negative ? -value : value;
}

std::uint8_t csv_byte(std::string_view text)
{
    return static_cast<std::uint8_t>(csv_integer(text));
}

bool equals_ignoring_case(std::string_view left, std::string_view right)
{
    return std::ranges::equal(left, right, [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a))
            == std::tolower(static_cast<unsigned char>(b));
    });
}

std::optional<std::int64_t> json_integer(std::string_view text, std::int64_t null_value)
{
    JsonPullReader reader(text);
    return token_integer(reader.next(), reader, null_value);
}

std::vector<std::optional<std::int64_t>> json_integer_list(
    std::string_view text, std::int64_t null_value)
{
    std::vector<std::optional<std::int64_t>> list;
    JsonPullReader reader(text);
    if (reader.next() != JsonToken::array_start)
        return list;
    for (;;) {
        const JsonToken token = reader.next();
        if (token == JsonToken::array_end || token == JsonToken::end || token == JsonToken::error)
            return list;
        if (token == JsonToken::array_start || token == JsonToken::object_start) {
            list.emplace_back();
            if (!skip_nested(reader))
                return list;
            continue;
        }
        list.push_back(token_integer(token, reader, null_value));
    }
}

void store_name(std::span<std::uint8_t> field, std::string_view name, std::size_t max_bytes)
{
    const std::string_view kept = cut_utf8(name.substr(0, name.find('\0')), max_bytes);
    std::fill(field.begin(), field.end(), 0);
    std::memcpy(field.data(), kept.data(), std::min(kept.size(), field.size() - 1));
}

std::string stored_name(std::span<const std::uint8_t> field)
{
    const auto end = std::find(field.begin(), field.end(), 0);
    return { field.begin(), end };
}

bool read_comment_row(const CsvRow& row, std::string_view marker, int& version)
{
    bool comment = false;
    for (const std::string& field : row) {
        if (!field.starts_with('#'))
            continue;
        comment = true;
        if (!field.starts_with(marker))
            continue;
        const std::int64_t value = csv_integer(std::string_view(field).substr(marker.size()));
        version = value >= 0 && value <= 0xFFFF ? static_cast<int>(value) : 0;
    }
    return comment;
}

} // namespace kovru

#include "cli/main/option_lists.h"

#include "cli/json/json_pull.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace kovru {
namespace {

constexpr double kInt32Low = std::numeric_limits<std::int32_t>::min();
constexpr double kInt32High = std::numeric_limits<std::int32_t>::max();

// The leading decimal number of a text with atoi's rules, held to the 32-bit range.
std::int32_t leading_number(const std::string& text)
{
    long long value = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<std::int32_t>(std::clamp<long long>(value, kInt32Low, kInt32High));
}

std::int32_t truncated_number(double value)
{
    if (std::isnan(value))
        return 0;
    return static_cast<std::int32_t>(std::clamp(std::trunc(value), kInt32Low, kInt32High));
}

bool ends_reading(JsonToken token)
{
    return token == JsonToken::array_end || token == JsonToken::end || token == JsonToken::error;
}

} // namespace

std::vector<std::int32_t> read_channel_values(std::string_view json)
{
    std::vector<std::int32_t> values;
    JsonPullReader reader(json);
    for (JsonToken token = reader.next(); !ends_reading(token); token = reader.next()) {
        if (token == JsonToken::string)
            values.push_back(leading_number(reader.text()));
        else if (token == JsonToken::number)
            values.push_back(truncated_number(reader.number()));
    }
    return values;
}

std::vector<std::string> read_text_values(std::string_view json)
{
    std::vector<std::string> values;
    JsonPullReader reader(json);
    for (JsonToken token = reader.next(); !ends_reading(token); token = reader.next()) {
        if (token == JsonToken::string)
            values.push_back(reader.text());
    }
    return values;
}

bool is_json_text(std::string_view text)
{
    JsonPullReader reader(text);
    for (JsonToken token = reader.next();; token = reader.next()) {
        if (token == JsonToken::end)
            return true;
        if (token == JsonToken::error)
            return false;
    }
}

void replace_channel_list(std::vector<std::int32_t>& list, std::vector<std::int32_t> values)
{
    if (values.empty())
        return;
    values.erase(std::find(values.begin(), values.end(), 0), values.end());
    list = std::move(values);
}

void replace_text_list(std::vector<std::string>& list, std::vector<std::string> values)
{
    if (!values.empty())
        list = std::move(values);
}

} // namespace kovru

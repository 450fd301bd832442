#pragma once

#include <string>
#include <string_view>

namespace kovrkit {

// Text ready to sit between the quotes of a JSON string: quotation mark, reverse solidus, tab,
// line feed and carriage return get their short escapes, every other control character the
// \u00XX form, and bytes that are not UTF-8 become U+FFFD, so the result is always valid JSON.
std::string escapeJsonText(std::string_view text);

inline const char* jsonBool(bool value)
{
    return value ? "true" : "false";
}

} // namespace kovrkit

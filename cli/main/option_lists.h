// The list-valued options read their values as JSON text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kovru {

// Channel numbers from JSON: a string gives its leading decimal number (0 when there is
// none), a number is truncated toward zero. Reading stops at the first array end, the end of
// the text or a parse error; a 0 entry ends the list there. Every entry read is returned,
// zeros included, so the caller can tell "no value" from "a value that ends the list".
std::vector<std::int32_t> read_channel_values(std::string_view json);

// Decoded JSON strings, in order, with the same stopping rules; numbers are ignored.
std::vector<std::string> read_text_values(std::string_view json);

// Whether the whole text is one JSON value (RFC 8259), nothing missing and nothing after it.
bool is_json_text(std::string_view text);

// A repeated list option: an occurrence that yields no value keeps the earlier list.
void replace_channel_list(std::vector<std::int32_t>& list, std::vector<std::int32_t> values);
void replace_text_list(std::vector<std::string>& list, std::vector<std::string> values);

} // namespace kovru

// How the import reads the values of a CSV field: decimal integers, bytes, JSON values and
// JSON lists, names and the comment rows that carry a file's version marker.
#pragma once

#include "cli/import/csv_reader.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kovru {

// Leading blanks, an optional sign and decimal digits; anything else reads as 0. Values past
// the 64-bit range stop at its ends.
std::int64_t csv_integer(std::string_view text);
// The integer truncated to 8 bits.
std::uint8_t csv_byte(std::string_view text);
bool equals_ignoring_case(std::string_view left, std::string_view right);

// One JSON value as a number: a number (truncated toward zero) or a string read as
// csv_integer; null gives null_value. Absent for anything else or for text that is not JSON.
std::optional<std::int64_t> json_integer(std::string_view text, std::int64_t null_value);

// The elements of a JSON array, each as json_integer would read it (null gives null_value,
// other elements are absent). Nested arrays and objects count as one absent element.
// Text that is not an array, or an empty field, gives an empty list.
std::vector<std::optional<std::int64_t>> json_integer_list(
    std::string_view text, std::int64_t null_value);

// The name as stored: at most max_bytes bytes, never ending inside a UTF-8 sequence, then
// zeros up to the end of the field (whose last byte is always zero).
void store_name(std::span<std::uint8_t> field, std::string_view name, std::size_t max_bytes);
// The text of a stored name: the bytes up to the first zero.
std::string stored_name(std::span<const std::uint8_t> field);

// True when any field begins with "#". When one of them begins with the marker, version
// takes the number after it.
bool read_comment_row(const CsvRow& row, std::string_view marker, int& version);

} // namespace kovru

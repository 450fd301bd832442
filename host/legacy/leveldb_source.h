// The legacy database read as a database: a private copy of the folder is opened with
// libleveldb and every current entry's value is judged like the bytes of a file. This finds
// trees that the byte search cannot see inside compressed table blocks.
#pragma once

#include "host/legacy/candidate_evaluation.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kovrkit {

// A Local Storage value: a leading 0 marks UTF-16 little endian text, a leading 1 Latin-1;
// anything else is taken as it is.
std::string decodeLocalStorageValue(std::string_view value);

// The best value over the database's entries in key order (the first of equal scores); nothing
// when the copy cannot be made or opened, or no entry yields a value. The copy is removed.
std::optional<ScoredValue> bestOfDatabase(const std::filesystem::path& directory);

} // namespace kovrkit

// The byte search over the legacy files, one whole file in memory at a time.
#pragma once

#include "host/legacy/candidate_evaluation.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kovrkit {

// The best value of one byte string: candidates from the last found to the first, a later
// one replacing the best only with a strictly greater score.
std::optional<ScoredValue> bestOfBytes(std::string_view bytes);

// Over files given newest first: a file replaces the best only with a strictly greater score,
// so the newest file wins a tie. Unreadable and empty files are skipped.
std::optional<ScoredValue> bestOfFiles(const std::vector<std::filesystem::path>& newestFirst);

// At most kLegacyFileLimit bytes of a regular file; nothing for anything else.
std::optional<std::string> readWholeFile(const std::filesystem::path& file);

} // namespace kovrkit

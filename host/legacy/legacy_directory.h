// Where the legacy tool kept its Local Storage database, and which of its files are read.
#pragma once

#include <filesystem>
#include <vector>

namespace kovrkit {

// The Local AppData folder followed by the legacy tool's Local Storage folder; empty when the
// Local AppData folder is unknown.
std::filesystem::path legacyLevelDbDirectory(const std::filesystem::path& localAppData);

// ".log" and ".ldb" in any case.
bool isLevelDbFileName(const std::filesystem::path& file);

// True at the first regular ".log"/".ldb" file directly inside `directory`. Errors other
// than "not found" throw std::filesystem::filesystem_error.
bool containsLevelDbFiles(const std::filesystem::path& directory);

// Every such file directly inside `directory`, newest first.
std::vector<std::filesystem::path> levelDbFilesNewestFirst(const std::filesystem::path& directory);

} // namespace kovrkit

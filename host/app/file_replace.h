#pragma once

#include <string>
#include <string_view>

namespace kovrkit {

// Writes `bytes` to a temporary file beside `path`, flushes it to disk and renames it over
// `path`, so that a crash at any moment leaves either the old file or the new one. On failure
// the old file is untouched and the temporary file is removed.
bool replaceFileAtomically(const std::string& path, std::string_view bytes);

// The whole content of the file; nothing when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::string& bytes);

bool fileExists(const std::string& path);

} // namespace kovrkit

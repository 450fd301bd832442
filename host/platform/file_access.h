#pragma once

#include <string>
#include <string_view>

namespace kovrkit {

// Replaces `path` with `bytes` through an AtomicReplacement whose temporary file is `path`
// with ".tmp" appended: a crash at any moment leaves either the old file or the new one, the
// old file's permissions carry over, and on failure the old file is untouched.
bool replaceFileAtomically(const std::string& path, std::string_view bytes);

// The whole content of the file; nothing when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::string& bytes);

bool fileExists(const std::string& path);

} // namespace kovrkit

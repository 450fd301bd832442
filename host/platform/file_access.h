#pragma once

#include <functional>
#include <optional>
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

// Gives the file at `path` a second name that survives its replacement: the first free one of
// asideName(0), asideName(1), ... (a bounded number of tries). A hard link where the file
// system has them, else a flushed copy of `bytes` (the file's content as read; null when it
// could not be read, and then nothing is copied). Never replaces an existing file and leaves
// no partial copy behind. The name given, or nullopt when none could be given.
std::optional<std::string> keepFileAside(const std::string& path, const std::string* bytes,
    const std::function<std::string(int attempt)>& asideName);

} // namespace kovrkit

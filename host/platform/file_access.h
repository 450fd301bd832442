#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kovrkit {

// Replaces `path` with `bytes` through an AtomicReplacement whose temporary file is `path`
// with ".tmp" appended: a crash at any moment leaves either the old file or the new one, the
// old file's permissions carry over, and on failure the old file is untouched.
bool replaceFileAtomically(const std::string& path, std::string_view bytes);

// Sizes beyond which the host refuses to read a file (listed in docs/platform.md). Settings:
// above the largest file a save can write (a tree at the expanded size limits).
inline constexpr std::uint64_t kSettingsFileLimit = std::uint64_t { 1 } << 30;
inline constexpr std::uint64_t kCsvImportLimit = std::uint64_t { 4 } << 20;
inline constexpr std::uint64_t kDialogAnswersLimit = std::uint64_t { 1 } << 20;
inline constexpr std::uint64_t kUiFileLimit = std::uint64_t { 64 } << 20;
inline constexpr std::uint64_t kLegacyFileLimit = std::uint64_t { 256 } << 20;

// The whole content of a regular file of at most maxBytes, checked when it is opened and
// while it is read (a FIFO or device is refused, never waited on). False when it cannot be
// opened or read, is no regular file or is larger; refusal, when given, then says why.
bool readWholeFile(const std::string& path, std::string& bytes, std::uint64_t maxBytes,
    std::string* refusal = nullptr);

bool fileExists(const std::string& path);

// Gives the file at `path` a second name that survives its replacement: the first free one of
// asideName(0), asideName(1), ... (a bounded number of tries). A hard link where the file
// system has them, else a flushed copy of `bytes` (the file's content as read; null when it
// could not be read, and then nothing is copied). Never replaces an existing file and leaves
// no partial copy behind. The name given, or nullopt when none could be given.
std::optional<std::string> keepFileAside(const std::string& path, const std::string* bytes,
    const std::function<std::string(int attempt)>& asideName);

} // namespace kovrkit

// The few file operations of the backup library, each leaving either nothing or a whole file
// under a final name: files are written to a hidden temporary name, flushed, and linked to
// their final name, which never replaces a file that is there.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kovrkit {

enum class Placement { placed, nameTaken, failed };

// Writes the text to a hidden file in target's folder, flushes it and links it to target.
// nameTaken when target exists; failed with error set (a full disk, for example); either way
// nothing new is left behind.
Placement writeNewFile(
    const std::filesystem::path& target, std::string_view text, std::string& error);

// Gives source the name target as well (a copy, flushed, where no link can be made), without
// replacing anything; source stays.
Placement placeNewFile(
    const std::filesystem::path& source, const std::filesystem::path& target, std::string& error);

// Removes the file and flushes its folder; false when it is still there.
bool removeFile(const std::filesystem::path& path);

// Flushes a folder's entries to disk.
bool syncFolder(const std::filesystem::path& folder);

} // namespace kovrkit

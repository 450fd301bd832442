// Where the backup library is: $XDG_DATA_HOME/kovrkit/backups, or
// $HOME/.local/share/kovrkit/backups when XDG_DATA_HOME is unset, empty or not absolute.
#pragma once

#include <filesystem>
#include <optional>

namespace kovrkit {

// Nothing when neither variable gives an absolute folder.
std::optional<std::filesystem::path> backupLibraryRoot(const char* xdgDataHome, const char* home);

// From this process's environment.
std::optional<std::filesystem::path> backupLibraryRoot();

} // namespace kovrkit

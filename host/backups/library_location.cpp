#include "host/backups/library_location.h"

#include <cstdlib>

namespace kovrkit {

namespace fs = std::filesystem;

std::optional<fs::path> backupLibraryRoot(const char* xdgDataHome, const char* home)
{
    if (xdgDataHome && xdgDataHome[0] == '/')
        return fs::path(xdgDataHome) / "kovrkit" / "backups";
    if (home && home[0] == '/')
        return fs::path(home) / ".local" / "share" / "kovrkit" / "backups";
    return std::nullopt;
}

std::optional<fs::path> backupLibraryRoot()
{
    return backupLibraryRoot(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
}

} // namespace kovrkit

// Folders a run writes into that outlive it when it is killed (the library's staging folders).
// Each is held by its run through a lock (flock) on its lock file ".held", taken before the
// lock file has its name and released when the hold goes or the process ends; so a later run
// can tell what a killed run left behind from what a live one, in any process, still holds.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kovrkit {

class FolderHold {
public:
    FolderHold() = default;
    explicit FolderHold(int fd)
        : fd_(fd)
    {
    }
    FolderHold(FolderHold&& other) noexcept;
    FolderHold& operator=(FolderHold&& other) noexcept;
    FolderHold(const FolderHold&) = delete;
    FolderHold& operator=(const FolderHold&) = delete;
    ~FolderHold();

    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// A new folder prefix + six random characters in parent, held through hold. A folder that
// could not be locked (a file system without locks) is still given, unheld.
std::optional<std::filesystem::path> makeHeldFolder(const std::filesystem::path& parent,
    const std::string& prefix, FolderHold& hold, std::string& error);

// Removes every folder of parent whose name starts with prefix and that no live run holds:
// its lock file is free, or it has none (its run was killed before it took the lock, or an
// older program made it) and it has not changed for kUnheldFolderAge seconds.
void removeDeadFolders(const std::filesystem::path& parent, std::string_view prefix);

inline constexpr long kUnheldFolderAge = 24 * 60 * 60;

} // namespace kovrkit

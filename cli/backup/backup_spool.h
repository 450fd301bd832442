// The private file in the temporary folder where the entries of one backup archive wait until
// the archive is written. A run holds a lock on its spool for as long as it lives, so a later
// run can tell the spools of killed runs from those of runs still going, and remove them.
#pragma once

#include "common/posix/unique_fd.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

namespace kovru {

class BackupSpool {
public:
    // Removes the spools of dead runs, then creates this run's spool in the temporary folder.
    // nullptr with error set when it cannot be created.
    static std::unique_ptr<BackupSpool> create(std::string& error);
    ~BackupSpool();
    BackupSpool(const BackupSpool&) = delete;
    BackupSpool& operator=(const BackupSpool&) = delete;

    // Appends bytes; offset is where they start. False with error set when the write failed.
    bool append(std::span<const std::uint8_t> bytes, std::uint64_t& offset, std::string& error);

    const std::string& path() const { return path_; }

private:
    BackupSpool(UniqueFd fd, std::string path);

    UniqueFd fd_;
    std::string path_;
    std::uint64_t size_ = 0;
};

// Removes from folder every spool of ours that no live run holds.
void remove_dead_spools(const std::filesystem::path& folder);

} // namespace kovru

// A backup archive of kovru-cli read back as the controller it was taken from: the
// configuration file of every item it holds, the identity its items' "status.txt" give, and
// its flash file-system image.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kovru::sim {

// Larger archives are not read; a full backup holds a 2 MiB flash image and some hundred
// kilobytes of items.
inline constexpr std::uint64_t kLargestBackupArchive = 256ull * 1024 * 1024;

struct BackupArchive {
    // From the first item image whose "status.txt" names them; empty when none does.
    std::string model;
    std::string firmware;
    std::string serial;
    std::string mac;
    // Configuration files by device path; items the archive lacks are absent.
    std::map<std::string, std::vector<std::uint8_t>> files;
    std::optional<std::vector<std::uint8_t>> flash_fs;
};

// nullopt with a reason when the bytes are no zip archive, an entry cannot be read, an item
// image is no tar image or lacks its configuration file, or the archive holds no item. The
// identity is not checked here: it is applied as the settings "model", "firmware", ... are.
std::optional<BackupArchive> read_backup_archive(
    std::span<const std::uint8_t> zip_bytes, std::string& error);

// The same from a file: only a regular file of at most kLargestBackupArchive bytes.
std::optional<BackupArchive> load_backup_archive(const std::string& path, std::string& error);

} // namespace kovru::sim

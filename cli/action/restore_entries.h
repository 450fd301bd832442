// The reading half of put_backup: a backup archive's "tool.txt" and its configuration
// entries, each taken out of its tar image and brought to the controller's layout. Nothing
// here talks to a controller; the caller pushes each finished image.
#pragma once

#include <zip.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kovru {

// Far above any configuration item; larger entries are refused before allocating.
inline constexpr std::uint64_t kMaxArchiveEntrySize = 64ull << 20;

// The whole entry, or nothing when it is larger than kMaxArchiveEntrySize, cannot be read or
// fails its CRC.
std::optional<std::vector<std::uint8_t>> read_archive_entry(
    zip_t* zip, zip_uint64_t index, std::uint64_t size);

// False when the archive carries a "tool.txt" that this tool may not restore.
bool archive_marker_accepted(zip_t* zip);

// How many entries are named after a configuration item, the ones a restore would push.
std::size_t count_config_entries(zip_t* zip);

struct RestoreTally {
    std::size_t applicable = 0; // entries named after a configuration item
    std::size_t restored = 0; // of those, the ones push took
};

// Sends a one-file tar image holding a converted configuration file to the controller; true
// when it was taken and its restore requested.
using PushImage = std::function<bool(std::span<const std::uint8_t> image)>;

// Walks the archive's entries with the restore's progress and lines: each configuration
// item's file is read, checked, converted for firmware_version and handed to push.
RestoreTally restore_entries(
    zip_t* zip, const std::optional<std::string>& firmware_version, const PushImage& push);

} // namespace kovru

// A backup archive opened to read its configuration items one by one.
#pragma once

#include "cli/compare/config_source.h"
#include "common/zip_handles.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace kovru {

// Larger files are not taken for backups; a full one holds a 2 MiB flash snapshot and some
// hundred kilobytes of items.
inline constexpr std::uint64_t kMaxBackupFileSize = 1ull << 30;

class BackupReader : public ConfigSource {
public:
    // nullptr with error set when the path is not a regular file, is larger than
    // kMaxBackupFileSize or is not a zip archive.
    static std::unique_ptr<BackupReader> open(const std::string& path, std::string& error);

    // Entries named after no configuration item ("tool.txt", "flashfs.bin", "log.txt") are
    // not items; of two entries with one item's name the first counts.
    ItemRead read(const ConfigItem& item) override;

private:
    struct Entry {
        std::uint64_t index = 0;
        std::uint64_t size = 0;
    };
    explicit BackupReader(ZipHandle zip);

    ZipHandle zip_;
    std::array<std::optional<Entry>, kConfigItemCount> entries_ {};
};

} // namespace kovru

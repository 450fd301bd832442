// Finds the legacy tool's sites tree in its Local Storage database. The legacy files are only
// ever opened for reading, never locked or changed.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kovrkit {

inline constexpr std::string_view kNoLocalAppDataMessage = "LocalAppData path was not available";
inline constexpr std::string_view kNoLegacyDirectoryMessage
    = "Legacy LevelDB directory was not found";
inline constexpr std::string_view kNoLegacyFilesMessage
    = "No legacy LevelDB log/table files were found";
inline constexpr std::string_view kNoLegacyPayloadMessage
    = "Could not extract legacy sites payload from LevelDB files";
inline constexpr std::string_view kLegacyPayloadExtractedMessage
    = "Legacy sites payload was extracted";

struct LegacyProbe {
    std::filesystem::path directory; // also when nothing was found
    bool found = false;
};

struct LegacyExtraction {
    bool success = false;
    std::string json; // compact UTF-8 JSON text; empty on failure
    std::string message;
};

class LegacyMigrator {
public:
    // `readDatabase`: also read a private copy with libleveldb besides the byte search.
    explicit LegacyMigrator(std::filesystem::path localAppData, bool readDatabase = true);

    std::filesystem::path legacyLevelDbDirectory() const;
    // File-system errors other than "not found" throw std::filesystem::filesystem_error.
    LegacyProbe probeLegacyData() const;
    LegacyExtraction extractLegacySites() const;

private:
    std::filesystem::path localAppData_;
    bool readDatabase_;
};

} // namespace kovrkit

#include "host/legacy/legacy_migrator.h"

#include "host/legacy/legacy_directory.h"
#include "host/legacy/leveldb_source.h"
#include "host/legacy/raw_scan.h"

namespace kovrkit {

namespace fs = std::filesystem;

namespace {

LegacyExtraction failed(std::string_view message)
{
    return { false, {}, std::string(message) };
}

} // namespace

LegacyMigrator::LegacyMigrator(fs::path localAppData, bool readDatabase)
    : localAppData_(std::move(localAppData))
    , readDatabase_(readDatabase)
{
}

fs::path LegacyMigrator::legacyLevelDbDirectory() const
{
    return kovrkit::legacyLevelDbDirectory(localAppData_);
}

LegacyProbe LegacyMigrator::probeLegacyData() const
{
    fs::path directory = legacyLevelDbDirectory();
    return { directory, containsLevelDbFiles(directory) };
}

LegacyExtraction LegacyMigrator::extractLegacySites() const
{
    const fs::path directory = legacyLevelDbDirectory();
    if (directory.empty())
        return failed(kNoLocalAppDataMessage);
    if (!fs::is_directory(directory))
        return failed(kNoLegacyDirectoryMessage);
    std::vector<fs::path> files = levelDbFilesNewestFirst(directory);
    if (files.empty())
        return failed(kNoLegacyFilesMessage);

    std::optional<ScoredValue> best = bestOfFiles(files);
    if (readDatabase_) {
        // The byte search keeps a tie, so whatever it finds keeps its result.
        std::optional<ScoredValue> fromDatabase = bestOfDatabase(directory);
        if (fromDatabase && (!best || fromDatabase->score > best->score))
            best = std::move(fromDatabase);
    }
    if (!best || best->json.empty())
        return failed(kNoLegacyPayloadMessage);
    return { true, std::move(best->json), std::string(kLegacyPayloadExtractedMessage) };
}

} // namespace kovrkit

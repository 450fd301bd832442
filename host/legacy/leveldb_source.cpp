#include "host/legacy/leveldb_source.h"

#include "host/legacy/raw_scan.h"
#include "host/legacy/text_encoding.h"

#include <leveldb/db.h>
#include <leveldb/iterator.h>

#include <memory>
#include <random>
#include <system_error>

namespace kovrkit {

namespace fs = std::filesystem;

namespace {

// A folder of our own under the temporary folder, removed with its contents.
class PrivateCopy {
public:
    explicit PrivateCopy(const fs::path& source)
    {
        std::random_device entropy;
        std::error_code failed;
        for (int attempt = 0; attempt < 8 && path_.empty(); ++attempt) {
            fs::path candidate = fs::temp_directory_path(failed)
                / ("kovrkit-legacy-" + std::to_string(entropy()) + std::to_string(entropy()));
            if (!failed && fs::create_directory(candidate, failed) && !failed)
                path_ = candidate;
        }
        if (path_.empty())
            return;
        fs::permissions(path_, fs::perms::owner_all, failed);
        copied_ = copyRegularFiles(source);
    }
    ~PrivateCopy()
    {
        std::error_code ignored;
        if (!path_.empty())
            fs::remove_all(path_, ignored);
    }
    PrivateCopy(const PrivateCopy&) = delete;
    PrivateCopy& operator=(const PrivateCopy&) = delete;

    bool ready() const { return copied_; }
    const fs::path& path() const { return path_; }

private:
    bool copyRegularFiles(const fs::path& source)
    {
        std::error_code failed;
        fs::directory_iterator entries(source, failed);
        if (failed)
            return false;
        for (const fs::directory_entry& entry : entries) {
            std::error_code skipped;
            if (entry.is_regular_file(skipped))
                fs::copy_file(entry.path(), path_ / entry.path().filename(), skipped);
        }
        return true;
    }

    fs::path path_;
    bool copied_ = false;
};

std::unique_ptr<leveldb::DB> openCopy(const fs::path& folder)
{
    leveldb::Options options;
    options.create_if_missing = false;
    options.paranoid_checks = false;
    leveldb::DB* opened = nullptr;
    leveldb::Status status = leveldb::DB::Open(options, folder.string(), &opened);
    if (!status.ok()) {
        // Without its manifest the database can still be rebuilt from its log and table files.
        leveldb::RepairDB(folder.string(), options);
        status = leveldb::DB::Open(options, folder.string(), &opened);
    }
    if (!status.ok())
        return nullptr;
    return std::unique_ptr<leveldb::DB>(opened);
}

void keepBetter(std::optional<ScoredValue>& best, std::optional<ScoredValue> candidate)
{
    if (candidate && (!best || candidate->score > best->score))
        best = std::move(candidate);
}

} // namespace

std::string decodeLocalStorageValue(std::string_view value)
{
    if (value.empty())
        return {};
    if (value[0] == '\0')
        return utf16LeToUtf8(value.substr(1));
    if (value[0] == '\1')
        return latin1ToUtf8(value.substr(1));
    return std::string(value);
}

std::optional<ScoredValue> bestOfDatabase(const fs::path& directory)
{
    PrivateCopy copy(directory);
    if (!copy.ready())
        return std::nullopt;
    std::unique_ptr<leveldb::DB> database = openCopy(copy.path());
    if (!database)
        return std::nullopt;
    leveldb::ReadOptions reading;
    reading.fill_cache = false;
    std::unique_ptr<leveldb::Iterator> entry(database->NewIterator(reading));
    std::optional<ScoredValue> best;
    for (entry->SeekToFirst(); entry->Valid(); entry->Next()) {
        const leveldb::Slice raw = entry->value();
        std::string value = decodeLocalStorageValue(std::string_view(raw.data(), raw.size()));
        keepBetter(best, evaluateCandidate(value));
        keepBetter(best, bestOfBytes(value));
    }
    return best;
}

} // namespace kovrkit

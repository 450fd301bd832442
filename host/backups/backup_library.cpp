#include "host/backups/backup_library.h"

#include "host/backups/archive_contents.h"
#include "host/backups/device_key.h"
#include "host/backups/library_files.h"
#include "host/platform/file_access.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <vector>

namespace kovrkit {

namespace fs = std::filesystem;

namespace {

constexpr int kMaxIdAttempts = 1000;
// A record of all 612 items takes some 50 KB.
constexpr std::uintmax_t kMaxRecordSize = 1 << 20;
constexpr const char* kStagingFolder = ".incoming";
constexpr const char* kStagingPrefix = "run-";

// "2026-12-09T13:25:23Z" -> "20261209T132523Z"; the second one of a second gets "_2".
std::string recordId(const std::string& time, int attempt)
{
    std::string id;
    for (char c : time) {
        if (c != '-' && c != ':')
            id += c;
    }
    if (attempt > 1)
        id += "_" + std::to_string(attempt);
    return id;
}

// Order of ids: the time stamp, then the number after it.
std::pair<std::string, long> idOrder(const std::string& id)
{
    std::size_t mark = id.rfind('_');
    if (mark == std::string::npos)
        return { id, 1 };
    char* end = nullptr;
    long number = std::strtol(id.c_str() + mark + 1, &end, 10);
    if (mark + 1 == id.size() || *end != '\0')
        return { id, 1 };
    return { id.substr(0, mark), number };
}

bool idBefore(const std::string& a, const std::string& b)
{
    return idOrder(a) < idOrder(b);
}

// The ids of a device's records, oldest first.
std::vector<std::string> recordIds(const fs::path& folder)
{
    std::vector<std::string> ids;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        std::string name = entry->path().filename().string();
        if (name.starts_with(".") || !name.ends_with(".json") || name.size() <= 5)
            continue;
        ids.push_back(name.substr(0, name.size() - 5));
    }
    std::sort(ids.begin(), ids.end(), idBefore);
    return ids;
}

std::optional<BackupRecord> readRecordFile(const fs::path& folder, const std::string& id)
{
    fs::path path = folder / (id + ".json");
    std::error_code error;
    if (!fs::is_regular_file(path, error) || fs::file_size(path, error) > kMaxRecordSize || error)
        return std::nullopt;
    std::string text;
    if (!readWholeFile(path.string(), text, kMaxRecordSize))
        return std::nullopt;
    std::optional<BackupRecord> record = readRecord(text);
    if (record)
        record->id = id;
    return record;
}

} // namespace

BackupLibrary::BackupLibrary(fs::path root, int retention)
    : root_(std::move(root))
    , retention_(std::clamp(retention, 1, kMaxBackupRetention))
{
}

std::vector<std::string> BackupLibrary::devices() const
{
    std::vector<std::string> keys;
    std::error_code error;
    for (fs::directory_iterator entry(root_, error), end; !error && entry != end;
         entry.increment(error)) {
        std::string name = entry->path().filename().string();
        if (!name.starts_with(".") && entry->is_directory(error))
            keys.push_back(name);
    }
    std::sort(keys.begin(), keys.end());
    return keys;
}

std::vector<BackupRecord> BackupLibrary::records(const std::string& key) const
{
    std::vector<BackupRecord> found;
    fs::path folder = deviceFolder(key);
    for (const std::string& id : recordIds(folder)) {
        if (std::optional<BackupRecord> record = readRecordFile(folder, id))
            found.push_back(std::move(*record));
    }
    return found;
}

std::optional<BackupRecord> BackupLibrary::lastGood(const std::string& key) const
{
    fs::path folder = deviceFolder(key);
    std::vector<std::string> ids = recordIds(folder);
    for (auto id = ids.rbegin(); id != ids.rend(); ++id) {
        std::optional<BackupRecord> record = readRecordFile(folder, *id);
        if (record && record->good())
            return record;
    }
    return std::nullopt;
}

std::map<std::string, std::string> BackupLibrary::addressIndex() const
{
    std::map<std::string, std::pair<std::string, std::string>> newest; // address -> time, key
    for (const std::string& device : devices()) {
        fs::path folder = deviceFolder(device);
        std::vector<std::string> ids = recordIds(folder);
        for (auto id = ids.rbegin(); id != ids.rend(); ++id) {
            std::optional<BackupRecord> record = readRecordFile(folder, *id);
            if (!record)
                continue;
            auto [entry, added] = newest.try_emplace(record->address, record->time, device);
            if (!added && record->time > entry->second.first)
                entry->second = { record->time, device };
            break;
        }
    }
    std::map<std::string, std::string> index;
    for (const auto& [address, timeAndKey] : newest)
        index[address] = timeAndKey.second;
    return index;
}

std::optional<std::string> BackupLibrary::keyOfAddress(const std::string& address) const
{
    if (!addresses_)
        addresses_ = addressIndex();
    auto found = addresses_->find(address);
    if (found == addresses_->end())
        return std::nullopt;
    return found->second;
}

std::optional<fs::path> BackupLibrary::makeStagingFolder(std::string& error) const
{
    fs::path parent = root_ / kStagingFolder;
    std::error_code code;
    fs::create_directories(parent, code);
    if (code) {
        error = "Could not create " + parent.string() + ": " + code.message();
        return std::nullopt;
    }
    removeDeadFolders(parent, kStagingPrefix);
    FolderHold hold;
    std::optional<fs::path> folder = makeHeldFolder(parent, kStagingPrefix, hold, error);
    if (folder)
        staging_[*folder] = std::move(hold);
    return folder;
}

void BackupLibrary::removeStagingFolder(const fs::path& folder) const
{
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    staging_.erase(folder);
}

FiledBackup BackupLibrary::file(const BackupAttempt& attempt)
{
    return attempt.success ? fileSuccess(attempt) : fileFailure(attempt);
}

FiledBackup BackupLibrary::fileSuccess(const BackupAttempt& attempt)
{
    FiledBackup filed;
    std::optional<ArchiveContents> contents = readArchiveContents(attempt.archive, filed.error);
    if (!contents)
        return filed;
    filed.key = deviceKey(contents->serial, attempt.address);
    BackupRecord& record = filed.record;
    record.time = attempt.time;
    record.address = attempt.address;
    record.serial = contents->serial;
    record.model = contents->model;
    record.firmware = contents->firmware;
    record.items = std::move(contents->items);

    std::error_code code;
    fs::create_directories(deviceFolder(filed.key), code);
    if (code) {
        filed.error
            = "Could not create " + deviceFolder(filed.key).string() + ": " + code.message();
        return filed;
    }
    // Only an archive that is still there may stand for a new backup.
    std::optional<BackupRecord> previous = lastGood(filed.key);
    bool unchanged = previous && previous->items == record.items
        && fs::is_regular_file(deviceFolder(filed.key) / previous->archive, code);
    record.result = unchanged ? kBackupUnchanged : kBackupChanged;
    if (unchanged)
        record.archive = previous->archive;
    if (!store(filed, unchanged ? nullptr : &attempt.archive))
        return filed;
    if (!unchanged)
        applyRetention(filed.key);
    return filed;
}

FiledBackup BackupLibrary::fileFailure(const BackupAttempt& attempt)
{
    FiledBackup filed;
    filed.key = keyOfAddress(attempt.address).value_or(deviceKey("", attempt.address));
    BackupRecord& record = filed.record;
    record.time = attempt.time;
    record.address = attempt.address;
    record.result = kBackupFailed;
    record.cause = attempt.cause;
    record.reason = attempt.reason;
    std::error_code code;
    fs::create_directories(deviceFolder(filed.key), code);
    if (code) {
        filed.error
            = "Could not create " + deviceFolder(filed.key).string() + ": " + code.message();
        return filed;
    }
    store(filed, nullptr);
    return filed;
}

// Takes the first free id: the archive (when there is one) is linked first, then the record;
// a record that cannot be written takes its archive away again.
bool BackupLibrary::store(FiledBackup& filed, const fs::path* archive)
{
    fs::path folder = deviceFolder(filed.key);
    // After the newest id of that second, even when retention freed earlier ones.
    int first = 1;
    std::string stamp = recordId(filed.record.time, 1);
    for (const std::string& id : recordIds(folder)) {
        auto [idStamp, number] = idOrder(id);
        if (idStamp == stamp)
            first = std::max(first, static_cast<int>(std::min(number, 1000000L)) + 1);
    }
    for (int attempt = first; attempt < first + kMaxIdAttempts; ++attempt) {
        std::string id = recordId(filed.record.time, attempt);
        fs::path archivePath;
        if (archive) {
            archivePath = folder / (id + ".zip");
            Placement placed = placeNewFile(*archive, archivePath, filed.error);
            if (placed == Placement::nameTaken)
                continue;
            if (placed == Placement::failed)
                return false;
            filed.record.archive = id + ".zip";
        }
        fs::path recordPath = folder / (id + ".json");
        Placement written = writeNewFile(recordPath, recordText(filed.record), filed.error);
        if (written != Placement::placed && archive)
            removeFile(archivePath);
        if (written == Placement::nameTaken)
            continue;
        if (written == Placement::failed)
            return false;
        filed.record.id = id;
        filed.recordPath = recordPath;
        if (addresses_)
            (*addresses_)[filed.record.address] = filed.key;
        if (!filed.record.archive.empty())
            filed.archivePath = folder / filed.record.archive;
        filed.filed = true;
        return true;
    }
    filed.error = "No free record name in " + folder.string();
    return false;
}

// Records go before their archives, so no record ever names a missing archive.
void BackupLibrary::applyRetention(const std::string& key)
{
    std::vector<BackupRecord> all = records(key);
    std::vector<std::size_t> changed;
    for (std::size_t index = 0; index < all.size(); ++index) {
        if (all[index].result == kBackupChanged)
            changed.push_back(index);
    }
    if (changed.size() <= static_cast<std::size_t>(retention_))
        return;
    std::size_t cutoff = changed[changed.size() - static_cast<std::size_t>(retention_)];
    std::set<std::string> kept;
    for (std::size_t index = cutoff; index < all.size(); ++index)
        kept.insert(all[index].archive);
    fs::path folder = deviceFolder(key);
    std::set<std::string> dropped;
    for (std::size_t index = 0; index < cutoff; ++index) {
        if (!removeFile(folder / (all[index].id + ".json")))
            return;
        if (!all[index].archive.empty() && !kept.contains(all[index].archive))
            dropped.insert(all[index].archive);
    }
    for (const std::string& archive : dropped)
        removeFile(folder / archive);
}

} // namespace kovrkit

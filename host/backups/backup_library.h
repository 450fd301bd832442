// The backup library: one folder per device (docs/backup_library.md), each backup a record
// "<id>.json" and, when its items changed, its archive "<id>.zip". A backup whose items equal
// those of the device's last good backup stores only its record, naming the earlier archive.
// Retention keeps the newest K changed backups of a device and every record after the oldest
// of them. Every file is written whole under a hidden name first; a failed write (a full
// disk) leaves the library as it was.
#pragma once

#include "host/backups/backup_record.h"
#include "host/backups/held_folder.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kovrkit {

inline constexpr int kDefaultBackupRetention = 30;
inline constexpr int kMaxBackupRetention = 10000;

// One finished backup run, to be filed.
struct BackupAttempt {
    std::string address;
    std::string time; // UTC, "2026-12-09T13:25:23Z"
    // For a success: the archive the tool wrote (left where it is; the caller removes it).
    std::filesystem::path archive;
    bool success = false;
    std::string cause; // of a failure
    std::string reason;
};

struct FiledBackup {
    bool filed = false;
    std::string error; // when not filed
    std::string key; // the device's folder name
    BackupRecord record;
    std::filesystem::path recordPath;
    std::filesystem::path archivePath; // of the archive holding its items; empty for none
    bool changed() const { return record.result == kBackupChanged; }
};

// One thread at a time (the host's main thread, or kovru-fleet's).
class BackupLibrary {
public:
    explicit BackupLibrary(std::filesystem::path root, int retention = kDefaultBackupRetention);

    const std::filesystem::path& root() const { return root_; }
    int retention() const { return retention_; }

    // Files a run: a success as changed or unchanged, a failure as a record without archive
    // (in the folder of the device last seen at that address).
    FiledBackup file(const BackupAttempt& attempt);

    // Device folder names, sorted.
    std::vector<std::string> devices() const;
    // A device's readable records, oldest first.
    std::vector<BackupRecord> records(const std::string& key) const;
    // The newest changed or unchanged record.
    std::optional<BackupRecord> lastGood(const std::string& key) const;
    // The device whose newest record names this address; nothing when none does. The first
    // call reads the newest record of every device; later ones use what it found and what
    // this object filed since.
    std::optional<std::string> keyOfAddress(const std::string& address) const;
    // The same for every address at once: address -> device (newest record wins).
    std::map<std::string, std::string> addressIndex() const;

    std::filesystem::path deviceFolder(const std::string& key) const { return root_ / key; }

    // A new private folder for a tool to write one backup into, inside the library so that
    // filing it is a link; nothing when it cannot be made. This object holds it until
    // removeStagingFolder (or its end); first it removes the staging folders no live run holds
    // (left by a host or kovru-fleet that was killed), never one another process still holds.
    std::optional<std::filesystem::path> makeStagingFolder(std::string& error) const;
    // Removes a staging folder with what is in it and lets it go.
    void removeStagingFolder(const std::filesystem::path& folder) const;

private:
    FiledBackup fileSuccess(const BackupAttempt& attempt);
    FiledBackup fileFailure(const BackupAttempt& attempt);
    bool store(FiledBackup& filed, const std::filesystem::path* archive);
    void applyRetention(const std::string& key);

    std::filesystem::path root_;
    int retention_;
    mutable std::optional<std::map<std::string, std::string>> addresses_;
    mutable std::map<std::filesystem::path, FolderHold> staging_;
};

} // namespace kovrkit

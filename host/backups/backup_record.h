// The record kept beside each backup of the library: one JSON object per backup.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kovrkit {

inline constexpr const char* kBackupChanged = "changed";
inline constexpr const char* kBackupUnchanged = "unchanged";
inline constexpr const char* kBackupFailed = "failed";

struct BackupRecord {
    std::string id; // the file name without ".json"; not stored in the text
    std::string time; // UTC, "2026-12-09T13:25:23Z"
    std::string address;
    std::string serial; // "" when the status named none
    std::string model;
    std::string firmware;
    std::string result; // kBackupChanged, kBackupUnchanged or kBackupFailed
    std::string archive; // file name in the device's folder holding these items; "" for none
    std::string cause; // of a failure, else ""
    std::string reason;
    std::map<std::string, std::string> items; // item name -> SHA-256, 64 lower-case digits

    bool good() const { return result == kBackupChanged || result == kBackupUnchanged; }
};

// The record as stored: members in name order, 2 spaces per level, a final newline.
std::string recordText(const BackupRecord& record);

// The record of a stored text; nothing when it is no JSON object, lacks "format" 1, a
// "time" or a known "result", or holds a member of the wrong type. Unknown members are
// passed over, so later versions may add some.
std::optional<BackupRecord> readRecord(std::string_view text);

} // namespace kovrkit

// The history messages to the page (docs/history.md).
#pragma once

#include "host/backups/backup_record.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kovrkit {

struct HistoryEntry {
    BackupRecord record;
    std::filesystem::path archivePath; // empty for a failed backup
};

struct ToolLine {
    std::string kind; // "plain", "success", "warning" or "error"
    std::string text;
};

// What a comparison is of: two backups, a backup and the controller, or a restore's dry run.
struct ComparisonRun {
    std::string requestId;
    std::string ip;
    std::string id;
    std::string otherId; // "" unless against is "backup"
    std::string against; // "backup", "controller" or "restore"
};

// The device's backups, newest first.
std::string historyListMessage(
    std::string_view ip, std::string_view key, const std::vector<HistoryEntry>& entries);

// exitCode as the tool ended (-1 when it could not be started); outcome "equal" (0),
// "different" (1) or "trouble" (anything else).
std::string historyComparedMessage(
    const ComparisonRun& run, int exitCode, const std::vector<ToolLine>& lines);

std::string historySimulatorOpenedMessage(std::string_view ip, std::string_view id, bool success,
    std::string_view address, std::string_view name, std::string_view message);

std::string historySimulatorClosedMessage(std::string_view address, int exitCode);

std::string historyRefusedMessage(
    std::string_view request, std::string_view requestId, std::string_view message);

} // namespace kovrkit

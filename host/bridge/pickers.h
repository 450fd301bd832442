#pragma once

#include "host/platform/dialogs.h"

#include <optional>
#include <string>

namespace kovrkit {

// The choosers a device action asks before it starts; nothing when the user cancels.
std::optional<std::string> pickBackupFolder(Dialogs& dialogs);
std::optional<std::string> pickRestoreArchive(Dialogs& dialogs);
std::optional<std::string> pickFirmwareFile(Dialogs& dialogs);
std::optional<std::string> pickDeviceFirmwareFile(Dialogs& dialogs);
std::optional<std::string> pickExportFolder(Dialogs& dialogs);
std::optional<std::string> pickCsvFile(Dialogs& dialogs);

} // namespace kovrkit

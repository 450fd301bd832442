#pragma once

namespace kovrkit {

inline constexpr const char* kBackupAction = "native_actionBackup";
inline constexpr const char* kRestoreAction = "native_actionRestore";
inline constexpr const char* kFirmwareUpgradeAction = "native_actionFirmwareUpgrade";
inline constexpr const char* kGetStatusAction = "native_actionGetStatus";

inline constexpr const char* kMissingDeviceMessage = "Missing device IP";
inline constexpr const char* kCancelledMessage = "Action cancelled";
inline constexpr const char* kBatchRestoreMessage = "Batch restore is not supported";
inline constexpr const char* kToolMissingMessage = "CLI executable not found";
inline constexpr const char* kToolFailedToRunMessage = "Failed to run CLI process";
inline constexpr const char* kToolSucceededMessage = "Action completed successfully";
inline constexpr const char* kToolFailedMessage = "Action failed";
inline constexpr const char* kUnknownActionMessage = "Unknown action";

} // namespace kovrkit

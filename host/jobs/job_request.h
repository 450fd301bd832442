#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <variant>
#include <vector>

namespace kovrkit {

inline constexpr int kDefaultJobConcurrency = 4;
inline constexpr int kMaxJobConcurrency = 32;

enum class JobAction { backup, restore, upgrade, status, audit };

inline constexpr int kDefaultVerifySeconds = 180;
inline constexpr int kMaxVerifySeconds = 86400;
inline constexpr int kMaxRolloutCount = 1000;

// How an upgrade goes through its controllers: the canary group first, then groups of
// `concurrency`; a failed canary, or `stopAfterFailures` failures, start nothing more.
struct RolloutOptions {
    int canary = 1;
    bool pauseAfterCanary = false;
    int stopAfterFailures = 1;
};

struct JobDevice {
    std::string ip; // trimmed, never empty
    std::string name;
};

// A "jobs_start" payload that passed every check.
struct JobRequest {
    JobAction action = JobAction::status;
    std::string
        actionName; // as the page sent it: "backup", "restore", "upgrade", "status", "audit"
    std::vector<JobDevice> devices; // at least one, each address once
    int concurrency = kDefaultJobConcurrency;
    std::string input; // the folder, archive or firmware file named by the options, or empty
    bool toLibrary = false; // backup: option "library" true, into the backup library
    RolloutOptions rollout; // upgrade only
    int verifySeconds = kDefaultVerifySeconds; // upgrade only: --verifyupgrade
    bool imageCheck = false; // set by the engine: only check the upgrade's firmware file
};

// Refusal texts of "jobRefused".
inline constexpr const char* kUnknownJobActionMessage = "Unknown job action";
inline constexpr const char* kNoJobDevicesMessage = "No devices given";
inline constexpr const char* kJobDeviceWithoutAddressMessage = "A device has no address";
inline constexpr const char* kJobDeviceTwiceMessage = "Device listed twice: ";
inline constexpr const char* kJobConcurrencyMessage
    = "Devices at once must be a whole number from 1 to 32";
inline constexpr const char* kJobOptionsMessage = "Job options must be an object";
inline constexpr const char* kUnknownJobOptionMessage = "Unknown job option: ";
inline constexpr const char* kJobOptionTextMessage = "Job option must be a non-empty text: ";
inline constexpr const char* kJobLibraryOptionMessage = "Job option must be true or false: library";
inline constexpr const char* kJobLibraryOrFolderMessage
    = "Choose either the backup library or a backup folder";
inline constexpr const char* kJobBatchRestoreMessage = "Batch restore is not supported";
inline constexpr const char* kNoSuchJobMessage = "No such job";
inline constexpr const char* kJobNotPausedMessage = "Job is not paused";
inline constexpr const char* kRolloutOptionsMessage = "Rollout options must be an object";
inline constexpr const char* kUnknownRolloutOptionMessage = "Unknown rollout option: ";
inline constexpr const char* kCanaryMessage = "Canary must be a whole number from 1 to 1000";
inline constexpr const char* kPauseAfterCanaryMessage = "Pause after canary must be true or false";
inline constexpr const char* kStopAfterFailuresMessage
    = "Stop after failures must be a whole number from 1 to 1000";
inline constexpr const char* kVerifySecondsMessage
    = "Verification time must be a whole number of seconds from 1 to 86400";

// The option that names the action's input ("backupFolder", "backupFile", "firmwareFile"),
// or nullptr for status and audit.
const char* inputOptionOf(JobAction action);

// The checked request, or the refusal text.
std::variant<JobRequest, std::string> readJobStart(const nlohmann::json& payload);

} // namespace kovrkit

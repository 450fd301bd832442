#pragma once

#include "host/jobs/device_run.h"

#include <optional>
#include <string>

namespace kovrkit {

inline constexpr const char* kUpToDateText = "already up to date";
inline constexpr const char* kRolloutStoppedText = "not started (rollout stopped)";
inline constexpr const char* kCanarySucceededReason = "Canary upgrade succeeded";
inline constexpr const char* kImageUnreadableReason
    = "The firmware file's model and version could not be read";

// What the tool's check of the firmware file says about the image.
struct FirmwareImage {
    std::string model;
    std::string version;
};

// The information lines the tool logs for a valid image ("model_name=...",
// "version_string=..."), gathered from its log as they come.
class FirmwareInfoLines {
public:
    void take(const std::string& line);
    // {"model_name":..,"version_string":..} as JSON text, "" until both were seen.
    std::string asData() const;

private:
    std::optional<std::string> model_;
    std::optional<std::string> version_;
};

// The image named by the data of a successful check; nothing when it names none.
std::optional<FirmwareImage> firmwareImageOf(const DeviceEnd& check);

// How a controller ends before any upload, from its status read: a failed read as it failed,
// another model refused, the image's version already there done; nothing when it needs the
// upload.
std::optional<DeviceEnd> endBeforeUpload(const FirmwareImage& image, const DeviceEnd& status);

// A controller the rollout never reached.
DeviceEnd rolloutStoppedEnd();

} // namespace kovrkit

#pragma once

#include "host/jobs/device_run.h"

#include <string>
#include <string_view>

namespace kovrkit {

// The messages of device jobs, compact JSON with the members in the documented order.

struct JobCounts {
    int32_t total = 0;
    int32_t succeeded = 0;
    int32_t failed = 0;
    int32_t cancelled = 0;
};

std::string jobStartedMessage(std::string_view jobId, std::string_view action, int32_t total);
std::string jobDeviceProgressMessage(
    std::string_view jobId, std::string_view deviceIp, int percent, std::string_view line);
std::string jobDeviceResultMessage(
    std::string_view jobId, std::string_view deviceIp, const DeviceEnd& end, double seconds);
std::string jobPausedMessage(std::string_view jobId, std::string_view reason);
std::string jobFinishedMessage(std::string_view jobId, const JobCounts& counts, double seconds);
// `request` is "jobs_start", "jobs_cancel", "jobs_resume" or "jobs_setSettings"; jobId "" when none
// applies.
std::string jobRefusedMessage(
    std::string_view request, std::string_view jobId, std::string_view message);
std::string jobSettingsMessage(int concurrency, bool saved);

} // namespace kovrkit

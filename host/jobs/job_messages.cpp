#include "host/jobs/job_messages.h"

#include <nlohmann/json.hpp>

#include <cmath>

namespace kovrkit {

using Ordered = nlohmann::ordered_json;

namespace {

std::string envelope(const char* command, Ordered payload)
{
    Ordered message;
    message["command"] = command;
    message["payload"] = std::move(payload);
    // Text that is not UTF-8 (a tool's line, a path) becomes U+FFFD instead of failing.
    return message.dump(-1, ' ', false, Ordered::error_handler_t::replace);
}

double milliseconds(double seconds)
{
    return std::round(seconds * 1000.0) / 1000.0;
}

std::string text(std::string_view view)
{
    return std::string(view);
}

} // namespace

std::string jobStartedMessage(std::string_view jobId, std::string_view action, int32_t total)
{
    Ordered payload;
    payload["jobId"] = text(jobId);
    payload["action"] = text(action);
    payload["total"] = total;
    return envelope("jobStarted", std::move(payload));
}

std::string jobDeviceProgressMessage(
    std::string_view jobId, std::string_view deviceIp, int percent, std::string_view line)
{
    Ordered payload;
    payload["jobId"] = text(jobId);
    payload["deviceIp"] = text(deviceIp);
    payload["percent"] = percent;
    payload["line"] = text(line);
    return envelope("jobDeviceProgress", std::move(payload));
}

std::string jobDeviceResultMessage(
    std::string_view jobId, std::string_view deviceIp, const DeviceEnd& end, double seconds)
{
    Ordered payload;
    payload["jobId"] = text(jobId);
    payload["deviceIp"] = text(deviceIp);
    payload["success"] = end.success;
    payload["exitCode"] = end.exitCode;
    payload["cause"] = end.cause;
    payload["reason"] = end.reason;
    payload["message"] = end.message;
    payload["seconds"] = milliseconds(seconds);
    if (!end.data.empty()) {
        Ordered data = Ordered::parse(end.data, nullptr, false);
        if (!data.is_discarded())
            payload["data"] = std::move(data);
    }
    return envelope("jobDeviceResult", std::move(payload));
}

std::string jobPausedMessage(std::string_view jobId, std::string_view reason)
{
    Ordered payload;
    payload["jobId"] = text(jobId);
    payload["reason"] = text(reason);
    return envelope("jobPaused", std::move(payload));
}

std::string jobFinishedMessage(std::string_view jobId, const JobCounts& counts, double seconds)
{
    Ordered payload;
    payload["jobId"] = text(jobId);
    payload["total"] = counts.total;
    payload["succeeded"] = counts.succeeded;
    payload["failed"] = counts.failed;
    payload["cancelled"] = counts.cancelled;
    payload["seconds"] = milliseconds(seconds);
    return envelope("jobFinished", std::move(payload));
}

std::string jobRefusedMessage(
    std::string_view request, std::string_view jobId, std::string_view message)
{
    Ordered payload;
    payload["request"] = text(request);
    payload["jobId"] = text(jobId);
    payload["message"] = text(message);
    return envelope("jobRefused", std::move(payload));
}

std::string jobSettingsMessage(int concurrency, bool saved)
{
    Ordered payload;
    payload["concurrency"] = concurrency;
    payload["saved"] = saved;
    return envelope("jobSettings", std::move(payload));
}

} // namespace kovrkit

#include "host/jobs/job_messages.h"

#include "host/bridge/json_message.h"

#include <cmath>

namespace kovrkit {

namespace {

double milliseconds(double seconds)
{
    return std::round(seconds * 1000.0) / 1000.0;
}

} // namespace

std::string jobStartedMessage(std::string_view jobId, std::string_view action, int32_t total)
{
    OrderedJson payload;
    payload["jobId"] = jobId;
    payload["action"] = action;
    payload["total"] = total;
    return commandMessage("jobStarted", std::move(payload));
}

std::string jobDeviceProgressMessage(
    std::string_view jobId, std::string_view deviceIp, int percent, std::string_view line)
{
    OrderedJson payload;
    payload["jobId"] = jobId;
    payload["deviceIp"] = deviceIp;
    payload["percent"] = percent;
    payload["line"] = line;
    return commandMessage("jobDeviceProgress", std::move(payload));
}

std::string jobDeviceResultMessage(
    std::string_view jobId, std::string_view deviceIp, const DeviceEnd& end, double seconds)
{
    OrderedJson payload;
    payload["jobId"] = jobId;
    payload["deviceIp"] = deviceIp;
    payload["success"] = end.success;
    payload["exitCode"] = end.exitCode;
    payload["cause"] = end.cause;
    payload["reason"] = end.reason;
    payload["message"] = end.message;
    payload["seconds"] = milliseconds(seconds);
    if (!end.data.empty()) {
        OrderedJson data = OrderedJson::parse(end.data, nullptr, false);
        if (!data.is_discarded())
            payload["data"] = std::move(data);
    }
    return commandMessage("jobDeviceResult", std::move(payload));
}

std::string jobPausedMessage(std::string_view jobId, std::string_view reason)
{
    OrderedJson payload;
    payload["jobId"] = jobId;
    payload["reason"] = reason;
    return commandMessage("jobPaused", std::move(payload));
}

std::string jobFinishedMessage(std::string_view jobId, const JobCounts& counts, double seconds)
{
    OrderedJson payload;
    payload["jobId"] = jobId;
    payload["total"] = counts.total;
    payload["succeeded"] = counts.succeeded;
    payload["failed"] = counts.failed;
    payload["cancelled"] = counts.cancelled;
    payload["seconds"] = milliseconds(seconds);
    return commandMessage("jobFinished", std::move(payload));
}

std::string jobRefusedMessage(
    std::string_view request, std::string_view jobId, std::string_view message)
{
    OrderedJson payload;
    payload["request"] = request;
    payload["jobId"] = jobId;
    payload["message"] = message;
    return commandMessage("jobRefused", std::move(payload));
}

std::string jobSettingsMessage(int concurrency, bool saved)
{
    OrderedJson payload;
    payload["concurrency"] = concurrency;
    payload["saved"] = saved;
    return commandMessage("jobSettings", std::move(payload));
}

std::string jobFileChosenMessage(
    std::string_view kind, std::string_view target, std::string_view path)
{
    OrderedJson payload;
    payload["kind"] = kind;
    payload["target"] = target;
    payload["chosen"] = !path.empty();
    payload["path"] = path;
    return commandMessage("fileChosen", std::move(payload));
}

} // namespace kovrkit

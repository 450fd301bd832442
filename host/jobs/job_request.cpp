#include "host/jobs/job_request.h"

#include "host/bridge/payload.h"

#include <array>
#include <optional>
#include <set>
#include <utility>

namespace kovrkit {

using nlohmann::json;

namespace {

std::optional<JobAction> actionNamed(const json& value)
{
    static const std::array<std::pair<const char*, JobAction>, 5> actions { {
        { "backup", JobAction::backup },
        { "restore", JobAction::restore },
        { "upgrade", JobAction::upgrade },
        { "status", JobAction::status },
        { "audit", JobAction::audit },
    } };
    if (!value.is_string())
        return std::nullopt;
    for (const auto& [name, action] : actions) {
        if (value == name)
            return action;
    }
    return std::nullopt;
}

// The devices, or the refusal text.
std::variant<std::vector<JobDevice>, std::string> readDevices(const json& payload)
{
    auto member = payload.find("devices");
    if (member == payload.end() || !member->is_array() || member->empty())
        return std::string(kNoJobDevicesMessage);
    std::vector<JobDevice> devices;
    std::set<std::string> seen;
    for (const json& entry : *member) {
        auto ip = entry.is_object() ? entry.find("ip") : entry.end();
        if (!entry.is_object() || ip == entry.end() || !ip->is_string())
            return std::string(kJobDeviceWithoutAddressMessage);
        std::string address(trimWhiteSpace(ip->get_ref<const std::string&>()));
        if (address.empty())
            return std::string(kJobDeviceWithoutAddressMessage);
        if (!seen.insert(address).second)
            return kJobDeviceTwiceMessage + address;
        auto name = entry.find("name");
        std::string deviceName;
        if (name != entry.end() && name->is_string())
            deviceName = name->get<std::string>();
        devices.push_back({ std::move(address), std::move(deviceName) });
    }
    return devices;
}

std::optional<int> readConcurrency(const json& payload)
{
    auto member = payload.find("concurrency");
    if (member == payload.end() || member->is_null())
        return kDefaultJobConcurrency;
    if (!member->is_number_integer())
        return std::nullopt;
    auto value = member->get<int64_t>();
    if (value < 1 || value > kMaxJobConcurrency)
        return std::nullopt;
    return static_cast<int>(value);
}

std::optional<int> wholeNumber(const json& value, int64_t lowest, int64_t highest)
{
    if (!value.is_number_integer())
        return std::nullopt;
    auto number = value.get<int64_t>();
    if (number < lowest || number > highest)
        return std::nullopt;
    return static_cast<int>(number);
}

// The rollout member of an upgrade's options; the refusal text, or "" when it is good.
std::string readRollout(const json& value, RolloutOptions& rollout)
{
    if (value.is_null())
        return "";
    if (!value.is_object())
        return kRolloutOptionsMessage;
    for (const auto& [key, member] : value.items()) {
        if (member.is_null()
            && (key == "canary" || key == "pauseAfterCanary" || key == "stopAfterFailures"))
            continue;
        if (key == "canary") {
            std::optional<int> canary = wholeNumber(member, 1, kMaxRolloutCount);
            if (!canary)
                return kCanaryMessage;
            rollout.canary = *canary;
        } else if (key == "pauseAfterCanary") {
            if (!member.is_boolean())
                return kPauseAfterCanaryMessage;
            rollout.pauseAfterCanary = member.get<bool>();
        } else if (key == "stopAfterFailures") {
            std::optional<int> failures = wholeNumber(member, 1, kMaxRolloutCount);
            if (!failures)
                return kStopAfterFailuresMessage;
            rollout.stopAfterFailures = *failures;
        } else {
            return kUnknownRolloutOptionMessage + key;
        }
    }
    return "";
}

// One member of the options; the refusal text, or "" when it is good.
std::string readOption(const std::string& key, const json& value, JobRequest& request)
{
    const char* input = inputOptionOf(request.action);
    bool upgrade = request.action == JobAction::upgrade;
    if (input && key == input) {
        if (!value.is_string() || value.get_ref<const std::string&>().empty())
            return kJobOptionTextMessage + key;
        request.input = value.get<std::string>();
        return "";
    }
    if (request.action == JobAction::backup && key == "library") {
        if (!value.is_boolean())
            return kJobLibraryOptionMessage;
        request.toLibrary = value.get<bool>();
        return "";
    }
    if (upgrade && key == "rollout")
        return readRollout(value, request.rollout);
    if (upgrade && key == "verifySeconds") {
        if (value.is_null())
            return "";
        std::optional<int> seconds = wholeNumber(value, 1, kMaxVerifySeconds);
        if (!seconds)
            return kVerifySecondsMessage;
        request.verifySeconds = *seconds;
        return "";
    }
    return kUnknownJobOptionMessage + key;
}

// The options; the refusal text, or "" when they are good. A backup also takes "library":
// true sends it to the backup library.
std::string readOptions(const json& payload, JobRequest& request)
{
    auto member = payload.find("options");
    if (member == payload.end() || member->is_null())
        return "";
    if (!member->is_object())
        return kJobOptionsMessage;
    for (const auto& [key, value] : member->items()) {
        std::string refusal = readOption(key, value, request);
        if (!refusal.empty())
            return refusal;
    }
    if (request.toLibrary && !request.input.empty())
        return kJobLibraryOrFolderMessage;
    return "";
}

} // namespace

const char* inputOptionOf(JobAction action)
{
    switch (action) {
    case JobAction::backup:
        return "backupFolder";
    case JobAction::restore:
        return "backupFile";
    case JobAction::upgrade:
        return "firmwareFile";
    case JobAction::status:
    case JobAction::audit:
        break;
    }
    return nullptr;
}

std::variant<JobRequest, std::string> readJobStart(const json& payload)
{
    JobRequest request;
    auto actionMember = payload.find("action");
    std::optional<JobAction> action
        = actionMember == payload.end() ? std::nullopt : actionNamed(*actionMember);
    if (!action)
        return std::string(kUnknownJobActionMessage);
    request.action = *action;
    request.actionName = actionMember->get<std::string>();

    auto devices = readDevices(payload);
    if (auto* refusal = std::get_if<std::string>(&devices))
        return std::move(*refusal);
    request.devices = std::get<std::vector<JobDevice>>(std::move(devices));

    std::optional<int> concurrency = readConcurrency(payload);
    if (!concurrency)
        return std::string(kJobConcurrencyMessage);
    request.concurrency = *concurrency;

    std::string refusal = readOptions(payload, request);
    if (!refusal.empty())
        return refusal;

    if (request.action == JobAction::restore && request.devices.size() > 1)
        return std::string(kJobBatchRestoreMessage);
    return request;
}

} // namespace kovrkit

#include "host/jobs/job_request.h"

#include "host/bridge/payload.h"
#include "host/jobs/line_job_options.h"

#include <array>
#include <optional>
#include <set>
#include <utility>

namespace kovrkit {

using nlohmann::json;

namespace {

std::optional<JobAction> actionNamed(const json& value)
{
    static const std::array<std::pair<const char*, JobAction>, 7> actions { {
        { "backup", JobAction::backup },
        { "restore", JobAction::restore },
        { "upgrade", JobAction::upgrade },
        { "status", JobAction::status },
        { "setupChannel", JobAction::setupChannel },
        { "exportChannel", JobAction::exportChannel },
        { "pushD2fw", JobAction::pushD2fw },
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
        auto slowLink = entry.find("slowLink");
        bool slow = slowLink != entry.end() && slowLink->is_boolean() && slowLink->get<bool>();
        devices.push_back({ std::move(address), std::move(deviceName), slow });
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

// The input named by the options ("" for none), or the refusal text.
std::variant<std::string, std::string> readInput(const json& payload, JobAction action)
{
    auto member = payload.find("options");
    if (member == payload.end() || member->is_null())
        return std::variant<std::string, std::string>(std::in_place_index<0>, "");
    if (!member->is_object())
        return std::variant<std::string, std::string>(std::in_place_index<1>, kJobOptionsMessage);
    const char* known = inputOptionOf(action);
    std::string input;
    for (const auto& [key, value] : member->items()) {
        if (isLineOption(action, key))
            continue;
        if (!known || key != known)
            return std::variant<std::string, std::string>(
                std::in_place_index<1>, kUnknownJobOptionMessage + key);
        if (!value.is_string() || value.get_ref<const std::string&>().empty())
            return std::variant<std::string, std::string>(
                std::in_place_index<1>, kJobOptionTextMessage + key);
        input = value.get<std::string>();
    }
    return std::variant<std::string, std::string>(std::in_place_index<0>, input);
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
    case JobAction::pushD2fw:
        return "firmwareFile";
    case JobAction::exportChannel:
        return "exportFolder";
    case JobAction::status:
    case JobAction::setupChannel:
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

    auto input = readInput(payload, request.action);
    if (input.index() == 1)
        return std::get<1>(std::move(input));
    request.input = std::get<0>(std::move(input));

    if (std::string refusal = readLineOptions(payload, request); !refusal.empty())
        return refusal;

    if (request.action == JobAction::restore && request.devices.size() > 1)
        return std::string(kJobBatchRestoreMessage);
    return request;
}

} // namespace kovrkit

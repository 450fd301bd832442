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
    static const std::array<std::pair<const char*, JobAction>, 4> actions { {
        { "backup", JobAction::backup },
        { "restore", JobAction::restore },
        { "upgrade", JobAction::upgrade },
        { "status", JobAction::status },
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

struct JobInput {
    std::string input;
    bool toLibrary = false;
};

// The input named by the options (none: ""), or the refusal text. A backup also takes
// "library": true sends it to the backup library.
std::variant<JobInput, std::string> readInput(const json& payload, JobAction action)
{
    auto member = payload.find("options");
    if (member == payload.end() || member->is_null())
        return JobInput {};
    if (!member->is_object())
        return std::string(kJobOptionsMessage);
    const char* known = inputOptionOf(action);
    JobInput input;
    for (const auto& [key, value] : member->items()) {
        if (action == JobAction::backup && key == "library") {
            if (!value.is_boolean())
                return std::string(kJobLibraryOptionMessage);
            input.toLibrary = value.get<bool>();
            continue;
        }
        if (!known || key != known)
            return kUnknownJobOptionMessage + key;
        if (!value.is_string() || value.get_ref<const std::string&>().empty())
            return kJobOptionTextMessage + key;
        input.input = value.get<std::string>();
    }
    if (input.toLibrary && !input.input.empty())
        return std::string(kJobLibraryOrFolderMessage);
    return input;
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
    if (auto* refusal = std::get_if<std::string>(&input))
        return std::move(*refusal);
    request.input = std::get<JobInput>(input).input;
    request.toLibrary = std::get<JobInput>(input).toLibrary;

    if (request.action == JobAction::restore && request.devices.size() > 1)
        return std::string(kJobBatchRestoreMessage);
    return request;
}

} // namespace kovrkit

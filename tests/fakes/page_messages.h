// The page's side of the bridge in tests: the messages sent to it, commands run by name, and
// the devices of a jobs_start.
#pragma once

#include "host/bridge/command_table.h"
#include "host/bridge/ui_reply_sink.h"

#include <nlohmann/json.hpp>

#include <map>
#include <string>
#include <vector>

namespace kovrkit::testing {

// Every message sent to the page, parsed, in order.
class RecordedReplies final : public UiReplySink {
public:
    void sendToUi(std::string text) override { sent.push_back(nlohmann::json::parse(text)); }

    // The payloads of the messages named `command`.
    std::vector<nlohmann::json> named(const std::string& command) const
    {
        std::vector<nlohmann::json> found;
        for (const nlohmann::json& message : sent) {
            if (message["command"] == command)
                found.push_back(message["payload"]);
        }
        return found;
    }
    bool finished() const { return !named("jobFinished").empty(); }
    // The last jobDeviceResult of each address.
    std::map<std::string, nlohmann::json> resultsByAddress() const
    {
        std::map<std::string, nlohmann::json> results;
        for (const nlohmann::json& result : named("jobDeviceResult"))
            results[result["deviceIp"]] = result;
        return results;
    }

    std::vector<nlohmann::json> sent;
};

// Runs the command `name` of the table as the bridge would for a message of that name.
inline void runCommand(
    const CommandTable& commands, const std::string& name, const nlohmann::json& payload)
{
    for (const Command& command : commands) {
        if (command.name == name)
            command.run(payload);
    }
}

// A "devices" list of a jobs_start payload: each address as "Unit ADDRESS".
inline nlohmann::json deviceList(const std::vector<std::string>& addresses)
{
    nlohmann::json devices = nlohmann::json::array();
    for (const std::string& address : addresses)
        devices.push_back({ { "ip", address }, { "name", "Unit " + address } });
    return devices;
}

} // namespace kovrkit::testing

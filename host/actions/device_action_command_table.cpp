#include "host/actions/device_action_command_table.h"

#include "host/bridge/outgoing_messages.h"
#include "host/bridge/payload.h"

namespace kovrkit {

namespace {

void routeDeviceAction(DeviceActions& actions, UiReplySink& sink, const std::string& action,
    const nlohmann::json& payload)
{
    bool isStatus = action == "native_actionGetStatus";
    std::string ipsCsv = getPayloadString(payload, "ipsCsv");
    if (ipsCsv.empty()) {
        std::string address = getPayloadString(payload, "ip");
        if (isStatus)
            actions.startStatus({ address }, false);
        else
            actions.runSingle(action, address);
        return;
    }
    std::vector<std::string> addresses = parseIpList(ipsCsv);
    if (addresses.empty()) {
        sink.sendToUi(nativeActionResultMessage(action, false, -1, "Missing device IP", "", ""));
        return;
    }
    if (isStatus)
        actions.startStatus(addresses, addresses.size() > 1);
    else if (addresses.size() == 1)
        actions.runSingle(action, addresses.front());
    else
        actions.runBatch(action, addresses);
}

} // namespace

CommandTable deviceActionCommands(DeviceActions& actions, UiReplySink& sink)
{
    CommandTable table;
    for (const char* action : { "native_actionBackup", "native_actionRestore",
             "native_actionFirmwareUpgrade", "native_actionGetStatus" }) {
        table.push_back(
            { action, [&actions, &sink, name = std::string(action)](const nlohmann::json& payload) {
                 routeDeviceAction(actions, sink, name, payload);
             } });
    }
    return table;
}

} // namespace kovrkit

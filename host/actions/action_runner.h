#pragma once

#include "host/actions/tool_command.h"
#include "host/bridge/ui_reply_sink.h"
#include "host/platform/dialogs.h"
#include "host/platform/process_launcher.h"

#include <optional>
#include <string>
#include <vector>

namespace kovrkit {

// Backup, restore and firmware upgrade: asks for the folder or file the action needs, runs
// kovru-cli once per device, one after the other, and reports a result per device and, for a
// batch, a summary. UI thread only; each run blocks the command while the UI keeps painting.
class ActionRunner {
public:
    ActionRunner(
        Dialogs& dialogs, ProcessLauncher& launcher, UiReplySink& sink, std::string toolPath);

    void runSingle(const std::string& action, const std::string& address);
    void runBatch(const std::string& action, const std::vector<std::string>& addresses);

private:
    std::optional<std::string> askForInput(const ToolCommand& command);
    DeviceOutcome runDevice(
        const ToolCommand& command, const std::string& address, const std::string& input);
    void sendResult(
        const std::string& action, const DeviceOutcome& outcome, const std::string& address);
    void sendSummary(const std::string& action, int32_t total, int32_t succeeded);
    void failEvery(
        const std::string& action, const std::vector<std::string>& devices, const char* message);

    Dialogs& dialogs_;
    ProcessLauncher& launcher_;
    UiReplySink& sink_;
    std::string toolPath_;
};

} // namespace kovrkit

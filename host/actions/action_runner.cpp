#include "host/actions/action_runner.h"

#include "host/actions/action_messages.h"
#include "host/actions/device_list.h"
#include "host/bridge/outgoing_messages.h"
#include "host/bridge/payload.h"
#include "host/bridge/pickers.h"

#include <filesystem>

namespace kovrkit {

namespace {

bool toolExists(const std::string& toolPath)
{
    std::error_code error;
    return std::filesystem::is_regular_file(toolPath, error);
}

} // namespace

ActionRunner::ActionRunner(
    Dialogs& dialogs, ProcessLauncher& launcher, UiReplySink& sink, std::string toolPath)
    : dialogs_(dialogs)
    , launcher_(launcher)
    , sink_(sink)
    , toolPath_(std::move(toolPath))
{
}

void ActionRunner::runSingle(const std::string& action, const std::string& address)
{
    if (trimWhiteSpace(address).empty())
        return sendResult(action, { false, -1, kMissingDeviceMessage }, "");
    const ToolCommand* command = toolCommandFor(action);
    if (!command)
        return sendResult(action, { false, -1, kUnknownActionMessage }, address);
    std::optional<std::string> input = askForInput(*command);
    if (!input)
        return sendResult(action, { false, -1, kCancelledMessage }, address);
    sendResult(action, runDevice(*command, address, *input), address);
}

void ActionRunner::runBatch(const std::string& action, const std::vector<std::string>& addresses)
{
    std::vector<std::string> devices = uniqueDeviceList(addresses);
    if (devices.empty())
        return sendResult(action, { false, -1, kMissingDeviceMessage }, "");
    auto total = static_cast<int32_t>(devices.size());
    const ToolCommand* command = toolCommandFor(action);
    if (!command)
        return failEvery(action, devices, kUnknownActionMessage);
    if (action == kRestoreAction && devices.size() > 1)
        return failEvery(action, devices, kBatchRestoreMessage);

    std::optional<std::string> input = askForInput(*command);
    if (!input) {
        sendResult(action, { false, -1, kCancelledMessage }, "");
        sendSummary(action, total, 0);
        return;
    }
    int32_t succeeded = 0;
    for (const std::string& device : devices) {
        DeviceOutcome outcome = runDevice(*command, device, *input);
        if (outcome.ran && outcome.exitCode == 0)
            ++succeeded;
        sendResult(action, outcome, device);
    }
    sendSummary(action, total, succeeded);
}

std::optional<std::string> ActionRunner::askForInput(const ToolCommand& command)
{
    switch (command.input) {
    case ToolInput::BackupFolder:
        return pickBackupFolder(dialogs_);
    case ToolInput::BackupArchive:
        return pickRestoreArchive(dialogs_);
    case ToolInput::FirmwareFile:
        return pickFirmwareFile(dialogs_);
    }
    return std::nullopt;
}

DeviceOutcome ActionRunner::runDevice(
    const ToolCommand& command, const std::string& address, const std::string& input)
{
    std::string trimmed(trimWhiteSpace(address));
    if (trimmed.empty())
        return { false, -1, kMissingDeviceMessage };
    if (!toolExists(toolPath_))
        return { false, -1, kToolMissingMessage };
    if (input.empty())
        return { false, -1, command.missingInputMessage };
    return outcomeOfRun(launcher_.runToEnd(toolArguments(toolPath_, command, trimmed, input)));
}

void ActionRunner::sendResult(
    const std::string& action, const DeviceOutcome& outcome, const std::string& address)
{
    sink_.sendToUi(nativeActionResultMessage(action, outcome.ran && outcome.exitCode == 0,
        outcome.exitCode, outcome.message, address, ""));
}

void ActionRunner::sendSummary(const std::string& action, int32_t total, int32_t succeeded)
{
    sink_.sendToUi(nativeActionBatchSummaryMessage(action, total, succeeded, total - succeeded));
}

void ActionRunner::failEvery(
    const std::string& action, const std::vector<std::string>& devices, const char* message)
{
    for (const std::string& device : devices)
        sendResult(action, { false, -1, message }, device);
    auto total = static_cast<int32_t>(devices.size());
    sendSummary(action, total, 0);
}

} // namespace kovrkit

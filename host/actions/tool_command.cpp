#include "host/actions/tool_command.h"

#include "host/actions/action_messages.h"

#include <array>

namespace kovrkit {

const ToolCommand* toolCommandFor(const std::string& action)
{
    static const std::array<ToolCommand, 3> commands { {
        { kBackupAction, "get_backup", ToolInput::BackupFolder, "Missing backup output path" },
        { kRestoreAction, "put_backup", ToolInput::BackupArchive, "Missing backup input path" },
        { kFirmwareUpgradeAction, "push_firmware", ToolInput::FirmwareFile,
            "Missing firmware input path" },
    } };
    for (const ToolCommand& command : commands) {
        if (action == command.action)
            return &command;
    }
    return nullptr;
}

std::vector<std::string> toolArguments(const std::string& toolPath, const ToolCommand& command,
    const std::string& address, const std::string& inputPath)
{
    std::vector<std::string> arguments { toolPath, std::string("--action=") + command.toolAction,
        "--ip=" + address };
    switch (command.input) {
    case ToolInput::BackupFolder:
        arguments.push_back("--backupfileouttype=zip");
        arguments.push_back("--backupfileout=" + inputPath);
        break;
    case ToolInput::BackupArchive:
        arguments.push_back("--backupfilein=" + inputPath);
        break;
    case ToolInput::FirmwareFile:
        arguments.push_back("--firmwarefile=" + inputPath);
        break;
    }
    return arguments;
}

std::string toolPathIn(const std::string& programDirectory)
{
    return programDirectory + "/cli/kovru-cli";
}

DeviceOutcome outcomeOfRun(std::optional<int> exitStatus)
{
    if (!exitStatus)
        return { false, -1, kToolFailedToRunMessage };
    if (*exitStatus == 0)
        return { true, 0, kToolSucceededMessage };
    return { true, *exitStatus, kToolFailedMessage };
}

} // namespace kovrkit

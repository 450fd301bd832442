#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kovrkit {

enum class ToolInput { BackupFolder, BackupArchive, FirmwareFile };

// How one UI action runs kovru-cli.
struct ToolCommand {
    const char* action; // the UI's command name
    const char* toolAction; // --action=
    ToolInput input;
    const char* missingInputMessage;
};

// The command of a UI action that runs the tool; nothing for any other name.
const ToolCommand* toolCommandFor(const std::string& action);

// The argument vector: the tool's path, --action=, --ip= and the input, each one argument as
// it is (no quoting).
std::vector<std::string> toolArguments(const std::string& toolPath, const ToolCommand& command,
    const std::string& address, const std::string& inputPath);

// `<program folder>/cli/kovru-cli`
std::string toolPathIn(const std::string& programDirectory);

struct DeviceOutcome {
    bool ran = false;
    int32_t exitCode = -1;
    std::string message;
};

// A finished run's exit status as the UI sees it; nothing means the tool could not be run.
DeviceOutcome outcomeOfRun(std::optional<int> exitStatus);

} // namespace kovrkit

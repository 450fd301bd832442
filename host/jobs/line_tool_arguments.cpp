#include "host/jobs/line_tool_arguments.h"

#include <nlohmann/json.hpp>

#include <cstring>

namespace kovrkit {

using nlohmann::json;

namespace {

constexpr size_t kMaxFolderNameBytes = 120;

bool refusedInFolderName(unsigned char c)
{
    return c < 0x20 || c == 0x7F || std::strchr("/\\:*?\"<>|", c) != nullptr;
}

// Cut to at most max bytes, never inside a UTF-8 sequence.
void cutUtf8(std::string& text, size_t max)
{
    if (text.size() <= max)
        return;
    size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    text.resize(end);
}

std::string listOf(const std::vector<std::string>& items)
{
    return json(items).dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string lineList(const std::vector<JobLine>& lines)
{
    std::string list;
    for (const JobLine& line : lines)
        list += (list.empty() ? "" : ",") + std::to_string(line.line);
    return "[" + list + "]";
}

// The file list of one kind, or nothing when no line names a file of it.
void addFileList(std::vector<std::string>& arguments, const char* option,
    const std::vector<JobLine>& lines, std::string JobLine::*file)
{
    std::vector<std::string> files;
    bool any = false;
    for (const JobLine& line : lines) {
        files.push_back(line.*file);
        any = any || !files.back().empty();
    }
    if (any)
        arguments.push_back(std::string(option) + listOf(files));
}

std::string exportedFile(const std::string& folder, int line, const char* kind)
{
    return folder + "/line" + std::to_string(line) + "-" + kind + ".csv";
}

} // namespace

std::string exportFolderName(const JobDevice& device)
{
    std::string name = device.name.empty() ? device.ip : device.name + " (" + device.ip + ")";
    for (char& c : name)
        if (refusedInFolderName(static_cast<unsigned char>(c)))
            c = '_';
    name.erase(0, name.find_first_not_of('.'));
    cutUtf8(name, kMaxFolderNameBytes);
    while (!name.empty() && (name.back() == '.' || name.back() == ' '))
        name.pop_back();
    return name.empty() ? "_" : name;
}

std::string exportedChannelFile(const std::string& folder, int line)
{
    return exportedFile(folder, line, "channel");
}

std::string exportedGroupsFile(const std::string& folder, int line)
{
    return exportedFile(folder, line, "groups");
}

std::string exportedInputsFile(const std::string& folder, int line)
{
    return exportedFile(folder, line, "inputs");
}

std::vector<std::string> lineToolArguments(const std::string& toolPath, const JobRequest& request,
    const JobDevice& device, const std::string& folder)
{
    std::vector<std::string> arguments { toolPath };
    switch (request.action) {
    case JobAction::setupChannel:
        arguments.push_back("--action=setup_channel");
        arguments.push_back("--ip=" + device.ip);
        arguments.push_back("--channel=" + lineList(request.lines));
        addFileList(arguments, "--channelcsvfile=", request.lines, &JobLine::channelFile);
        addFileList(arguments, "--channelgroupscsvfile=", request.lines, &JobLine::groupsFile);
        addFileList(arguments, "--channelinputscsvfile=", request.lines, &JobLine::inputsFile);
        if (request.dryRun)
            arguments.push_back("--dryrun");
        break;
    case JobAction::exportChannel: {
        std::vector<std::string> channel, groups, inputs;
        for (const JobLine& line : request.lines) {
            channel.push_back(exportedChannelFile(folder, line.line));
            groups.push_back(exportedGroupsFile(folder, line.line));
            inputs.push_back(exportedInputsFile(folder, line.line));
        }
        arguments.push_back("--action=export_channel");
        arguments.push_back("--ip=" + device.ip);
        arguments.push_back("--channel=" + lineList(request.lines));
        arguments.push_back("--channelcsvfile=" + listOf(channel));
        arguments.push_back("--channelgroupscsvfile=" + listOf(groups));
        arguments.push_back("--channelinputscsvfile=" + listOf(inputs));
        break;
    }
    case JobAction::pushD2fw:
        arguments.push_back("--action=push_d2fw");
        arguments.push_back("--ip=" + device.ip);
        arguments.push_back("--firmwarefile=" + request.input);
        break;
    default:
        return {};
    }
    return arguments;
}

} // namespace kovrkit

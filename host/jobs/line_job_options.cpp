#include "host/jobs/line_job_options.h"

#include <set>

namespace kovrkit {

using nlohmann::json;

namespace {

constexpr size_t kMaxLines = 4;

bool takesLines(JobAction action)
{
    return action == JobAction::setupChannel || action == JobAction::exportChannel;
}

// The line number of an entry: an integer, or an object's "line" member.
const json* lineNumberOf(const json& entry)
{
    if (!entry.is_object())
        return &entry;
    auto member = entry.find("line");
    return member == entry.end() ? nullptr : &*member;
}

// One file member of a set-up line: "" when missing; false when present but no non-empty text.
bool readFile(const json& entry, const char* name, std::string& file, std::string& refusal)
{
    auto member = entry.find(name);
    if (member == entry.end() || member->is_null())
        return true;
    if (!member->is_string() || member->get_ref<const std::string&>().empty()) {
        refusal = kJobOptionTextMessage + std::string(name);
        return false;
    }
    file = member->get<std::string>();
    return true;
}

std::string readLine(const json& entry, JobAction action, JobLine& line)
{
    const json* number = lineNumberOf(entry);
    if (!number || !number->is_number_integer() || number->get<int64_t>() < 1
        || number->get<int64_t>() > 4)
        return kJobLineNumberMessage + (number ? number->dump() : std::string("none"));
    line.line = static_cast<int>(number->get<int64_t>());
    if (action != JobAction::setupChannel)
        return "";
    if (!entry.is_object())
        return kJobLineWithoutFileMessage + std::to_string(line.line);
    std::string refusal;
    if (!readFile(entry, "channelFile", line.channelFile, refusal)
        || !readFile(entry, "groupsFile", line.groupsFile, refusal)
        || !readFile(entry, "inputsFile", line.inputsFile, refusal))
        return refusal;
    if (line.channelFile.empty() && line.groupsFile.empty() && line.inputsFile.empty())
        return kJobLineWithoutFileMessage + std::to_string(line.line);
    return "";
}

} // namespace

bool isLineOption(JobAction action, std::string_view name)
{
    return (takesLines(action) && name == "lines")
        || (action == JobAction::setupChannel && name == "dryRun");
}

std::string readLineOptions(const json& payload, JobRequest& request)
{
    if (!takesLines(request.action))
        return "";
    auto options = payload.find("options");
    const json* lines = nullptr;
    if (options != payload.end() && options->is_object()) {
        if (auto member = options->find("lines"); member != options->end())
            lines = &*member;
        if (auto dryRun = options->find("dryRun"); dryRun != options->end()) {
            if (!dryRun->is_boolean())
                return kJobDryRunMessage;
            request.dryRun = dryRun->get<bool>();
        }
    }
    if (!lines || !lines->is_array() || lines->empty() || lines->size() > kMaxLines)
        return kJobLinesMessage;
    std::set<int> seen;
    for (const json& entry : *lines) {
        JobLine line;
        if (std::string refusal = readLine(entry, request.action, line); !refusal.empty())
            return refusal;
        if (!seen.insert(line.line).second)
            return kJobLineTwiceMessage + std::to_string(line.line);
        request.lines.push_back(std::move(line));
    }
    return "";
}

} // namespace kovrkit

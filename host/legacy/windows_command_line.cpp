#include "host/legacy/windows_command_line.h"

namespace kovrkit {

namespace {

bool isBlank(char byte)
{
    return byte == ' ' || byte == '\t';
}

std::size_t skipBlanks(std::string_view line, std::size_t at)
{
    while (at < line.size() && isBlank(line[at]))
        ++at;
    return at;
}

std::string programName(std::string_view line, std::size_t& at)
{
    std::string name;
    bool quoted = false;
    for (; at < line.size(); ++at) {
        const char byte = line[at];
        if (byte == '"')
            quoted = !quoted;
        else if (isBlank(byte) && !quoted)
            break;
        else
            name += byte;
    }
    return name;
}

std::string nextWord(std::string_view line, std::size_t& at)
{
    std::string word;
    bool quoted = false;
    while (at < line.size()) {
        const char byte = line[at];
        if (isBlank(byte) && !quoted)
            break;
        if (byte == '\\') {
            std::size_t run = 0;
            while (at < line.size() && line[at] == '\\') {
                ++run;
                ++at;
            }
            if (at < line.size() && line[at] == '"') {
                word.append(run / 2, '\\');
                if (run % 2 == 1) {
                    word += '"';
                    ++at;
                }
            } else {
                word.append(run, '\\');
            }
            continue;
        }
        if (byte == '"') {
            if (quoted && at + 1 < line.size() && line[at + 1] == '"') {
                word += '"';
                at += 2;
                continue;
            }
            quoted = !quoted;
            ++at;
            continue;
        }
        word += byte;
        ++at;
    }
    return word;
}

} // namespace

std::vector<std::string> splitWindowsCommandLine(std::string_view line)
{
    std::vector<std::string> words;
    std::size_t at = skipBlanks(line, 0);
    if (at >= line.size())
        return words;
    words.push_back(programName(line, at));
    for (at = skipBlanks(line, at); at < line.size(); at = skipBlanks(line, at))
        words.push_back(nextWord(line, at));
    return words;
}

} // namespace kovrkit

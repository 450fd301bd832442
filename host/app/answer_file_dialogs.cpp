#include "host/app/answer_file_dialogs.h"

#include <cstdio>
#include <fstream>
#include <iterator>

namespace kovrkit {

AnswerFileDialogs::AnswerFileDialogs(nlohmann::json answers)
    : answers_(answers.is_array() ? std::move(answers) : nlohmann::json::array())
{
}

AnswerFileDialogs AnswerFileDialogs::fromFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return AnswerFileDialogs(nlohmann::json::parse(text, nullptr, false));
}

nlohmann::json AnswerFileDialogs::nextAnswer()
{
    if (next_ >= answers_.size())
        return nullptr;
    return answers_[next_++];
}

std::optional<std::string> AnswerFileDialogs::nextPath()
{
    nlohmann::json answer = nextAnswer();
    if (!answer.is_string() || answer.get_ref<const std::string&>().empty())
        return std::nullopt;
    return answer.get<std::string>();
}

std::optional<std::string> AnswerFileDialogs::chooseSaveFile(const FileDialogRequest&)
{
    return nextPath();
}

std::optional<std::string> AnswerFileDialogs::chooseOpenFile(const FileDialogRequest&)
{
    return nextPath();
}

std::optional<std::string> AnswerFileDialogs::chooseFolder(const std::string&)
{
    return nextPath();
}

bool AnswerFileDialogs::askYesNo(const std::string&, const std::string&, bool)
{
    nlohmann::json answer = nextAnswer();
    return answer.is_string() && answer.get_ref<const std::string&>() == "yes";
}

void AnswerFileDialogs::showError(const std::string& title, const std::string& text)
{
    nextAnswer();
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
}

} // namespace kovrkit

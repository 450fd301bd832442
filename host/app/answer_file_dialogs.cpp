#include "host/app/answer_file_dialogs.h"

#include "host/platform/file_access.h"

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
    std::string text;
    std::string refusal;
    if (!readWholeFile(path, text, kDialogAnswersLimit, &refusal)) {
        std::fprintf(stderr,
            "kovrkit: the dialog answer file %s cannot be read (%s); every dialog is cancelled\n",
            path.c_str(), refusal.c_str());
        return AnswerFileDialogs(nlohmann::json::array());
    }
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

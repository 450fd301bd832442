#pragma once

#include "host/platform/dialogs.h"

#include <deque>
#include <string>
#include <vector>

namespace kovrkit::testing {

// Dialogs answered from queues the test fills; records what was asked.
class FakeDialogs final : public Dialogs {
public:
    std::optional<std::string> chooseSaveFile(const FileDialogRequest& request) override
    {
        lastRequest = request;
        asked.push_back("save");
        return nextPath();
    }
    std::optional<std::string> chooseOpenFile(const FileDialogRequest& request) override
    {
        lastRequest = request;
        asked.push_back("open");
        return nextPath();
    }
    std::optional<std::string> chooseFolder(const std::string& title) override
    {
        asked.push_back("folder:" + title);
        return nextPath();
    }
    bool askYesNo(const std::string& title, const std::string& text, bool yesIsDefault) override
    {
        asked.push_back("question:" + title + ":" + text + (yesIsDefault ? ":yes" : ":no"));
        bool answer = !yesNoAnswers.empty() && yesNoAnswers.front();
        if (!yesNoAnswers.empty())
            yesNoAnswers.pop_front();
        return answer;
    }
    void showError(const std::string& title, const std::string& text) override
    {
        asked.push_back("error:" + title + ":" + text);
    }

    std::deque<std::optional<std::string>> paths;
    std::deque<bool> yesNoAnswers;
    std::vector<std::string> asked;
    FileDialogRequest lastRequest;

private:
    std::optional<std::string> nextPath()
    {
        if (paths.empty())
            return std::nullopt;
        std::optional<std::string> path = paths.front();
        paths.pop_front();
        return path;
    }
};

} // namespace kovrkit::testing

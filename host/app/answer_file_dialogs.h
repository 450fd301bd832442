#pragma once

#include "host/platform/dialogs.h"

#include <cstddef>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace kovrkit {

inline constexpr const char* kDialogAnswersVariable = "KOVRKIT_DIALOG_ANSWERS";

// Dialogs that show nothing and take their answers, in order, from a JSON array: a string is
// the path a chooser returns ("" cancels), "yes" or "no" answers a question, and anything else
// or an exhausted list cancels or says no. Serves end-to-end tests of the host.
class AnswerFileDialogs final : public Dialogs {
public:
    explicit AnswerFileDialogs(nlohmann::json answers);
    // The answers of the file; an unreadable file or one that is not an array gives none.
    static AnswerFileDialogs fromFile(const std::string& path);

    std::optional<std::string> chooseSaveFile(const FileDialogRequest& request) override;
    std::optional<std::string> chooseOpenFile(const FileDialogRequest& request) override;
    std::optional<std::string> chooseFolder(const std::string& title) override;
    bool askYesNo(const std::string& title, const std::string& text, bool yesIsDefault) override;
    void showError(const std::string& title, const std::string& text) override;

private:
    nlohmann::json nextAnswer();
    std::optional<std::string> nextPath();

    nlohmann::json answers_;
    size_t next_ = 0;
};

} // namespace kovrkit

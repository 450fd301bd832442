#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kovrkit {

struct FileFilter {
    std::string name; // "CSV Files (*.csv)"
    std::string pattern; // "*.csv"
};

struct FileDialogRequest {
    std::vector<FileFilter> filters; // the first one is selected
    std::string initialName; // save dialogs only
};

// The system dialogs the host shows, all modal to the main window. Every chooser gives
// nothing on cancel or error.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual std::optional<std::string> chooseSaveFile(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> chooseOpenFile(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> chooseFolder(const std::string& title) = 0;
    virtual bool askYesNo(const std::string& title, const std::string& text, bool yesIsDefault) = 0;
    virtual void showError(const std::string& title, const std::string& text) = 0;
};

} // namespace kovrkit

#pragma once

#include "host/platform/dialogs.h"

#include <gtk/gtk.h>

namespace kovrkit {

// GTK file choosers and message dialogs, modal to the main window. Each runs a nested main
// loop, so messages from the page are still dispatched while it is open.
class GtkDialogs final : public Dialogs {
public:
    explicit GtkDialogs(GtkWindow* owner)
        : owner_(owner)
    {
    }

    std::optional<std::string> chooseSaveFile(const FileDialogRequest& request) override;
    std::optional<std::string> chooseOpenFile(const FileDialogRequest& request) override;
    std::optional<std::string> chooseFolder(const std::string& title) override;
    bool askYesNo(const std::string& title, const std::string& text, bool yesIsDefault) override;
    void showError(const std::string& title, const std::string& text) override;

private:
    std::optional<std::string> runChooser(
        GtkFileChooserAction action, const char* title, const FileDialogRequest* request);

    GtkWindow* owner_;
};

} // namespace kovrkit

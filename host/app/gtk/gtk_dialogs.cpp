#include "host/app/gtk/gtk_dialogs.h"

#include "common/glib_handles.h"

namespace kovrkit {

namespace {

void addFilters(GtkFileChooser* chooser, const FileDialogRequest& request)
{
    for (const FileFilter& filter : request.filters) {
        GtkFileFilter* gtkFilter = gtk_file_filter_new();
        gtk_file_filter_set_name(gtkFilter, filter.name.c_str());
        gtk_file_filter_add_pattern(gtkFilter, filter.pattern.c_str());
        // The chooser takes the floating reference; the first filter added is the selected one.
        gtk_file_chooser_add_filter(chooser, gtkFilter);
    }
}

// Destroys a dialog widget when the scope ends, whatever path leaves it.
struct DialogGuard {
    GtkWidget* dialog;
    ~DialogGuard() { gtk_widget_destroy(dialog); }
};

} // namespace

std::optional<std::string> GtkDialogs::runChooser(
    GtkFileChooserAction action, const char* title, const FileDialogRequest* request)
{
    const char* acceptLabel = action == GTK_FILE_CHOOSER_ACTION_SAVE ? "_Save" : "_Open";
    GtkWidget* dialog = gtk_file_chooser_dialog_new(title, owner_, action, "_Cancel",
        GTK_RESPONSE_CANCEL, acceptLabel, GTK_RESPONSE_ACCEPT, nullptr);
    DialogGuard guard { dialog };
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_file_chooser_set_local_only(chooser, TRUE);
    // The export asks about replacing a file itself, after it has added the extension.
    gtk_file_chooser_set_do_overwrite_confirmation(chooser, FALSE);
    if (request) {
        addFilters(chooser, *request);
        if (action == GTK_FILE_CHOOSER_ACTION_SAVE && !request->initialName.empty())
            gtk_file_chooser_set_current_name(chooser, request->initialName.c_str());
    }
    if (gtk_dialog_run(GTK_DIALOG(dialog)) != GTK_RESPONSE_ACCEPT)
        return std::nullopt;
    kovru::GCharPtr fileName(gtk_file_chooser_get_filename(chooser));
    if (!fileName || !*fileName)
        return std::nullopt;
    return std::string(fileName.get());
}

std::optional<std::string> GtkDialogs::chooseSaveFile(const FileDialogRequest& request)
{
    return runChooser(GTK_FILE_CHOOSER_ACTION_SAVE, "Save As", &request);
}

std::optional<std::string> GtkDialogs::chooseOpenFile(const FileDialogRequest& request)
{
    return runChooser(GTK_FILE_CHOOSER_ACTION_OPEN, "Open", &request);
}

std::optional<std::string> GtkDialogs::chooseFolder(const std::string& title)
{
    return runChooser(GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, title.c_str(), nullptr);
}

bool GtkDialogs::askYesNo(const std::string& title, const std::string& text, bool yesIsDefault)
{
    GtkWidget* dialog = gtk_message_dialog_new(
        owner_, GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO, "%s", text.c_str());
    DialogGuard guard { dialog };
    gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    gtk_dialog_set_default_response(
        GTK_DIALOG(dialog), yesIsDefault ? GTK_RESPONSE_YES : GTK_RESPONSE_NO);
    return gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_YES;
}

void GtkDialogs::showError(const std::string& title, const std::string& text)
{
    GtkWidget* dialog = gtk_message_dialog_new(
        owner_, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "%s", text.c_str());
    DialogGuard guard { dialog };
    gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
    gtk_dialog_run(GTK_DIALOG(dialog));
}

} // namespace kovrkit

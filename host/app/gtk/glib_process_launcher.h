#pragma once

#include "host/platform/process_launcher.h"

#include <gtk/gtk.h>

namespace kovrkit {

// Starts the program with g_spawn_async and runs a nested main loop until it ends, so the
// window keeps painting and posted results keep arriving. Meanwhile the main window (when
// there is one) is insensitive, and a request to close it is held back: the window closes
// once the program has ended.
class GLibProcessLauncher final : public ProcessLauncher {
public:
    explicit GLibProcessLauncher(GtkWidget* window);
    ~GLibProcessLauncher() override;
    GLibProcessLauncher(const GLibProcessLauncher&) = delete;
    GLibProcessLauncher& operator=(const GLibProcessLauncher&) = delete;

    std::optional<int> runToEnd(const std::vector<std::string>& arguments) override;

private:
    static gboolean holdBackClose(GtkWidget* window, GdkEvent* event, gpointer self);

    GtkWidget* window_;
    gulong deleteHandler_ = 0;
    bool waiting_ = false;
    bool closeRequested_ = false;
};

} // namespace kovrkit

#pragma once

#include <string>

#include <gtk/gtk.h>

namespace kovrkit {

// The one top-level window: the size of the primary screen, the application icon, shown
// maximised. Closing it ends the main loop.
GtkWindow* createMainWindow(const std::string& caption);

} // namespace kovrkit

#include "host/app/gtk/main_window.h"

#include "common/glib_handles.h"
#include "host/app/gtk/app_icon_xpm.h"

namespace kovrkit {

static void primaryScreenSize(int& width, int& height)
{
    width = 1280;
    height = 800;
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = display ? gdk_display_get_primary_monitor(display) : nullptr;
    if (!monitor && display)
        monitor = gdk_display_get_monitor(display, 0);
    if (!monitor)
        return;
    GdkRectangle geometry {};
    gdk_monitor_get_geometry(monitor, &geometry);
    if (geometry.width > 0 && geometry.height > 0) {
        width = geometry.width;
        height = geometry.height;
    }
}

GtkWindow* createMainWindow(const std::string& caption)
{
    GtkWidget* widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* window = GTK_WINDOW(widget);
    gtk_window_set_title(window, caption.c_str());
    auto icon
        = kovru::adopt_object(gdk_pixbuf_new_from_xpm_data(const_cast<const char**>(kAppIconXpm)));
    if (icon)
        gtk_window_set_icon(window, icon.get());
    int width = 0;
    int height = 0;
    primaryScreenSize(width, height);
    gtk_window_set_default_size(window, width, height);
    g_signal_connect(widget, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_window_maximize(window);
    gtk_widget_show(widget);
    return window;
}

} // namespace kovrkit

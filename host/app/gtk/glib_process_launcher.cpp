#include "host/app/gtk/glib_process_launcher.h"

#include "common/glib_handles.h"

#include <sys/wait.h>

#include <memory>

namespace kovrkit {

namespace {

struct LoopUnref {
    void operator()(GMainLoop* loop) const { g_main_loop_unref(loop); }
};
using MainLoopPtr = std::unique_ptr<GMainLoop, LoopUnref>;

struct ChildWait {
    GMainLoop* loop;
    int waitStatus = 0;
};

void childEnded(GPid, gint waitStatus, gpointer data)
{
    auto* wait = static_cast<ChildWait*>(data);
    wait->waitStatus = waitStatus;
    g_main_loop_quit(wait->loop);
}

gboolean closeWindow(gpointer window)
{
    gtk_window_close(GTK_WINDOW(window));
    return G_SOURCE_REMOVE;
}

int exitStatusOf(int waitStatus)
{
    if (WIFEXITED(waitStatus))
        return WEXITSTATUS(waitStatus);
    if (WIFSIGNALED(waitStatus))
        return 128 + WTERMSIG(waitStatus);
    return 1;
}

} // namespace

GLibProcessLauncher::GLibProcessLauncher(GtkWidget* window)
    : window_(window)
{
    if (!window_)
        return;
    // Held until this launcher goes, which may be after the window was destroyed.
    g_object_ref(window_);
    deleteHandler_ = g_signal_connect(window_, "delete-event", G_CALLBACK(holdBackClose), this);
}

GLibProcessLauncher::~GLibProcessLauncher()
{
    if (!window_)
        return;
    if (g_signal_handler_is_connected(window_, deleteHandler_))
        g_signal_handler_disconnect(window_, deleteHandler_);
    g_object_unref(window_);
}

gboolean GLibProcessLauncher::holdBackClose(GtkWidget*, GdkEvent*, gpointer self)
{
    auto* launcher = static_cast<GLibProcessLauncher*>(self);
    if (!launcher->waiting_)
        return FALSE;
    launcher->closeRequested_ = true;
    return TRUE;
}

std::optional<int> GLibProcessLauncher::runToEnd(const std::vector<std::string>& arguments)
{
    if (arguments.empty())
        return std::nullopt;
    std::vector<gchar*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<gchar*>(argument.c_str()));
    argv.push_back(nullptr);

    GPid child = 0;
    GError* rawError = nullptr;
    // Like a tool started without a console: its standard output goes nowhere.
    auto flags = static_cast<GSpawnFlags>(G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDOUT_TO_DEV_NULL);
    if (!g_spawn_async(nullptr, argv.data(), nullptr, flags, nullptr, nullptr, &child, &rawError)) {
        kovru::GErrorPtr error(rawError);
        return std::nullopt;
    }

    MainLoopPtr loop(g_main_loop_new(nullptr, FALSE));
    ChildWait wait { loop.get() };
    g_child_watch_add(child, childEnded, &wait);
    bool disabled = window_ && gtk_widget_get_sensitive(window_);
    if (disabled)
        gtk_widget_set_sensitive(window_, FALSE);
    waiting_ = true;
    g_main_loop_run(loop.get());
    waiting_ = false;
    g_spawn_close_pid(child);
    if (disabled) {
        gtk_widget_set_sensitive(window_, TRUE);
        gtk_window_present(GTK_WINDOW(window_));
    }
    if (closeRequested_) {
        closeRequested_ = false;
        g_idle_add_full(
            G_PRIORITY_DEFAULT_IDLE, closeWindow, g_object_ref(window_), g_object_unref);
    }
    return exitStatusOf(wait.waitStatus);
}

} // namespace kovrkit

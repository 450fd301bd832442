#include "host/app/gtk/job_close_guard.h"

namespace kovrkit {

namespace {

gboolean closeWindow(gpointer window)
{
    gtk_window_close(GTK_WINDOW(window));
    return G_SOURCE_REMOVE;
}

} // namespace

JobCloseGuard::JobCloseGuard(
    GtkWindow* window, JobEngine& engine, Dialogs& dialogs, std::string caption)
    : window_(window)
    , engine_(engine)
    , dialogs_(dialogs)
    , caption_(std::move(caption))
{
    g_object_ref(window_);
    handler_ = g_signal_connect(window_, "delete-event", G_CALLBACK(onDelete), this);
}

JobCloseGuard::~JobCloseGuard()
{
    if (g_signal_handler_is_connected(window_, handler_))
        g_signal_handler_disconnect(window_, handler_);
    g_object_unref(window_);
}

gboolean JobCloseGuard::onDelete(GtkWidget*, GdkEvent*, gpointer self)
{
    auto* guard = static_cast<JobCloseGuard*>(self);
    if (!guard->engine_.busy())
        return FALSE;
    if (guard->closing_)
        return TRUE; // already asked: waiting for the tools to end
    if (!guard->dialogs_.askYesNo(guard->caption_, kCloseWhileJobsRunQuestion, false))
        return TRUE;
    guard->closing_ = true;
    guard->engine_.cancelAll();
    GtkWindow* window = guard->window_;
    guard->engine_.whenIdle([window] {
        g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, closeWindow, g_object_ref(window), g_object_unref);
    });
    return TRUE;
}

} // namespace kovrkit

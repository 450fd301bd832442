#include "host/app/gtk/glib_host_message_poster.h"

#include <glib.h>

namespace kovrkit {

namespace {

struct PostedHostMessage {
    const GLibHostMessagePoster::Handler* handler;
    HostMessageId id;
    void* record;
};

gboolean deliverOnMainLoop(gpointer data)
{
    auto* posted = static_cast<PostedHostMessage*>(data);
    (*posted->handler)(posted->id, posted->record);
    delete posted;
    return G_SOURCE_REMOVE;
}

} // namespace

bool GLibHostMessagePoster::postHostMessage(HostMessageId id, void* record)
{
    auto* posted = new PostedHostMessage { &handler_, id, record };
    if (g_idle_add_full(G_PRIORITY_DEFAULT, deliverOnMainLoop, posted, nullptr) == 0) {
        delete posted;
        return false;
    }
    return true;
}

} // namespace kovrkit

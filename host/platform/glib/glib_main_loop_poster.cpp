#include "host/platform/glib/glib_main_loop_poster.h"

#include <glib.h>

#include <mutex>
#include <unordered_set>

namespace kovrkit {

// The sources still queued, so that the poster can remove them when it goes away.
struct GLibMainLoopPoster::Pending {
    std::mutex mutex;
    bool open = true;
    std::unordered_set<GSource*> sources;
};

namespace {

struct QueuedTask {
    MainLoopPoster::Task task;
    std::shared_ptr<GLibMainLoopPoster::Pending> pending;
    GSource* source = nullptr;
};

gboolean runQueuedTask(gpointer data)
{
    auto* queued = static_cast<QueuedTask*>(data);
    {
        std::lock_guard<std::mutex> lock(queued->pending->mutex);
        if (queued->pending->sources.erase(queued->source) == 1)
            g_source_unref(queued->source);
    }
    queued->task();
    return G_SOURCE_REMOVE;
}

void freeQueuedTask(gpointer data)
{
    delete static_cast<QueuedTask*>(data);
}

} // namespace

GLibMainLoopPoster::GLibMainLoopPoster()
    : pending_(std::make_shared<Pending>())
{
}

GLibMainLoopPoster::~GLibMainLoopPoster()
{
    std::unordered_set<GSource*> sources;
    {
        std::lock_guard<std::mutex> lock(pending_->mutex);
        pending_->open = false;
        sources.swap(pending_->sources);
    }
    // Destroying a source frees its task through the destroy notify.
    for (GSource* source : sources) {
        g_source_destroy(source);
        g_source_unref(source);
    }
}

bool GLibMainLoopPoster::post(Task task)
{
    auto* queued = new QueuedTask { std::move(task), pending_, nullptr };
    std::lock_guard<std::mutex> lock(pending_->mutex);
    if (!pending_->open) {
        delete queued;
        return false;
    }
    // The source is attached under the lock, so the task cannot run before it is recorded.
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, runQueuedTask, queued, freeQueuedTask);
    queued->source = source;
    pending_->sources.insert(source);
    g_source_attach(source, nullptr);
    return true;
}

} // namespace kovrkit

#include "host/platform/glib/glib_child_processes.h"

#include <glib-unix.h>
#include <glib.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace kovrkit {

namespace {

int exitStatusOf(int waitStatus)
{
    if (WIFEXITED(waitStatus))
        return WEXITSTATUS(waitStatus);
    if (WIFSIGNALED(waitStatus))
        return 128 + WTERMSIG(waitStatus);
    return 1;
}

void removeSource(guint& id)
{
    if (id)
        g_source_remove(id);
    id = 0;
}

class GLibChildProcess final : public ChildProcess {
public:
    GLibChildProcess(GPid pid, int readFd, ChildCallbacks callbacks)
        : pid_(pid)
        , readFd_(readFd)
        , callbacks_(std::move(callbacks))
    {
        readWatch_
            = g_unix_fd_add(readFd_, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                &GLibChildProcess::readable, this);
        childWatch_ = g_child_watch_add(pid_, &GLibChildProcess::exited, this);
    }

    ~GLibChildProcess() override
    {
        removeSource(readWatch_);
        removeSource(killTimer_);
        if (childWatch_) {
            removeSource(childWatch_);
            kill(pid_, SIGKILL);
            int status = 0;
            while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) { }
        }
        if (!ended_)
            g_spawn_close_pid(pid_);
        closeRead();
    }

    void terminate() override
    {
        if (ended_ || terminating_)
            return;
        terminating_ = true;
        kill(pid_, SIGTERM);
        killTimer_
            = g_timeout_add_seconds(kTerminateGraceSeconds, &GLibChildProcess::killNow, this);
    }

    int processId() const override { return pid_; }

private:
    // Reads what is there; false once the pipe is closed or broken.
    bool drain()
    {
        char buffer[4096];
        while (readFd_ >= 0) {
            ssize_t got = read(readFd_, buffer, sizeof buffer);
            if (got > 0) {
                if (callbacks_.onEvents)
                    callbacks_.onEvents(std::string_view(buffer, static_cast<size_t>(got)));
                continue;
            }
            if (got < 0 && errno == EINTR)
                continue;
            return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        }
        return false;
    }

    void closeRead()
    {
        if (readFd_ >= 0)
            close(readFd_);
        readFd_ = -1;
    }

    static gboolean readable(gint, GIOCondition, gpointer self)
    {
        auto* child = static_cast<GLibChildProcess*>(self);
        if (child->drain())
            return G_SOURCE_CONTINUE;
        child->readWatch_ = 0;
        child->closeRead();
        return G_SOURCE_REMOVE;
    }

    static gboolean killNow(gpointer self)
    {
        auto* child = static_cast<GLibChildProcess*>(self);
        child->killTimer_ = 0;
        kill(child->pid_, SIGKILL);
        return G_SOURCE_REMOVE;
    }

    // Everything the program wrote before it ended is in the pipe by now; a descendant that
    // kept the pipe open is not waited for.
    static void exited(GPid, gint waitStatus, gpointer self)
    {
        auto* child = static_cast<GLibChildProcess*>(self);
        child->childWatch_ = 0;
        removeSource(child->readWatch_);
        removeSource(child->killTimer_);
        child->drain();
        child->closeRead();
        g_spawn_close_pid(child->pid_);
        child->ended_ = true;
        // Last: the owner may destroy this handle from its callback.
        std::function<void(int)> onEnded = std::move(child->callbacks_.onEnded);
        if (onEnded)
            onEnded(exitStatusOf(waitStatus));
    }

    GPid pid_;
    int readFd_;
    ChildCallbacks callbacks_;
    guint readWatch_ = 0;
    guint childWatch_ = 0;
    guint killTimer_ = 0;
    bool terminating_ = false;
    bool ended_ = false;
};

} // namespace

std::unique_ptr<ChildProcess> GLibChildProcesses::start(
    const std::vector<std::string>& arguments, int eventsFd, ChildCallbacks callbacks)
{
    const bool eventsOnStandardOutput = eventsFd == STDOUT_FILENO;
    if (arguments.empty() || (eventsFd < 3 && !eventsOnStandardOutput))
        return nullptr;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return nullptr;
    std::vector<gchar*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<gchar*>(argument.c_str()));
    argv.push_back(nullptr);

    int sourceFds[] = { ends[1] };
    int targetFds[] = { eventsFd };
    GPid pid = 0;
    GError* error = nullptr;
    auto flags = static_cast<GSpawnFlags>(
        G_SPAWN_DO_NOT_REAP_CHILD | (eventsOnStandardOutput ? 0 : G_SPAWN_STDOUT_TO_DEV_NULL));
    gboolean started = g_spawn_async_with_pipes_and_fds(nullptr, argv.data(), nullptr, flags,
        nullptr, nullptr, -1, eventsOnStandardOutput ? ends[1] : -1, -1, sourceFds, targetFds,
        eventsOnStandardOutput ? 0 : 1, &pid, nullptr, nullptr, nullptr, &error);
    close(ends[1]);
    if (!started) {
        g_clear_error(&error);
        close(ends[0]);
        return nullptr;
    }
    fcntl(ends[0], F_SETFL, fcntl(ends[0], F_GETFL) | O_NONBLOCK);
    return std::make_unique<GLibChildProcess>(pid, ends[0], std::move(callbacks));
}

} // namespace kovrkit

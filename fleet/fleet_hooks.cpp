#include "fleet/fleet_hooks.h"

#include <glib.h>

#include <cstdio>

namespace kovrkit::fleet {

namespace {

struct HookEnd {
    int* running;
};

void onHookEnded(GPid pid, gint, gpointer data)
{
    g_spawn_close_pid(pid);
    auto* end = static_cast<HookEnd*>(data);
    --*end->running;
    delete end;
}

} // namespace

FleetHooks::~FleetHooks()
{
    waitForAll();
}

bool FleetHooks::run(const std::vector<std::string>& command, const HookEnvironment& details)
{
    if (command.empty())
        return true;
    std::vector<gchar*> argv;
    for (const std::string& word : command)
        argv.push_back(const_cast<gchar*>(word.c_str()));
    argv.push_back(nullptr);
    gchar** environment = g_get_environ();
    for (const auto& [name, value] : details)
        environment = g_environ_setenv(environment, name.c_str(), value.c_str(), TRUE);
    GPid pid = 0;
    GError* error = nullptr;
    gboolean started = g_spawn_async(nullptr, argv.data(), environment,
        static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), nullptr, nullptr,
        &pid, &error);
    g_strfreev(environment);
    if (!started) {
        std::fprintf(stderr, "kovru-fleet: could not run %s: %s\n", command.front().c_str(),
            error ? error->message : "unknown error");
        g_clear_error(&error);
        return false;
    }
    ++running_;
    g_child_watch_add(pid, onHookEnded, new HookEnd { &running_ });
    return true;
}

void FleetHooks::waitForAll()
{
    while (running_ > 0)
        g_main_context_iteration(nullptr, TRUE);
}

} // namespace kovrkit::fleet

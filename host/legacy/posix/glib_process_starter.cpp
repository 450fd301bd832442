#include "host/legacy/posix/glib_process_starter.h"

#include <glib.h>

#include <memory>

namespace kovrkit {

bool GLibProcessStarter::startDetached(const std::vector<std::string>& arguments)
{
    if (arguments.empty())
        return false;
    std::vector<gchar*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<gchar*>(argument.c_str()));
    argv.push_back(nullptr);
    GError* error = nullptr;
    const gboolean started = g_spawn_async(
        nullptr, argv.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr, &error);
    std::unique_ptr<GError, decltype(&g_error_free)> owned(error, g_error_free);
    return started;
}

} // namespace kovrkit

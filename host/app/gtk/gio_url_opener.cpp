#include "host/app/gtk/gio_url_opener.h"

#include "common/glib_handles.h"

#include <gio/gio.h>

namespace kovrkit {

bool GioUrlOpener::openInBrowser(const std::string& url)
{
    GError* rawError = nullptr;
    gboolean opened = g_app_info_launch_default_for_uri(url.c_str(), nullptr, &rawError);
    kovru::GErrorPtr error(rawError);
    return opened && !error;
}

} // namespace kovrkit

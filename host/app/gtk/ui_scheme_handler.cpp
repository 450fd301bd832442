#include "host/app/gtk/ui_scheme_handler.h"

#include "common/glib_handles.h"
#include "host/app/ui_resource.h"
#include "host/identity/origins.h"
#include "host/platform/file_access.h"

#include <gio/gio.h>

namespace kovrkit {

namespace {

void failNotFound(WebKitURISchemeRequest* request)
{
    GError* error = g_error_new_literal(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "Not found");
    webkit_uri_scheme_request_finish_error(request, error);
    g_error_free(error);
}

// The path of kovrkit://app/..., still percent-encoded; nothing for any other host.
std::optional<std::string> pathOnAppHost(const char* uri)
{
    std::string_view text(uri ? uri : "");
    std::string prefix = std::string(kAppOrigin) + "/";
    if (!text.starts_with(prefix))
        return std::nullopt;
    text.remove_prefix(prefix.size() - 1);
    auto end = text.find_first_of("?#");
    return std::string(text.substr(0, end));
}

void serveUiFile(WebKitURISchemeRequest* request, gpointer folder)
{
    const std::string& uiFolder = *static_cast<std::string*>(folder);
    std::optional<std::string> path = pathOnAppHost(webkit_uri_scheme_request_get_uri(request));
    std::optional<std::string> file = path ? resolveUiResource(uiFolder, *path) : std::nullopt;
    std::string content;
    if (!file || !readWholeFile(*file, content, kUiFileLimit)) {
        failNotFound(request);
        return;
    }
    gsize size = content.size();
    auto* bytes = g_bytes_new_take(g_memdup2(content.data(), size), size);
    auto stream = kovru::adopt_object(g_memory_input_stream_new_from_bytes(bytes));
    g_bytes_unref(bytes);
    auto response = kovru::adopt_object(
        webkit_uri_scheme_response_new(stream.get(), static_cast<gint64>(size)));
    webkit_uri_scheme_response_set_content_type(
        response.get(), std::string(contentTypeFor(*file)).c_str());
    webkit_uri_scheme_request_finish_with_response(request, response.get());
}

void freeFolder(gpointer folder)
{
    delete static_cast<std::string*>(folder);
}

} // namespace

void registerUiScheme(WebKitWebContext* context, const std::string& uiFolder)
{
    std::string scheme(kAppScheme);
    webkit_web_context_register_uri_scheme(
        context, scheme.c_str(), serveUiFile, new std::string(uiFolder), freeFolder);
    WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
    webkit_security_manager_register_uri_scheme_as_secure(security, scheme.c_str());
}

} // namespace kovrkit

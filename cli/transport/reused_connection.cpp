#include "cli/transport/reused_connection.h"

#include "cli/transport/transfer_settings.h"

namespace kovru {
namespace {

CurlEasy shared_handle;

} // namespace

CURL* request_handle(CurlEasy& own)
{
    if (!transfer_settings().reuse_connection) {
        own = make_curl_easy();
        return own.get();
    }
    if (shared_handle)
        curl_easy_reset(shared_handle.get()); // keeps the open connection
    else
        shared_handle = make_curl_easy();
    return shared_handle.get();
}

void close_reused_connection()
{
    shared_handle.reset();
}

} // namespace kovru

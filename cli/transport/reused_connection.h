// The HTTP connection item fetches share when connection reuse is on: one easy handle kept
// for the run, so libcurl sends each request over the open connection (keep-alive) and
// opens a fresh one by itself when the controller has closed it.
#pragma once

#include "cli/transport/curl_easy.h"

namespace kovru {

// The handle for the next request: the shared one, reset to no options, when
// transfer_settings().reuse_connection is set; otherwise a new one that `own` keeps.
// nullptr when no handle could be made.
CURL* request_handle(CurlEasy& own);

// Closes the shared connection; called before libcurl is shut down.
void close_reused_connection();

} // namespace kovru

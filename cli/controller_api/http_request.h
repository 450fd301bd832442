// The settings every HTTP request to a controller shares.
#pragma once

#include "common/curl_handles.h"

#include <cstddef>

#include <string>

namespace kovru {

// URL, redirects, the transfer library's tracing when trace is set, and a guard against a
// controller that stops answering: the connection must open within 60 s and no transfer
// may stall for 60 s.
void set_controller_request_options(CURL* handle, const std::string& url, bool trace);

// The HTTP status of the completed request (0 when none was received).
long http_status_of(CURL* handle);

// CURLOPT_WRITEFUNCTION that drops the body.
std::size_t discard_body(char* data, std::size_t size, std::size_t count, void* unused);

} // namespace kovru

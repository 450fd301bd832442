#pragma once

#include "host/actions/status_document.h"

#include <atomic>
#include <string>

namespace kovrkit {

inline constexpr const char* kStatusPath = "/api/v100/status.ssi";
inline constexpr const char* kStatusUserAgent = "VELDIR-Tool/1.0";
inline constexpr long kStatusTimeoutMs = 10000;

// Reads one controller's status document over HTTP (libcurl). Reentrant: every call owns its
// handle and buffers. When `abandon` is given and becomes true, the transfer stops within
// about a second and the reading says so; nobody reports it.
StatusReading readDeviceStatus(
    const std::string& address, const std::atomic<bool>* abandon = nullptr);

} // namespace kovrkit

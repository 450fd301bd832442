#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kovrkit {

// Where a status request goes: a host name or address (IPv6 without brackets) and a port.
struct StatusEndpoint {
    std::string host;
    int port = 80;
};

// "host", "host:8080", "[::1]:8080", "[::1]" and a bare "::1"; an address without a port is
// read on port 80. Nothing for an address that is not one: characters that would change the
// request's path or credentials, an empty host, a port outside 1..65535.
std::optional<StatusEndpoint> parseStatusEndpoint(std::string_view address);

} // namespace kovrkit

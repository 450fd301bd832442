// The POSIX datagram socket of a TFTP transfer and the resolution of the controller's name.
#pragma once

#include "cli/transport/udp_socket.h"

#include <curl/curl.h>

#include <memory>
#include <string>

namespace kovru {

struct OpenedUdpSocket {
    std::unique_ptr<UdpSocket> socket; // null on failure
    UdpEndpoint server;
    CURLcode failure = CURLE_OK; // CURLE_COULDNT_RESOLVE_HOST or CURLE_COULDNT_CONNECT
};

// Resolves host (a name, an IPv4 address or an IPv6 address without brackets) and opens an
// unbound socket of its family, on a port the system picks, for a transfer with it.
OpenedUdpSocket open_udp_socket(const std::string& host, std::uint16_t port);

} // namespace kovru

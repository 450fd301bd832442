// The sockets of one controller: a TCP listener and a UDP socket on the same address and port.
#pragma once

#include "common/posix/unique_fd.h"

#include <netinet/in.h>

#include <chrono>
#include <optional>
#include <string>

namespace kovru::sim {

struct ControllerSockets {
    UniqueFd tcp;
    UniqueFd udp;
    int port = 0;
};

// Port 0 picks a port free for both protocols. nullopt with a message on failure.
std::optional<ControllerSockets> bind_controller_sockets(
    const std::string& ip, int port, std::string& error);

// A UDP socket on ip with a free port, connected to peer (a TFTP transfer's own TID).
UniqueFd open_transfer_socket(const std::string& ip, const sockaddr_in& peer);

bool make_address(const std::string& ip, int port, sockaddr_in& address);

// Waits until fd is readable; false on time-out or stop.
bool wait_readable(int fd, std::chrono::milliseconds timeout);

} // namespace kovru::sim

#include "sim/sockets.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace kovru::sim {
namespace {

constexpr int kBindAttempts = 50;

UniqueFd bound_socket(int type, const sockaddr_in& address)
{
    UniqueFd fd(::socket(AF_INET, type | SOCK_CLOEXEC, 0));
    if (!fd.valid())
        return {};
    int on = 1;
    if (type == SOCK_STREAM)
        ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return {};
    return fd;
}

int bound_port(int fd)
{
    sockaddr_in address {};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

} // namespace

bool make_address(const std::string& ip, int port, sockaddr_in& address)
{
    address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return ::inet_pton(AF_INET, ip.c_str(), &address.sin_addr) == 1;
}

std::optional<ControllerSockets> bind_controller_sockets(
    const std::string& ip, int port, std::string& error)
{
    sockaddr_in address {};
    if (!make_address(ip, port, address)) {
        error = "not an IPv4 address: " + ip;
        return std::nullopt;
    }
    for (int attempt = 0; attempt < kBindAttempts; ++attempt) {
        ControllerSockets sockets;
        sockets.tcp = bound_socket(SOCK_STREAM, address);
        if (!sockets.tcp.valid() || ::listen(sockets.tcp.get(), 64) != 0) {
            error = "cannot listen on TCP " + ip + ":" + std::to_string(port) + ": "
                + std::strerror(errno);
            return std::nullopt;
        }
        sockets.port = bound_port(sockets.tcp.get());
        sockaddr_in udp_address = address;
        udp_address.sin_port = htons(static_cast<std::uint16_t>(sockets.port));
        sockets.udp = bound_socket(SOCK_DGRAM, udp_address);
        if (sockets.udp.valid())
            return sockets;
        if (port != 0) {
            error = "cannot bind UDP " + ip + ":" + std::to_string(port) + ": "
                + std::strerror(errno);
            return std::nullopt;
        }
        // The free TCP port is taken for UDP: try another one.
    }
    error = "no port free for both TCP and UDP on " + ip;
    return std::nullopt;
}

UniqueFd open_transfer_socket(const std::string& ip, const sockaddr_in& peer)
{
    sockaddr_in address {};
    if (!make_address(ip, 0, address))
        return {};
    UniqueFd fd = bound_socket(SOCK_DGRAM, address);
    if (!fd.valid())
        return {};
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0)
        return {};
    return fd;
}

bool wait_readable(int fd, std::chrono::milliseconds timeout)
{
    pollfd entry { fd, POLLIN, 0 };
    int ready = ::poll(&entry, 1, static_cast<int>(timeout.count()));
    return ready > 0 && (entry.revents & (POLLIN | POLLERR | POLLHUP));
}

} // namespace kovru::sim

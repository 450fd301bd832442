#include "fakes/lossy_udp_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace kovru::testing {
namespace {

sockaddr_in loopback(int port)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
}

int bound_socket(int& port)
{
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

} // namespace

LossyUdpRelay::LossyUdpRelay(int server_port, LossRule rule)
    : server_port_(server_port)
    , rule_(std::move(rule))
{
    int unused = 0;
    client_side_ = bound_socket(port_);
    server_side_ = bound_socket(unused);
    if (running())
        thread_ = std::thread([this] { relay(); });
}

LossyUdpRelay::~LossyUdpRelay()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    for (int fd : { client_side_, server_side_ })
        if (fd >= 0)
            ::close(fd);
}

void LossyUdpRelay::relay()
{
    sockaddr_in client {};
    sockaddr_in server = loopback(server_port_); // the transfer's port once it answered
    int counts[2] = { 0, 0 };
    std::vector<std::uint8_t> buffer(70000);
    while (!stopping_) {
        pollfd waiting[2] = { { client_side_, POLLIN, 0 }, { server_side_, POLLIN, 0 } };
        if (::poll(waiting, 2, 100) <= 0)
            continue;
        for (int side = 0; side < 2; ++side) {
            if (!(waiting[side].revents & POLLIN))
                continue;
            sockaddr_in from {};
            socklen_t length = sizeof from;
            ssize_t size = ::recvfrom(waiting[side].fd, buffer.data(), buffer.size(), 0,
                reinterpret_cast<sockaddr*>(&from), &length);
            if (size < 0)
                continue;
            const bool from_client = side == 0;
            const bool request = size >= 2 && buffer[0] == 0 && (buffer[1] == 1 || buffer[1] == 2);
            if (from_client && request)
                server = loopback(server_port_); // a new transfer starts at the server's port
            else if (!from_client)
                server = from;
            if (from_client)
                client = from;
            std::span<const std::uint8_t> packet(buffer.data(), static_cast<std::size_t>(size));
            if (rule_ && rule_(from_client, ++counts[side], packet)) {
                ++dropped_;
                continue;
            }
            const sockaddr_in& to = from_client ? server : client;
            ::sendto(from_client ? server_side_ : client_side_, packet.data(), packet.size(), 0,
                reinterpret_cast<const sockaddr*>(&to), sizeof to);
        }
    }
}

} // namespace kovru::testing

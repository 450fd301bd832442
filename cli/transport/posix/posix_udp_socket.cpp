#include "cli/transport/posix/posix_udp_socket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kovru {
namespace {

UdpEndpoint endpoint_of(const sockaddr_storage& address)
{
    UdpEndpoint endpoint;
    if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        endpoint.ipv6 = true;
        std::memcpy(endpoint.address.data(), &v6.sin6_addr, 16);
        endpoint.port = ntohs(v6.sin6_port);
    } else {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        std::memcpy(endpoint.address.data(), &v4.sin_addr, 4);
        endpoint.port = ntohs(v4.sin_port);
    }
    return endpoint;
}

socklen_t address_of(const UdpEndpoint& endpoint, sockaddr_storage& address)
{
    address = {};
    if (endpoint.ipv6) {
        auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
        v6.sin6_family = AF_INET6;
        std::memcpy(&v6.sin6_addr, endpoint.address.data(), 16);
        v6.sin6_port = htons(endpoint.port);
        return sizeof v6;
    }
    auto& v4 = reinterpret_cast<sockaddr_in&>(address);
    v4.sin_family = AF_INET;
    std::memcpy(&v4.sin_addr, endpoint.address.data(), 4);
    v4.sin_port = htons(endpoint.port);
    return sizeof v4;
}

class PosixUdpSocket final : public UdpSocket {
public:
    explicit PosixUdpSocket(int fd)
        : fd_(fd)
    {
    }
    ~PosixUdpSocket() override { ::close(fd_); }
    PosixUdpSocket(const PosixUdpSocket&) = delete;
    PosixUdpSocket& operator=(const PosixUdpSocket&) = delete;

    Clock::time_point now() override { return Clock::now(); }

    bool send_to(const UdpEndpoint& peer, std::span<const std::uint8_t> bytes) override
    {
        sockaddr_storage address;
        socklen_t length = address_of(peer, address);
        ssize_t sent;
        do
            sent = ::sendto(fd_, bytes.data(), bytes.size(), 0,
                reinterpret_cast<const sockaddr*>(&address), length);
        while (sent < 0 && errno == EINTR);
        return sent == static_cast<ssize_t>(bytes.size());
    }

    std::optional<Datagram> receive(
        std::span<std::uint8_t> buffer, Clock::time_point deadline) override
    {
        for (;;) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return std::nullopt;
            pollfd waiting { fd_, POLLIN, 0 };
            int ready
                = ::poll(&waiting, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
            if (ready <= 0)
                continue;
            sockaddr_storage from {};
            socklen_t from_length = sizeof from;
            ssize_t received = ::recvfrom(fd_, buffer.data(), buffer.size(), MSG_TRUNC,
                reinterpret_cast<sockaddr*>(&from), &from_length);
            if (received < 0)
                continue; // an ICMP error of an earlier datagram, or EINTR
            return Datagram { std::min(static_cast<std::size_t>(received), buffer.size()),
                endpoint_of(from) };
        }
    }

private:
    int fd_;
};

} // namespace

OpenedUdpSocket open_udp_socket(const std::string& host, std::uint16_t port)
{
    OpenedUdpSocket opened;
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) {
        opened.failure = CURLE_COULDNT_RESOLVE_HOST;
        return opened;
    }
    sockaddr_storage address {};
    std::memcpy(&address, found->ai_addr, std::min<std::size_t>(found->ai_addrlen, sizeof address));
    const int family = found->ai_family;
    ::freeaddrinfo(found);
    opened.server = endpoint_of(address);
    opened.server.port = port;
    int fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        opened.failure = CURLE_COULDNT_CONNECT;
        return opened;
    }
    opened.socket = std::make_unique<PosixUdpSocket>(fd);
    return opened;
}

} // namespace kovru

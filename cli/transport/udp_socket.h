// The datagram socket a TFTP transfer runs over, behind a small interface so that each
// platform brings its own (POSIX in posix/) and tests and fuzzing bring a scripted one.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace kovru {

// An IPv4 or IPv6 address and port; a transfer's peer is told apart from strangers by it.
struct UdpEndpoint {
    std::array<std::uint8_t, 16> address {}; // the first 4 bytes for IPv4
    bool ipv6 = false;
    std::uint16_t port = 0;

    bool operator==(const UdpEndpoint&) const = default;
    bool same_host(const UdpEndpoint& other) const
    {
        return address == other.address && ipv6 == other.ipv6;
    }
};

struct Datagram {
    std::size_t size = 0; // bytes placed in the caller's buffer
    UdpEndpoint sender;
};

class UdpSocket {
public:
    using Clock = std::chrono::steady_clock;

    virtual ~UdpSocket() = default;

    // The clock the transfer measures its time-outs with; a scripted socket runs it forward.
    virtual Clock::time_point now() = 0;
    // False when the datagram could not be handed to the network.
    virtual bool send_to(const UdpEndpoint& peer, std::span<const std::uint8_t> bytes) = 0;
    // The next datagram (cut to the buffer), or nullopt once `deadline` has passed.
    virtual std::optional<Datagram> receive(
        std::span<std::uint8_t> buffer, Clock::time_point deadline)
        = 0;
};

} // namespace kovru

// A datagram socket with a TFTP server played by a script: every packet the client sends goes
// to the script, which queues the answers; time runs forward only while the client waits.
#pragma once

#include "cli/transport/udp_socket.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <vector>

namespace kovru::testing {

inline UdpEndpoint loopback(std::uint16_t port)
{
    UdpEndpoint endpoint;
    endpoint.address = { 127, 0, 0, 1 };
    endpoint.port = port;
    return endpoint;
}

struct SentDatagram {
    UdpEndpoint to;
    std::vector<std::uint8_t> bytes;
};

class ScriptedUdpSocket : public UdpSocket {
public:
    using Script = std::function<void(const SentDatagram&, ScriptedUdpSocket&)>;

    explicit ScriptedUdpSocket(Script script)
        : script_(std::move(script))
    {
    }

    void answer(std::vector<std::uint8_t> bytes, UdpEndpoint from)
    {
        queue_.push_back({ from, std::move(bytes) });
    }

    const std::vector<SentDatagram>& sent() const { return sent_; }

    Clock::time_point now() override { return now_; }

    bool send_to(const UdpEndpoint& peer, std::span<const std::uint8_t> bytes) override
    {
        sent_.push_back({ peer, { bytes.begin(), bytes.end() } });
        if (script_)
            script_(sent_.back(), *this);
        return true;
    }

    std::optional<Datagram> receive(
        std::span<std::uint8_t> buffer, Clock::time_point deadline) override
    {
        if (queue_.empty()) {
            now_ = std::max(now_, deadline);
            return std::nullopt;
        }
        SentDatagram next = std::move(queue_.front());
        queue_.pop_front();
        const std::size_t size = std::min(buffer.size(), next.bytes.size());
        if (size > 0)
            std::memcpy(buffer.data(), next.bytes.data(), size);
        return Datagram { size, next.to };
    }

private:
    Script script_;
    std::deque<SentDatagram> queue_;
    std::vector<SentDatagram> sent_;
    Clock::time_point now_ {};
};

} // namespace kovru::testing

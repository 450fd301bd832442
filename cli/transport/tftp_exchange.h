// What a TFTP read and an upload share: the packets to and from the server's transfer port,
// strangers answered with error 5, the repeat rhythm and the limits that end a transfer.
#pragma once

#include "cli/transport/tftp_client.h"
#include "cli/transport/tftp_pacing.h"
#include "cli/transport/tftp_packets.h"
#include "cli/transport/udp_socket.h"

#include <curl/curl.h>

#include <vector>

namespace kovru {

class TftpExchange {
public:
    using Clock = UdpSocket::Clock;

    enum class Event { packet, repeat_due, ended };

    TftpExchange(UdpSocket& socket, const UdpEndpoint& server, const TftpLimits& limits,
        const TftpHooks& hooks);

    // The "timeout" option of the request: the repeat interval until the first answer.
    int request_timeout_s() const { return rhythm_.retry_seconds; }

    void send(std::span<const std::uint8_t> packet);
    // Waits for the next packet of the transfer (into `packet`, valid until the next call)
    // or for the moment to repeat the last packet sent; `ended` when the transfer has to stop
    // (result() says why).
    Event next(TftpIncoming& packet);
    // The server answered: from now on the time-outs of a running transfer apply.
    void connected();
    // A packet that moved the transfer on: the repeat count starts again.
    void progressed(std::uint64_t bytes_so_far);
    // Ends the transfer with an error packet to the server.
    void refuse(std::uint16_t code, std::string_view text);

    Clock::time_point now() { return socket_.now(); }
    CURLcode result() const { return result_; }
    bool cancelled() const { return cancelled_; }

private:
    bool over_limits(Clock::time_point now);
    Clock::time_point repeat_at() const;
    bool from_peer(const Datagram& datagram);

    UdpSocket& socket_;
    UdpEndpoint peer_;
    bool peer_known_ = false;
    bool connected_ = false;
    const TftpLimits& limits_;
    const TftpHooks& hooks_;
    Clock::time_point started_;
    Clock::time_point last_activity_;
    TftpRetryRhythm rhythm_;
    int repeats_ = 0;
    std::uint64_t bytes_so_far_ = 0;
    LowSpeedWatch speed_;
    CURLcode result_ = CURLE_OK;
    bool cancelled_ = false;
    std::vector<std::uint8_t> buffer_;
};

// The CURLcode of an ERROR packet's code, as the tool has always reported them.
CURLcode tftp_error_result(std::uint16_t code);

} // namespace kovru

#include "cli/transport/tftp_exchange.h"

#include <algorithm>

namespace kovru {
namespace {

using namespace std::chrono_literals;

// Waits are cut into slices so that a stop request and the speed check are seen in time.
constexpr auto kWaitSlice = 100ms;
// The largest datagram of the largest block size, and one byte to tell a longer one.
constexpr std::size_t kReceiveBuffer = 65464 + 4 + 1;

} // namespace

CURLcode tftp_error_result(std::uint16_t code)
{
    switch (code) {
    case 0:
    case 4:
        return CURLE_TFTP_ILLEGAL;
    case 1:
        return CURLE_TFTP_NOTFOUND;
    case 2:
        return CURLE_TFTP_PERM;
    case 3:
        return CURLE_REMOTE_DISK_FULL;
    case 5:
        return CURLE_TFTP_UNKNOWNID;
    case 6:
        return CURLE_REMOTE_FILE_EXISTS;
    case 7:
        return CURLE_TFTP_NOSUCHUSER;
    default:
        return CURLE_ABORTED_BY_CALLBACK; // 8, a refused option, among them
    }
}

TftpExchange::TftpExchange(
    UdpSocket& socket, const UdpEndpoint& server, const TftpLimits& limits, const TftpHooks& hooks)
    : socket_(socket)
    , peer_(server)
    , limits_(limits)
    , hooks_(hooks)
    , started_(socket.now())
    , last_activity_(started_)
    , rhythm_(tftp_retry_rhythm(std::min(limits.connect_timeout, limits.total_timeout)))
    , speed_(limits.low_speed_limit, limits.low_speed_window)
    , buffer_(kReceiveBuffer)
{
}

void TftpExchange::send(std::span<const std::uint8_t> packet)
{
    // A datagram the system could not take counts as lost: the repeat rhythm covers it.
    socket_.send_to(peer_, packet);
}

void TftpExchange::connected()
{
    if (connected_)
        return;
    connected_ = true;
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(now() - started_);
    rhythm_ = tftp_retry_rhythm(limits_.total_timeout - spent);
    repeats_ = 0;
}

void TftpExchange::progressed(std::uint64_t bytes_so_far)
{
    last_activity_ = now();
    repeats_ = 0;
    bytes_so_far_ = bytes_so_far;
}

void TftpExchange::refuse(std::uint16_t code, std::string_view text)
{
    send(tftp_error_packet(code, text));
}

TftpExchange::Clock::time_point TftpExchange::repeat_at() const
{
    // Whole seconds, counted as the tool's transfers always counted them: the repeat comes
    // in the second after the interval has run out.
    return last_activity_ + std::chrono::seconds(rhythm_.retry_seconds + 1);
}

bool TftpExchange::over_limits(Clock::time_point now)
{
    if (hooks_.stop_requested && hooks_.stop_requested()) {
        cancelled_ = true;
        result_ = CURLE_ABORTED_BY_CALLBACK;
        refuse(0, "Transfer cancelled");
        return true;
    }
    const auto limit = connected_ ? limits_.total_timeout
                                  : std::min(limits_.connect_timeout, limits_.total_timeout);
    if (now - started_ >= limit || speed_.too_slow(now, bytes_so_far_)) {
        result_ = CURLE_OPERATION_TIMEDOUT;
        return true;
    }
    return false;
}

bool TftpExchange::from_peer(const Datagram& datagram)
{
    if (peer_known_ ? datagram.sender == peer_ : datagram.sender.same_host(peer_)) {
        peer_ = datagram.sender;
        peer_known_ = true;
        return true;
    }
    auto error = tftp_error_packet(kTftpUnknownTransferId, "Unknown transfer ID");
    socket_.send_to(datagram.sender, error);
    return false;
}

TftpExchange::Event TftpExchange::next(TftpIncoming& packet)
{
    for (;;) {
        const Clock::time_point moment = now();
        if (over_limits(moment))
            return Event::ended;
        if (moment >= repeat_at()) {
            if (++repeats_ > rhythm_.retry_max) {
                result_ = connected_ ? CURLE_OPERATION_TIMEDOUT : CURLE_COULDNT_CONNECT;
                return Event::ended;
            }
            last_activity_ = moment;
            return Event::repeat_due;
        }
        const auto deadline = std::min(repeat_at(), moment + kWaitSlice);
        std::optional<Datagram> datagram = socket_.receive(buffer_, deadline);
        if (!datagram || !from_peer(*datagram))
            continue;
        std::optional<TftpIncoming> read
            = read_tftp_packet(std::span<const std::uint8_t>(buffer_).first(datagram->size));
        if (!read)
            continue;
        packet = *read;
        return Event::packet;
    }
}

} // namespace kovru

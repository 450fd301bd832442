#include "cli/transport/tftp_client.h"

#include "cli/transport/tftp_exchange.h"
#include "cli/transport/tftp_options.h"

#include <algorithm>

namespace kovru {
namespace {

using namespace std::chrono_literals;

// A repeat of the newest packet this long after our own last packet is the other side's
// repeat after its time-out, which is answered. Sooner it is a copy on the way, and answering
// copies would double every packet from then on.
constexpr auto kServerRepeatPatience = 1s;

std::uint16_t wire_number(std::uint64_t block)
{
    return static_cast<std::uint16_t>(block & 0xFFFF);
}

// How far `number` lies after the block number `base` on the 16-bit circle.
std::uint16_t distance_after(std::uint64_t base, std::uint16_t number)
{
    return static_cast<std::uint16_t>(number - wire_number(base));
}

TftpOutcome ended(const TftpExchange& exchange, std::optional<std::uint64_t> announced = {})
{
    return { exchange.result(), exchange.cancelled(), announced };
}

TftpOutcome failed(CURLcode result, std::optional<std::uint64_t> announced = {})
{
    return { result, false, announced };
}

TftpAsked asked_for(
    const TftpTransferTerms& terms, const TftpExchange& exchange, bool reading, std::uint64_t size)
{
    TftpAsked asked;
    asked.reading = reading;
    asked.transfer_size = size;
    asked.block_size = terms.block_size;
    asked.timeout_s = exchange.request_timeout_s();
    asked.window_size = terms.window_size;
    return asked;
}

// The terms of an OACK; nullopt after refusing it with error 8.
std::optional<TftpAgreed> agree(
    TftpExchange& exchange, const TftpIncoming& packet, const TftpAsked& asked)
{
    std::optional<TftpOptionList> options = read_tftp_options(packet.payload);
    std::optional<TftpAgreed> agreed
        = options ? accept_tftp_oack(*options, asked) : std::optional<TftpAgreed> {};
    if (!agreed)
        exchange.refuse(kTftpOptionRefused, "Option values not asked for");
    return agreed;
}

class Reader {
public:
    Reader(TftpExchange& exchange, const TftpHooks& hooks, const TftpAsked& asked)
        : exchange_(exchange)
        , hooks_(hooks)
        , asked_(asked)
    {
    }

    // nullopt while the transfer goes on.
    std::optional<TftpOutcome> take(const TftpIncoming& packet)
    {
        if (packet.op == TftpOp::error)
            return failed(tftp_error_result(packet.number), agreed_.transfer_size);
        if (packet.op == TftpOp::oack && blocks_ == 0)
            return take_oack(packet);
        if (packet.op == TftpOp::data)
            return take_data(packet);
        return std::nullopt;
    }

    bool started() const { return terms_known_; }
    // Our newest acknowledgement again, after a time-out: it names where the server resumes.
    void repeat() { acknowledge(); }

private:
    std::optional<TftpOutcome> take_oack(const TftpIncoming& packet)
    {
        if (!terms_known_) {
            std::optional<TftpAgreed> agreed = agree(exchange_, packet, asked_);
            if (!agreed)
                return failed(CURLE_TFTP_ILLEGAL);
            agreed_ = *agreed;
            terms_known_ = true;
            exchange_.connected();
            exchange_.progressed(0);
            report();
        }
        acknowledge(); // a repeated OACK: our ACK 0 was lost
        return std::nullopt;
    }

    std::optional<TftpOutcome> take_data(const TftpIncoming& packet)
    {
        if (!terms_known_) {
            if (packet.number != 1)
                return std::nullopt;
            terms_known_ = true; // no OACK: the server ignored the options
            exchange_.connected();
        }
        const std::uint16_t ahead = distance_after(blocks_, packet.number);
        if (ahead == 1)
            return take_next_block(packet.payload);
        if (ahead == 0 && blocks_ > 0) {
            // The newest block again: our ACK was lost. In a window it may also be a copy on
            // the way, and answering each copy would make the server send whole windows twice.
            if (agreed_.window_size == 1
                || exchange_.now() - acknowledged_at_ >= kServerRepeatPatience)
                acknowledge();
        } else if (ahead < 0x8000 && agreed_.window_size > 1 && !gap_acknowledged_) {
            // A block of the window is missing: the server resumes after the newest one.
            acknowledge();
            gap_acknowledged_ = true;
        }
        return std::nullopt;
    }

    std::optional<TftpOutcome> take_next_block(std::span<const std::uint8_t> payload)
    {
        if (payload.size() > static_cast<std::size_t>(agreed_.block_size)) {
            exchange_.refuse(kTftpIllegalOperation, "Block larger than agreed");
            return failed(CURLE_TFTP_ILLEGAL, agreed_.transfer_size);
        }
        if (!payload.empty() && hooks_.take_data && !hooks_.take_data(payload)) {
            exchange_.refuse(3, "Out of room");
            return failed(CURLE_WRITE_ERROR, agreed_.transfer_size);
        }
        ++blocks_;
        bytes_ += payload.size();
        exchange_.progressed(bytes_);
        report();
        gap_acknowledged_ = false;
        const bool last = payload.size() < static_cast<std::size_t>(agreed_.block_size);
        if (last || ++window_fill_ >= agreed_.window_size)
            acknowledge();
        if (last)
            return TftpOutcome { CURLE_OK, false, agreed_.transfer_size };
        return std::nullopt;
    }

    void acknowledge()
    {
        window_fill_ = 0;
        acknowledged_at_ = exchange_.now();
        exchange_.send(tftp_ack_packet(wire_number(blocks_)));
    }

    void report()
    {
        if (hooks_.progress)
            hooks_.progress(agreed_.transfer_size.value_or(0), bytes_);
    }

    TftpExchange& exchange_;
    const TftpHooks& hooks_;
    TftpAsked asked_;
    TftpAgreed agreed_;
    bool terms_known_ = false;
    std::uint64_t blocks_ = 0; // received in order
    std::uint64_t bytes_ = 0;
    int window_fill_ = 0;
    bool gap_acknowledged_ = false;
    TftpExchange::Clock::time_point acknowledged_at_ {};
};

class Writer {
public:
    Writer(TftpExchange& exchange, const TftpHooks& hooks, const TftpAsked& asked,
        std::span<const std::uint8_t> image)
        : exchange_(exchange)
        , hooks_(hooks)
        , asked_(asked)
        , image_(image)
    {
    }

    std::optional<TftpOutcome> take(const TftpIncoming& packet)
    {
        if (packet.op == TftpOp::error)
            return failed(tftp_error_result(packet.number));
        if (packet.op == TftpOp::oack)
            return take_oack(packet);
        if (packet.op == TftpOp::ack)
            return take_ack(packet.number);
        return std::nullopt;
    }

    bool started() const { return terms_known_; }
    // After a time-out: the unacknowledged window once more.
    void repeat() { send_window(); }

private:
    std::optional<TftpOutcome> take_oack(const TftpIncoming& packet)
    {
        if (terms_known_) {
            // A repeated OACK before block 1 is acknowledged: block 1 was lost or is late.
            // It goes out again with the same bytes; later repeats are stale.
            if (acknowledged_ == 0)
                send_window();
            return std::nullopt;
        }
        std::optional<TftpAgreed> agreed = agree(exchange_, packet, asked_);
        if (!agreed)
            return failed(CURLE_TFTP_ILLEGAL);
        start(*agreed);
        return std::nullopt;
    }

    std::optional<TftpOutcome> take_ack(std::uint16_t number)
    {
        if (!terms_known_) {
            if (number == 0)
                start(TftpAgreed {}); // no OACK: the server ignored the options
            return std::nullopt;
        }
        const std::uint64_t candidate = acknowledged_ + distance_after(acknowledged_, number);
        if (candidate > acknowledged_ && candidate <= sent_up_to_) {
            acknowledged_ = candidate;
            exchange_.progressed(bytes_acknowledged());
            if (hooks_.progress)
                hooks_.progress(image_.size(), bytes_acknowledged());
            if (acknowledged_ == block_count_)
                return TftpOutcome { CURLE_OK, false, {} };
            send_window();
        } else if (candidate == acknowledged_
            && exchange_.now() - window_sent_at_ >= kServerRepeatPatience) {
            send_window();
        }
        return std::nullopt;
    }

    void start(const TftpAgreed& agreed)
    {
        agreed_ = agreed;
        terms_known_ = true;
        block_count_ = image_.size() / static_cast<std::size_t>(agreed_.block_size) + 1;
        exchange_.connected();
        exchange_.progressed(0);
        send_window();
    }

    std::uint64_t bytes_acknowledged() const
    {
        return std::min<std::uint64_t>(
            acknowledged_ * static_cast<std::uint64_t>(agreed_.block_size), image_.size());
    }

    void send_window()
    {
        const auto size = static_cast<std::uint64_t>(agreed_.block_size);
        const std::uint64_t last = std::min<std::uint64_t>(
            acknowledged_ + static_cast<std::uint64_t>(agreed_.window_size), block_count_);
        for (std::uint64_t block = acknowledged_ + 1; block <= last; ++block) {
            const std::uint64_t offset = (block - 1) * size;
            const std::uint64_t length = std::min<std::uint64_t>(size, image_.size() - offset);
            tftp_data_packet(wire_number(block), image_.subspan(offset, length), packet_);
            exchange_.send(packet_);
        }
        sent_up_to_ = std::max(sent_up_to_, last);
        window_sent_at_ = exchange_.now();
    }

    TftpExchange& exchange_;
    const TftpHooks& hooks_;
    TftpAsked asked_;
    std::span<const std::uint8_t> image_;
    TftpAgreed agreed_;
    bool terms_known_ = false;
    std::uint64_t block_count_ = 0; // the last one shorter than a block, maybe empty
    std::uint64_t acknowledged_ = 0;
    std::uint64_t sent_up_to_ = 0;
    TftpExchange::Clock::time_point window_sent_at_ {};
    std::vector<std::uint8_t> packet_;
};

template <typename Side>
TftpOutcome run(TftpExchange& exchange, Side& side, const std::vector<std::uint8_t>& request)
{
    exchange.send(request);
    for (;;) {
        TftpIncoming packet;
        switch (exchange.next(packet)) {
        case TftpExchange::Event::ended:
            return ended(exchange);
        case TftpExchange::Event::repeat_due:
            if (side.started())
                side.repeat();
            else
                exchange.send(request);
            break;
        case TftpExchange::Event::packet:
            if (std::optional<TftpOutcome> outcome = side.take(packet))
                return *outcome;
            break;
        }
    }
}

} // namespace

TftpOutcome tftp_read(UdpSocket& socket, const UdpEndpoint& server, const TftpTransferTerms& terms,
    const TftpLimits& limits, const TftpHooks& hooks)
{
    TftpExchange exchange(socket, server, limits, hooks);
    const TftpAsked asked = asked_for(terms, exchange, true, 0);
    Reader reader(exchange, hooks, asked);
    return run(exchange, reader,
        tftp_request_packet(TftpOp::rrq, terms.filename, tftp_request_options(asked)));
}

TftpOutcome tftp_write(UdpSocket& socket, const UdpEndpoint& server, const TftpTransferTerms& terms,
    std::span<const std::uint8_t> image, const TftpLimits& limits, const TftpHooks& hooks)
{
    TftpExchange exchange(socket, server, limits, hooks);
    const TftpAsked asked = asked_for(terms, exchange, false, image.size());
    Writer writer(exchange, hooks, asked, image);
    return run(exchange, writer,
        tftp_request_packet(TftpOp::wrq, terms.filename, tftp_request_options(asked)));
}

} // namespace kovru

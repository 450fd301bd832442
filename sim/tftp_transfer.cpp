#include "sim/tftp_transfer.h"

#include "sim/sockets.h"
#include "sim/tftp_faults.h"

#include <sys/socket.h>

#include <charconv>
#include <chrono>
#include <thread>

namespace kovru::sim {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kSmallestBlockSize = 8;
constexpr std::size_t kLargestBlockSize = 65464;
constexpr auto kStopCheckInterval = 200ms;
constexpr auto kFirstBlockWait = 1000ms;

std::optional<std::uint64_t> parse_unsigned(const std::string& text)
{
    std::uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::string remote_name(const std::string& filename)
{
    return filename.starts_with('/') ? filename.substr(1) : filename;
}

std::string packet_name(const char* kind, std::uint64_t number)
{
    return kind + std::to_string(number);
}

// How far `number` lies after block `base` on the 16-bit circle of block numbers.
std::uint16_t distance_after(std::uint64_t base, std::uint16_t number)
{
    return static_cast<std::uint16_t>(number - static_cast<std::uint16_t>(base));
}

class Transfer {
public:
    Transfer(Controller& controller, UniqueFd socket, const std::atomic<bool>& stopping)
        : controller_(controller)
        , socket_(std::move(socket))
        , stopping_(stopping)
        , retries_(controller.config().tftp_retries)
        , faults_(controller.config().faults)
        , incoming_(kLargestBlockSize + 4)
    {
    }

    void send_error(TftpErrorCode code, const std::string& message)
    {
        auto packet = tftp_error(code, message);
        ::send(socket_.get(), packet.data(), packet.size(), 0);
    }

    void serve_read(const TftpRequest& request, const std::vector<std::uint8_t>& file);
    void serve_write(const TftpRequest& request);

private:
    // Sends the packet named `name` as the chosen faults say; false when a fault replaced it
    // with an error and the transfer ends.
    // A window's blocks after its first travel with it: latency is added once per window, as
    // a link delays every packet by the same time.
    bool send_packet(const std::vector<std::uint8_t>& packet, const std::string& name,
        bool may_be_lost = true, bool add_latency = true)
    {
        int latency = controller_.config().faults.latency_ms;
        if (latency > 0 && add_latency)
            std::this_thread::sleep_for(std::chrono::milliseconds(latency));
        std::vector<std::uint8_t> held = std::move(held_back_);
        held_back_.clear();
        const OutgoingFault fault = faults_.outgoing(name);
        if (fault == OutgoingFault::error) {
            send_error(TftpErrorCode::not_defined, "Simulated failure mid-transfer");
            return false;
        }
        if (fault == OutgoingFault::delay)
            std::this_thread::sleep_for(
                std::chrono::milliseconds(controller_.config().faults.tftp_delay_ms));
        if (fault == OutgoingFault::stray)
            send_from_stranger(packet);
        if (fault == OutgoingFault::reorder)
            held_back_ = packet;
        else if (fault != OutgoingFault::drop && !(may_be_lost && controller_.drop_tftp_packet()))
            ::send(socket_.get(), packet.data(), packet.size(), 0);
        if (fault == OutgoingFault::duplicate)
            ::send(socket_.get(), packet.data(), packet.size(), 0);
        if (!held.empty())
            ::send(socket_.get(), held.data(), held.size(), 0);
        return true;
    }

    // The packet once more from another port: a client answers it with error 5.
    void send_from_stranger(const std::vector<std::uint8_t>& packet)
    {
        sockaddr_in peer {};
        socklen_t length = sizeof peer;
        if (::getpeername(socket_.get(), reinterpret_cast<sockaddr*>(&peer), &length) != 0)
            return;
        UniqueFd stranger = open_transfer_socket(controller_.config().ip, peer);
        if (stranger.valid())
            ::send(stranger.get(), packet.data(), packet.size(), 0);
    }

    // The next packet from the client, or nullopt when `timeout` passes (or the server stops).
    std::optional<TftpPacket> receive(std::chrono::milliseconds timeout)
    {
        auto deadline = Clock::now() + timeout;
        while (!stopping_) {
            auto left
                = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left <= 0ms)
                return std::nullopt;
            if (!wait_readable(
                    socket_.get(), std::min(left, std::chrono::milliseconds(kStopCheckInterval))))
                continue;
            ssize_t received = ::recv(socket_.get(), incoming_.data(), incoming_.size(), 0);
            if (received < 0)
                return std::nullopt;
            auto packet = parse_tftp_packet(
                std::span(incoming_.data(), static_cast<std::size_t>(received)));
            if (packet)
                return packet;
        }
        return std::nullopt;
    }

    // Waits for an ACK of a block from first to last (by the numbers they have on the wire,
    // counted from first - 1); the newest such block, 0 on time-out, nullopt on an error.
    std::optional<std::uint64_t> await_ack(
        std::uint64_t first, std::uint64_t last, std::chrono::milliseconds timeout)
    {
        auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline && !stopping_) {
            auto left
                = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            std::optional<TftpPacket> answer = receive(left);
            if (!answer)
                break;
            if (answer->opcode == TftpOpcode::error)
                return std::nullopt;
            if (answer->opcode != TftpOpcode::ack)
                continue;
            // An older ACK is a duplicate: answering it would double every later block.
            const std::uint64_t acked = first - 1 + distance_after(first - 1, answer->block);
            if (acked < first || acked > last)
                continue;
            if (faults_.drop_incoming(packet_name("ack", acked)))
                continue;
            return acked;
        }
        return 0;
    }

    // Sends the OACK of a read until the client acknowledges it with ACK 0.
    bool send_oack_until_acknowledged(
        const std::vector<std::uint8_t>& packet, std::chrono::milliseconds timeout)
    {
        for (int attempt = 0; attempt <= retries_ && !stopping_; ++attempt) {
            if (!send_packet(packet, "oack"))
                return false;
            auto deadline = Clock::now() + timeout;
            while (Clock::now() < deadline && !stopping_) {
                auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - Clock::now());
                std::optional<TftpPacket> answer = receive(left);
                if (!answer)
                    break;
                if (answer->opcode == TftpOpcode::error)
                    return false;
                if (answer->opcode == TftpOpcode::ack && answer->block == 0
                    && !faults_.drop_incoming("ack0"))
                    return true;
            }
        }
        return false;
    }

    Controller& controller_;
    UniqueFd socket_;
    const std::atomic<bool>& stopping_;
    const int retries_;
    TftpFaultPlan faults_;
    std::vector<std::uint8_t> held_back_;
    std::vector<std::uint8_t> incoming_;
};

std::vector<std::pair<std::string, std::string>> answered_options(
    const TftpNegotiation& terms, const FaultSettings& faults)
{
    auto options = terms.accepted;
    if (faults.tftp_oack_unasked)
        options.emplace_back("rollover", "0");
    return options;
}

void Transfer::serve_read(const TftpRequest& request, const std::vector<std::uint8_t>& file)
{
    const ControllerConfig& config = controller_.config();
    TftpNegotiation terms = negotiate_tftp_options(request, file.size(), config);
    if (terms.block_size_refused) {
        send_error(TftpErrorCode::option_refused, "Block size refused");
        return;
    }
    if (!terms.accepted.empty()
        && !send_oack_until_acknowledged(
            tftp_oack(answered_options(terms, config.faults)), terms.timeout))
        return;
    // A cut transfer announces the whole size and ends with a short block halfway.
    const std::size_t sent_size = config.faults.tftp_truncated
        ? file.size() / 2 / terms.block_size * terms.block_size + terms.block_size / 2
        : file.size();
    std::span<const std::uint8_t> sent(file.data(), std::min(sent_size, file.size()));
    const std::uint64_t blocks = sent.size() / terms.block_size + 1;
    std::uint64_t stalled = 0;
    // Lock-step windows (RFC 7440): a window of blocks, then the client's ACK of the newest
    // block it has in order; the next window starts after that block.
    for (std::uint64_t base = 1; base <= blocks;) {
        const std::uint64_t last = std::min<std::uint64_t>(base + terms.window_size - 1, blocks);
        std::uint64_t acked = 0;
        for (int attempt = 0; attempt <= retries_ && acked == 0 && !stopping_; ++attempt) {
            for (std::uint64_t number = base; number <= last; ++number) {
                if (number == static_cast<std::uint64_t>(config.faults.tftp_stall_block)
                    && config.faults.tftp_stall_ms > 0 && stalled++ == 0)
                    std::this_thread::sleep_for(
                        std::chrono::milliseconds(config.faults.tftp_stall_ms));
                std::size_t offset = static_cast<std::size_t>((number - 1) * terms.block_size);
                std::size_t length = std::min(terms.block_size, sent.size() - offset);
                if (!send_packet(
                        tftp_data(static_cast<std::uint16_t>(number), sent.subspan(offset, length)),
                        packet_name("data", number), true, number == base))
                    return;
            }
            std::optional<std::uint64_t> answer = await_ack(base, last, terms.timeout);
            if (!answer)
                return;
            acked = *answer;
        }
        if (acked == 0)
            return;
        base = acked + 1;
    }
}

void Transfer::serve_write(const TftpRequest& request)
{
    const ControllerConfig& config = controller_.config();
    TftpNegotiation terms = negotiate_tftp_options(request, 0, config);
    if (terms.block_size_refused) {
        send_error(TftpErrorCode::option_refused, "Block size refused");
        return;
    }
    if (terms.announced_size && *terms.announced_size > kUploadSizeLimit) {
        send_error(TftpErrorCode::disk_full, "Image too large");
        return;
    }
    std::vector<std::uint8_t> image;
    std::vector<std::uint8_t> reply
        = terms.accepted.empty() ? tftp_ack(0) : tftp_oack(answered_options(terms, config.faults));
    std::string reply_name = terms.accepted.empty() ? "ack0" : "oack";
    std::uint64_t expected = 1;
    int silent_timeouts = 0;
    int window_fill = 0;
    bool gap_answered = false;
    // A repeated option acknowledgement used to be taken by clients as a new start that
    // skipped a block (docs/firmware.md): the answer to the request is not lost, and is
    // repeated only after a moment in which any client sends its first block.
    const auto first_block_wait = std::max(terms.timeout, kFirstBlockWait);
    if (!send_packet(reply, reply_name, false))
        return;
    while (!stopping_) {
        std::optional<TftpPacket> packet
            = receive(expected == 1 ? first_block_wait : terms.timeout);
        if (!packet) {
            if (++silent_timeouts > config.tftp_retries)
                return;
            window_fill = 0;
            if (!send_packet(reply, reply_name, expected > 1))
                return;
            continue;
        }
        if (packet->opcode == TftpOpcode::error)
            return;
        if (packet->opcode != TftpOpcode::data)
            continue;
        const std::uint16_t ahead = distance_after(expected - 1, packet->block);
        if (ahead != 1) {
            if (ahead == 0 && expected > 1) {
                if (!send_packet(reply, reply_name)) // our ACK was lost
                    return;
            } else if (ahead < 0x8000 && terms.window_size > 1 && !gap_answered) {
                // A block of the window is missing: the client resumes after the newest.
                gap_answered = true;
                window_fill = 0;
                if (!send_packet(reply, reply_name))
                    return;
            }
            continue;
        }
        if (faults_.drop_incoming(packet_name("data", expected)))
            continue;
        silent_timeouts = 0;
        gap_answered = false;
        if (packet->payload.size() > terms.block_size
            || image.size() + packet->payload.size() > kUploadSizeLimit) {
            send_error(TftpErrorCode::disk_full, "Image too large");
            return;
        }
        image.insert(image.end(), packet->payload.begin(), packet->payload.end());
        reply = tftp_ack(packet->block);
        reply_name = packet_name("ack", expected);
        const bool last_block = packet->payload.size() < terms.block_size;
        // Stored before the last ACK: a client acts on the upload as soon as it has it.
        if (last_block)
            controller_.store_upload(std::move(image));
        ++expected;
        if (last_block || ++window_fill >= terms.window_size) {
            window_fill = 0;
            if (!send_packet(reply, reply_name))
                return;
        }
        if (last_block)
            break;
    }
    if (stopping_)
        return;
    // Linger while the client may still send the last block again because its ACK was lost:
    // as long as the retransmissions of a transfer may take, since clients wait long before
    // they repeat a block.
    for (int quiet = 0; quiet < retries_ && !stopping_;) {
        std::optional<TftpPacket> late = receive(terms.timeout);
        if (!late)
            ++quiet;
        else if (late->opcode == TftpOpcode::data && !send_packet(reply, reply_name))
            return;
    }
}

} // namespace

// Unknown options and out-of-range values are left out of the OACK, as RFC 2347 allows.
TftpNegotiation negotiate_tftp_options(
    const TftpRequest& request, std::uint64_t file_size, const ControllerConfig& config)
{
    TftpNegotiation result;
    std::chrono::milliseconds default_timeout(config.tftp_timeout_ms);
    result.timeout = default_timeout;
    for (const auto& [name, value] : request.options) {
        std::optional<std::uint64_t> number = parse_unsigned(value);
        if (!number)
            continue;
        if (name == "blksize" && *number >= kSmallestBlockSize) {
            const std::size_t largest = std::min(config.tftp_blksize_max, kLargestBlockSize);
            if (*number > largest && config.tftp_blksize_over == BlockSizeAnswer::ignore)
                continue;
            result.block_size_refused
                = *number > largest && config.tftp_blksize_over == BlockSizeAnswer::refuse;
            result.block_size = std::min<std::uint64_t>(*number, largest);
            result.accepted.emplace_back(name, std::to_string(result.block_size));
        } else if (name == "tsize") {
            bool reading = request.opcode == TftpOpcode::rrq;
            if (reading && !config.tftp_tsize)
                continue;
            if (!reading)
                result.announced_size = *number;
            result.accepted.emplace_back(name, std::to_string(reading ? file_size : *number));
        } else if (name == "windowsize" && *number >= 1 && config.tftp_windowsize_max > 1) {
            result.window_size = static_cast<int>(std::min<std::uint64_t>(
                *number, static_cast<std::uint64_t>(config.tftp_windowsize_max)));
            result.accepted.emplace_back(name, std::to_string(result.window_size));
        } else if (name == "timeout" && *number >= 1 && *number <= 255) {
            // Retransmitting sooner than the client asks for is harmless and keeps a
            // lossy link moving.
            result.timeout = std::min(
                default_timeout, std::chrono::milliseconds(std::chrono::seconds(*number)));
            result.accepted.emplace_back(name, value);
        }
    }
    return result;
}

void run_tftp_transfer(Controller& controller, UniqueFd socket, const TftpRequest& request,
    const std::atomic<bool>& stopping)
{
    Transfer transfer(controller, std::move(socket), stopping);
    if (controller.fail_tftp_request()) {
        transfer.send_error(TftpErrorCode::not_defined, "Simulated failure");
        return;
    }
    if (request.mode != "octet" && request.mode != "netascii") {
        transfer.send_error(TftpErrorCode::illegal_operation, "Unsupported transfer mode");
        return;
    }
    std::string name = remote_name(request.filename);
    if (request.opcode == TftpOpcode::wrq) {
        if (name != "flashraw.bin") {
            transfer.send_error(TftpErrorCode::access_violation, "Only flashraw.bin is writable");
            return;
        }
        transfer.serve_write(request);
        return;
    }
    std::optional<std::vector<std::uint8_t>> file = controller.read_flash(name);
    if (!file) {
        transfer.send_error(TftpErrorCode::file_not_found, "File not found");
        return;
    }
    transfer.serve_read(request, *file);
}

} // namespace kovru::sim

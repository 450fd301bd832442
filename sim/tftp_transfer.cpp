#include "sim/tftp_transfer.h"

#include "sim/sockets.h"

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

class Transfer {
public:
    Transfer(Controller& controller, UniqueFd socket, const std::atomic<bool>& stopping)
        : controller_(controller)
        , socket_(std::move(socket))
        , stopping_(stopping)
        , retries_(controller.config().tftp_retries)
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
    void send_packet(const std::vector<std::uint8_t>& packet, bool may_be_lost = true)
    {
        int latency = controller_.config().faults.latency_ms;
        if (latency > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(latency));
        if (may_be_lost && controller_.drop_tftp_packet())
            return;
        ::send(socket_.get(), packet.data(), packet.size(), 0);
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

    // Sends the packet until the client acknowledges `block`, retransmitting on time-out.
    bool send_until_acknowledged(const std::vector<std::uint8_t>& packet, std::uint16_t block,
        std::chrono::milliseconds timeout)
    {
        for (int attempt = 0; attempt <= retries_ && !stopping_; ++attempt) {
            send_packet(packet);
            auto deadline = Clock::now() + timeout;
            while (Clock::now() < deadline && !stopping_) {
                auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - Clock::now());
                std::optional<TftpPacket> answer = receive(left);
                if (!answer)
                    break;
                if (answer->opcode == TftpOpcode::error)
                    return false;
                // An older ACK is a duplicate: answering it would double every later block.
                if (answer->opcode == TftpOpcode::ack && answer->block == block)
                    return true;
            }
        }
        return false;
    }

    Controller& controller_;
    UniqueFd socket_;
    const std::atomic<bool>& stopping_;
    const int retries_;
    std::vector<std::uint8_t> incoming_;
};

void Transfer::serve_read(const TftpRequest& request, const std::vector<std::uint8_t>& file)
{
    const ControllerConfig& config = controller_.config();
    TftpNegotiation terms = negotiate_tftp_options(request, file.size(), config);
    if (terms.block_size_refused) {
        send_error(TftpErrorCode::option_refused, "Block size refused");
        return;
    }
    if (!terms.accepted.empty()
        && !send_until_acknowledged(tftp_oack(terms.accepted), 0, terms.timeout))
        return;
    // A cut transfer announces the whole size and ends with a short block halfway.
    const std::size_t sent_size = config.faults.tftp_truncated
        ? file.size() / 2 / terms.block_size * terms.block_size + terms.block_size / 2
        : file.size();
    std::span<const std::uint8_t> sent(file.data(), std::min(sent_size, file.size()));
    std::uint64_t blocks = sent.size() / terms.block_size + 1;
    for (std::uint64_t number = 1; number <= blocks; ++number) {
        std::size_t offset = static_cast<std::size_t>((number - 1) * terms.block_size);
        std::size_t length = std::min(terms.block_size, sent.size() - offset);
        if (number == static_cast<std::uint64_t>(config.faults.tftp_stall_block)
            && config.faults.tftp_stall_ms > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(config.faults.tftp_stall_ms));
        auto block = static_cast<std::uint16_t>(number);
        if (!send_until_acknowledged(
                tftp_data(block, sent.subspan(offset, length)), block, terms.timeout))
            return;
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
        = terms.accepted.empty() ? tftp_ack(0) : tftp_oack(terms.accepted);
    std::uint64_t expected = 1;
    int silent_timeouts = 0;
    // A repeated option acknowledgement is taken by libcurl as a new start, and it skips a
    // block (docs/firmware.md): the answer to the request is not lost, and is repeated only
    // after a moment in which any client sends its first block.
    const auto first_block_wait = std::max(terms.timeout, kFirstBlockWait);
    send_packet(reply, false);
    while (!stopping_) {
        std::optional<TftpPacket> packet
            = receive(expected == 1 ? first_block_wait : terms.timeout);
        if (!packet) {
            if (++silent_timeouts > config.tftp_retries)
                return;
            send_packet(reply, expected > 1);
            continue;
        }
        if (packet->opcode == TftpOpcode::error)
            return;
        if (packet->opcode != TftpOpcode::data)
            continue;
        if (packet->block != static_cast<std::uint16_t>(expected)) {
            if (packet->block == static_cast<std::uint16_t>(expected - 1))
                send_packet(reply); // our ACK was lost
            continue;
        }
        silent_timeouts = 0;
        if (packet->payload.size() > terms.block_size
            || image.size() + packet->payload.size() > kUploadSizeLimit) {
            send_error(TftpErrorCode::disk_full, "Image too large");
            return;
        }
        image.insert(image.end(), packet->payload.begin(), packet->payload.end());
        reply = tftp_ack(packet->block);
        const bool last_block = packet->payload.size() < terms.block_size;
        // Stored before the last ACK: a client acts on the upload as soon as it has it.
        if (last_block)
            controller_.store_upload(std::move(image));
        send_packet(reply);
        if (last_block)
            break;
        ++expected;
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
        else if (late->opcode == TftpOpcode::data)
            send_packet(reply);
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

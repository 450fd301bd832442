// The TFTP packets the client sends and reads: requests with options (RFC 1350, RFC 2347),
// DATA, ACK, OACK and ERROR.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kovru {

enum class TftpOp : std::uint16_t { rrq = 1, wrq = 2, data = 3, ack = 4, error = 5, oack = 6 };

inline constexpr std::uint16_t kTftpUnknownTransferId = 5;
inline constexpr std::uint16_t kTftpOptionRefused = 8;
inline constexpr std::uint16_t kTftpIllegalOperation = 4;

using TftpOptionList = std::vector<std::pair<std::string, std::string>>;

// A packet from the server. For DATA and ACK `number` is the block number, for ERROR the
// error code; `payload` is the data, the error text or the OACK's option bytes.
struct TftpIncoming {
    TftpOp op = TftpOp::data;
    std::uint16_t number = 0;
    std::span<const std::uint8_t> payload;
};

// nullopt for anything but a well-formed DATA, ACK, ERROR or OACK.
std::optional<TftpIncoming> read_tftp_packet(std::span<const std::uint8_t> datagram);

// The name and value pairs of an OACK, in order; nullopt when they are not NUL-terminated
// pairs of non-empty names.
std::optional<TftpOptionList> read_tftp_options(std::span<const std::uint8_t> payload);

std::vector<std::uint8_t> tftp_request_packet(
    TftpOp op, std::string_view filename, const TftpOptionList& options);
std::vector<std::uint8_t> tftp_ack_packet(std::uint16_t block);
void tftp_data_packet(
    std::uint16_t block, std::span<const std::uint8_t> payload, std::vector<std::uint8_t>& out);
std::vector<std::uint8_t> tftp_error_packet(std::uint16_t code, std::string_view text);

} // namespace kovru

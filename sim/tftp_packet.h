// TFTP packets: read and write requests with options, DATA, ACK, OACK and ERROR.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace kovru::sim {

enum class TftpOpcode : std::uint16_t { rrq = 1, wrq = 2, data = 3, ack = 4, error = 5, oack = 6 };

enum class TftpErrorCode : std::uint16_t {
    not_defined = 0,
    file_not_found = 1,
    access_violation = 2,
    disk_full = 3,
    illegal_operation = 4,
    unknown_tid = 5,
    file_exists = 6,
    no_such_user = 7,
    option_refused = 8,
};

struct TftpRequest {
    TftpOpcode opcode = TftpOpcode::rrq;
    std::string filename;
    std::string mode;
    // Option names in lower case, in the order the client sent them.
    std::vector<std::pair<std::string, std::string>> options;
};

// Any packet other than a request: opcode, block number (or error code) and payload.
struct TftpPacket {
    TftpOpcode opcode = TftpOpcode::data;
    std::uint16_t block = 0;
    std::span<const std::uint8_t> payload;
};

std::optional<TftpRequest> parse_tftp_request(std::span<const std::uint8_t> packet);
std::optional<TftpPacket> parse_tftp_packet(std::span<const std::uint8_t> packet);

std::vector<std::uint8_t> tftp_data(std::uint16_t block, std::span<const std::uint8_t> payload);
std::vector<std::uint8_t> tftp_ack(std::uint16_t block);
std::vector<std::uint8_t> tftp_error(TftpErrorCode code, const std::string& message);
std::vector<std::uint8_t> tftp_oack(
    const std::vector<std::pair<std::string, std::string>>& options);

} // namespace kovru::sim

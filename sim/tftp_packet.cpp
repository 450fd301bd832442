#include "sim/tftp_packet.h"

#include <algorithm>
#include <cctype>

namespace kovru::sim {
namespace {

std::uint16_t read_u16(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint16_t>((bytes[at] << 8) | bytes[at + 1]);
}

void append_u16(std::vector<std::uint8_t>& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

void append_text(std::vector<std::uint8_t>& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

// Reads a NUL-terminated text starting at `at`; nullopt when no NUL ends it inside the packet.
std::optional<std::string> read_text(std::span<const std::uint8_t> bytes, std::size_t& at)
{
    auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(at);
    auto nul = std::find(begin, bytes.end(), std::uint8_t { 0 });
    if (nul == bytes.end())
        return std::nullopt;
    std::string text(begin, nul);
    at = static_cast<std::size_t>(nul - bytes.begin()) + 1;
    return text;
}

std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

std::optional<TftpRequest> parse_tftp_request(std::span<const std::uint8_t> packet)
{
    if (packet.size() < 4)
        return std::nullopt;
    std::uint16_t opcode = read_u16(packet, 0);
    if (opcode != 1 && opcode != 2)
        return std::nullopt;
    TftpRequest request;
    request.opcode = static_cast<TftpOpcode>(opcode);
    std::size_t at = 2;
    auto filename = read_text(packet, at);
    if (!filename || filename->empty())
        return std::nullopt;
    auto mode = read_text(packet, at);
    if (!mode)
        return std::nullopt;
    request.filename = *filename;
    request.mode = lower(*mode);
    while (at < packet.size()) {
        auto name = read_text(packet, at);
        if (!name)
            return std::nullopt;
        auto value = at < packet.size() ? read_text(packet, at) : std::nullopt;
        if (!value)
            return std::nullopt;
        request.options.emplace_back(lower(*name), *value);
    }
    return request;
}

std::optional<TftpPacket> parse_tftp_packet(std::span<const std::uint8_t> packet)
{
    if (packet.size() < 4)
        return std::nullopt;
    std::uint16_t opcode = read_u16(packet, 0);
    if (opcode < 3 || opcode > 6)
        return std::nullopt;
    TftpPacket result;
    result.opcode = static_cast<TftpOpcode>(opcode);
    result.block = read_u16(packet, 2);
    result.payload = packet.subspan(4);
    return result;
}

std::vector<std::uint8_t> tftp_data(std::uint16_t block, std::span<const std::uint8_t> payload)
{
    std::vector<std::uint8_t> out;
    out.reserve(4 + payload.size());
    append_u16(out, 3);
    append_u16(out, block);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

std::vector<std::uint8_t> tftp_ack(std::uint16_t block)
{
    std::vector<std::uint8_t> out;
    append_u16(out, 4);
    append_u16(out, block);
    return out;
}

std::vector<std::uint8_t> tftp_error(TftpErrorCode code, const std::string& message)
{
    std::vector<std::uint8_t> out;
    append_u16(out, 5);
    append_u16(out, static_cast<std::uint16_t>(code));
    append_text(out, message);
    return out;
}

std::vector<std::uint8_t> tftp_oack(const std::vector<std::pair<std::string, std::string>>& options)
{
    std::vector<std::uint8_t> out;
    append_u16(out, 6);
    for (const auto& [name, value] : options) {
        append_text(out, name);
        append_text(out, value);
    }
    return out;
}

} // namespace kovru::sim

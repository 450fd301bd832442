#include "cli/transport/tftp_packets.h"

#include <algorithm>

namespace kovru {
namespace {

void put_u16(std::vector<std::uint8_t>& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

void put_text(std::vector<std::uint8_t>& out, std::string_view text)
{
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

} // namespace

std::optional<TftpIncoming> read_tftp_packet(std::span<const std::uint8_t> datagram)
{
    if (datagram.size() < 2)
        return std::nullopt;
    const auto op = static_cast<std::uint16_t>((datagram[0] << 8) | datagram[1]);
    TftpIncoming packet;
    packet.op = static_cast<TftpOp>(op);
    if (packet.op == TftpOp::oack) {
        packet.payload = datagram.subspan(2);
        return packet;
    }
    if (packet.op != TftpOp::data && packet.op != TftpOp::ack && packet.op != TftpOp::error)
        return std::nullopt;
    if (datagram.size() < 4 || (packet.op == TftpOp::ack && datagram.size() != 4))
        return std::nullopt;
    packet.number = static_cast<std::uint16_t>((datagram[2] << 8) | datagram[3]);
    packet.payload = datagram.subspan(4);
    return packet;
}

std::optional<TftpOptionList> read_tftp_options(std::span<const std::uint8_t> payload)
{
    TftpOptionList options;
    std::vector<std::string> fields;
    auto begin = payload.begin();
    while (begin != payload.end()) {
        auto end = std::find(begin, payload.end(), std::uint8_t { 0 });
        if (end == payload.end())
            return std::nullopt;
        fields.emplace_back(begin, end);
        begin = end + 1;
    }
    if (fields.size() % 2 != 0)
        return std::nullopt;
    for (std::size_t i = 0; i < fields.size(); i += 2) {
        if (fields[i].empty())
            return std::nullopt;
        options.emplace_back(std::move(fields[i]), std::move(fields[i + 1]));
    }
    return options;
}

std::vector<std::uint8_t> tftp_request_packet(
    TftpOp op, std::string_view filename, const TftpOptionList& options)
{
    std::vector<std::uint8_t> packet;
    put_u16(packet, static_cast<std::uint16_t>(op));
    put_text(packet, filename);
    put_text(packet, "octet");
    for (const auto& [name, value] : options) {
        put_text(packet, name);
        put_text(packet, value);
    }
    return packet;
}

std::vector<std::uint8_t> tftp_ack_packet(std::uint16_t block)
{
    std::vector<std::uint8_t> packet;
    put_u16(packet, static_cast<std::uint16_t>(TftpOp::ack));
    put_u16(packet, block);
    return packet;
}

void tftp_data_packet(
    std::uint16_t block, std::span<const std::uint8_t> payload, std::vector<std::uint8_t>& out)
{
    out.clear();
    put_u16(out, static_cast<std::uint16_t>(TftpOp::data));
    put_u16(out, block);
    out.insert(out.end(), payload.begin(), payload.end());
}

std::vector<std::uint8_t> tftp_error_packet(std::uint16_t code, std::string_view text)
{
    std::vector<std::uint8_t> packet;
    put_u16(packet, static_cast<std::uint16_t>(TftpOp::error));
    put_u16(packet, code);
    put_text(packet, text);
    return packet;
}

} // namespace kovru

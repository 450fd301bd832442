// Any bytes as one datagram the simulator's TFTP server receives: a request on the server port
// (its options negotiated as a transfer does), DATA, ACK or ERROR on a transfer's port. What is
// read stays inside the datagram, a transfer packet built again from what was read gives back
// the same bytes, and the agreed terms stay within what the server can serve.
#include "sim/controller_config.h"
#include "sim/tftp_packet.h"
#include "sim/tftp_transfer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

namespace {

void check(bool holds)
{
    if (!holds)
        std::abort();
}

bool hasNul(const std::string& text)
{
    return text.find('\0') != std::string::npos;
}

bool isLower(const std::string& text)
{
    return std::none_of(text.begin(), text.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kovru::sim;
    const std::span<const std::uint8_t> datagram(data, size);

    if (auto request = parse_tftp_request(datagram)) {
        check(request->opcode == TftpOpcode::rrq || request->opcode == TftpOpcode::wrq);
        check(!request->filename.empty() && !hasNul(request->filename));
        check(!hasNul(request->mode) && isLower(request->mode));
        std::size_t length = 2 + request->filename.size() + 1 + request->mode.size() + 1;
        for (const auto& [name, value] : request->options) {
            check(!hasNul(name) && !hasNul(value) && isLower(name));
            length += name.size() + 1 + value.size() + 1;
        }
        // Every byte is part of a field: the request ends on its last NUL.
        check(length == size);
        const TftpNegotiation terms = negotiate_tftp_options(*request, size, ControllerConfig {});
        check(terms.block_size >= 8 && terms.block_size <= 65464);
        check(terms.timeout.count() >= 1 && terms.timeout.count() <= 1000);
        check(terms.accepted.size() <= request->options.size());
        // The server answers a request whose options it accepts with an OACK of them.
        if (!terms.accepted.empty())
            check(parse_tftp_packet(tftp_oack(terms.accepted)).has_value());
    }

    if (auto packet = parse_tftp_packet(datagram)) {
        check(size >= 4);
        check(packet->payload.data() == data + 4 && packet->payload.size() == size - 4);
        check(packet->block == ((data[2] << 8) | data[3]));
        if (packet->opcode == TftpOpcode::data) {
            const std::vector<std::uint8_t> again = tftp_data(packet->block, packet->payload);
            check(std::equal(again.begin(), again.end(), data, data + size));
        } else if (packet->opcode == TftpOpcode::ack && size == 4) {
            check(tftp_ack(packet->block) == std::vector<std::uint8_t>(data, data + size));
        }
    }
    return 0;
}

// Any bytes as the packets a TFTP server sends the client: the first byte chooses a read or an
// upload, the block size and window asked for; the rest is cut into datagrams (a length byte,
// then the bytes; a set top bit of the length byte sends it from a stranger's port), one
// answering each packet the client sends. The transfer ends (time runs forward while the
// client waits), every packet it sends is well-formed, an upload's DATA always carries the
// image bytes of its block number, and a success means the whole image went out or a read
// ended on a short block.
#include "cli/transport/tftp_client.h"
#include "fakes/scripted_udp_socket.h"

#include <cstdlib>
#include <span>
#include <vector>

namespace {

using kovru::testing::loopback;
using kovru::testing::ScriptedUdpSocket;
using kovru::testing::SentDatagram;

void check(bool holds)
{
    if (!holds)
        std::abort();
}

std::vector<std::vector<std::uint8_t>> datagrams_of(
    std::span<const std::uint8_t> input, std::vector<bool>& from_stranger)
{
    std::vector<std::vector<std::uint8_t>> datagrams;
    while (!input.empty()) {
        const std::size_t length = std::min<std::size_t>(input[0] & 0x7F, input.size() - 1);
        from_stranger.push_back((input[0] & 0x80) != 0);
        datagrams.emplace_back(input.begin() + 1, input.begin() + 1 + static_cast<long>(length));
        input = input.subspan(1 + length);
    }
    return datagrams;
}

void check_sent(const SentDatagram& sent, std::span<const std::uint8_t> image, long& block_size)
{
    check(sent.bytes.size() >= 4);
    const int op = sent.bytes[1];
    check(sent.bytes[0] == 0 && op >= 1 && op <= 5);
    if (op != 3)
        return;
    const std::size_t number = (sent.bytes[2] << 8) | sent.bytes[3];
    const std::size_t length = sent.bytes.size() - 4;
    if (block_size == 0 && length > 0 && number == 1)
        block_size = static_cast<long>(length);
    check(number >= 1);
    const std::size_t offset = (number - 1) * static_cast<std::size_t>(std::max(block_size, 1L));
    check(offset + length <= image.size());
    check(std::equal(sent.bytes.begin() + 4, sent.bytes.end(), image.begin() + offset));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kovru;
    if (size < 1)
        return 0;
    const bool reading = (data[0] & 1) != 0;
    const long block_size = 8 << ((data[0] >> 1) & 3); // 8, 16, 32 or 64
    const int window = 1 + ((data[0] >> 3) & 7);
    std::vector<bool> from_stranger;
    auto datagrams = datagrams_of(std::span(data + 1, size - 1), from_stranger);
    std::size_t next = 0;
    ScriptedUdpSocket socket([&](const SentDatagram&, ScriptedUdpSocket& server) {
        if (next < datagrams.size()) {
            server.answer(datagrams[next], loopback(from_stranger[next] ? 3000 : 2000));
            ++next;
        }
    });
    std::vector<std::uint8_t> image(200);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i);
    std::vector<std::size_t> chunks;
    TftpHooks hooks;
    hooks.take_data = [&](std::span<const std::uint8_t> bytes) {
        chunks.push_back(bytes.size());
        return true;
    };
    const TftpTransferTerms terms { "flashfs.bin", block_size, window };
    const TftpLimits limits {};
    TftpOutcome outcome = reading ? tftp_read(socket, loopback(69), terms, limits, hooks)
                                  : tftp_write(socket, loopback(69), terms, image, limits, hooks);

    long sent_block_size = 0;
    std::size_t image_end = 0;
    for (const SentDatagram& sent : socket.sent()) {
        check_sent(sent, reading ? std::span<const std::uint8_t>() : image, sent_block_size);
        if (!reading && sent.bytes[1] == 3 && sent_block_size > 0)
            image_end = std::max(image_end,
                (((sent.bytes[2] << 8) | sent.bytes[3]) - 1u)
                        * static_cast<std::size_t>(sent_block_size)
                    + sent.bytes.size() - 4);
    }
    if (outcome.result == CURLE_OK && !reading)
        check(image_end == image.size());
    if (outcome.result == CURLE_OK && reading && chunks.size() > 1)
        for (std::size_t i = 0; i + 1 < chunks.size(); ++i)
            check(chunks[i] == chunks[0] && chunks.back() < chunks[0] + 1);
    return 0;
}

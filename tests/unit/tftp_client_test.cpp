// The TFTP client against scripted servers: packets repeated, duplicated, reordered, from a
// stranger's port, option answers that were not asked for, and a last ACK that never comes.
#include "cli/transport/tftp_client.h"
#include "fakes/scripted_udp_socket.h"

#include <gtest/gtest.h>

#include <string>

namespace kovru {
namespace {

using testing::loopback;
using testing::ScriptedUdpSocket;
using testing::SentDatagram;

const UdpEndpoint kServer = loopback(69);
const UdpEndpoint kTransfer = loopback(2000);
const UdpEndpoint kStranger = loopback(3000);

std::vector<std::uint8_t> patterned(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
    return bytes;
}

int opcode(const SentDatagram& datagram)
{
    return datagram.bytes.size() >= 2 ? datagram.bytes[1] : -1;
}

std::uint16_t number(const SentDatagram& datagram)
{
    return static_cast<std::uint16_t>((datagram.bytes[2] << 8) | datagram.bytes[3]);
}

std::vector<std::uint8_t> packet(int op, std::uint16_t block, std::span<const std::uint8_t> rest)
{
    std::vector<std::uint8_t> bytes { 0, static_cast<std::uint8_t>(op),
        static_cast<std::uint8_t>(block >> 8), static_cast<std::uint8_t>(block) };
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    return bytes;
}

std::vector<std::uint8_t> oack(const std::vector<std::string>& fields)
{
    std::vector<std::uint8_t> bytes { 0, 6 };
    for (const std::string& field : fields) {
        bytes.insert(bytes.end(), field.begin(), field.end());
        bytes.push_back(0);
    }
    return bytes;
}

TftpLimits short_limits()
{
    using namespace std::chrono_literals;
    return { 30s, 300s, 10, 30s };
}

TftpTransferTerms terms(long block_size, int window = 1)
{
    return { "flashraw.bin", block_size, window };
}

TEST(TftpClient, RepeatedOackAndDuplicateAcksNeitherShiftNorDoubleTheUpload)
{
    // The server misses block 1 and repeats its OACK, and every ACK arrives twice. The image
    // ends on a block boundary, so an empty block closes it.
    const std::vector<std::uint8_t> image = patterned(128 * 5);
    std::vector<std::uint8_t> stored;
    bool first_block_lost = false;
    ScriptedUdpSocket socket([&](const SentDatagram& sent, ScriptedUdpSocket& server) {
        if (opcode(sent) == 2) {
            server.answer(oack({ "tsize", "640", "blksize", "128", "timeout", "5" }), kTransfer);
        } else if (opcode(sent) == 3 && number(sent) == 1 && !first_block_lost) {
            first_block_lost = true;
            server.answer(oack({ "tsize", "640", "blksize", "128", "timeout", "5" }), kTransfer);
        } else if (opcode(sent) == 3 && number(sent) == stored.size() / 128 + 1) {
            stored.insert(stored.end(), sent.bytes.begin() + 4, sent.bytes.end());
            server.answer(packet(4, number(sent), {}), kTransfer);
            server.answer(packet(4, number(sent), {}), kTransfer);
        }
    });
    TftpOutcome outcome
        = tftp_write(socket, kServer, terms(128), image, short_limits(), TftpHooks {});
    EXPECT_EQ(outcome.result, CURLE_OK);
    EXPECT_EQ(stored, image);
    int data_packets = 0;
    for (const SentDatagram& sent : socket.sent())
        data_packets += opcode(sent) == 3;
    EXPECT_EQ(data_packets, 6 + 1); // six blocks, block 1 twice
}

TEST(TftpClient, AStrangersPacketGetsErrorFiveAndTheReadGoesOn)
{
    const std::vector<std::uint8_t> file = patterned(256);
    ScriptedUdpSocket socket([&](const SentDatagram& sent, ScriptedUdpSocket& server) {
        if (opcode(sent) == 1)
            server.answer(oack({ "tsize", "256", "blksize", "128", "timeout", "5" }), kTransfer);
        if (opcode(sent) != 4 || !(sent.to == kTransfer))
            return;
        const std::size_t offset = std::min<std::size_t>(number(sent) * 128u, file.size());
        const auto block
            = std::span(file).subspan(offset, std::min<std::size_t>(128, 256 - offset));
        if (number(sent) == 0)
            server.answer(packet(3, 1, block), kStranger);
        server.answer(packet(3, static_cast<std::uint16_t>(number(sent) + 1), block), kTransfer);
    });
    std::vector<std::uint8_t> read;
    TftpHooks hooks;
    hooks.take_data = [&](std::span<const std::uint8_t> bytes) {
        read.insert(read.end(), bytes.begin(), bytes.end());
        return true;
    };
    TftpOutcome outcome = tftp_read(socket, kServer, terms(128), short_limits(), hooks);
    EXPECT_EQ(outcome.result, CURLE_OK);
    EXPECT_EQ(outcome.announced_size, 256u);
    EXPECT_EQ(read, file);
    int errors_to_stranger = 0;
    for (const SentDatagram& sent : socket.sent()) {
        if (opcode(sent) == 5) {
            EXPECT_EQ(sent.to, kStranger);
            EXPECT_EQ(number(sent), 5);
            ++errors_to_stranger;
        }
    }
    EXPECT_EQ(errors_to_stranger, 1);
}

TEST(TftpClient, OptionAnswersNotAskedForAreRefusedWithErrorEight)
{
    const std::vector<std::vector<std::string>> answers = {
        { "tsize", "0", "blksize", "256", "timeout", "5" }, // a larger block than asked
        { "tsize", "0", "blksize", "128", "rollover", "0" }, // an option not asked for
        { "blksize", "128", "windowsize", "4" }, // a window not asked for
        { "blksize", "128", "timeout", "9" }, // another time-out
        { "blksize", "128", "blksize", "64" }, // twice
    };
    for (const auto& answer : answers) {
        SCOPED_TRACE(answer[2] + answer[4 % answer.size()]);
        ScriptedUdpSocket socket([&](const SentDatagram& sent, ScriptedUdpSocket& server) {
            if (opcode(sent) == 1)
                server.answer(oack(answer), kTransfer);
        });
        bool delivered = false;
        TftpHooks hooks;
        hooks.take_data = [&](std::span<const std::uint8_t>) { return delivered = true; };
        TftpOutcome outcome = tftp_read(socket, kServer, terms(128), short_limits(), hooks);
        EXPECT_EQ(outcome.result, CURLE_TFTP_ILLEGAL);
        EXPECT_FALSE(delivered);
        ASSERT_EQ(socket.sent().size(), 2u);
        EXPECT_EQ(opcode(socket.sent()[1]), 5);
        EXPECT_EQ(number(socket.sent()[1]), 8);
        EXPECT_EQ(socket.sent()[1].to, kTransfer);
    }
}

TEST(TftpClient, AWindowedReadSurvivesReorderedAndDuplicatedBlocks)
{
    // Window 4 of 100-byte blocks: the first window arrives as 2, 1, 1, 3, 4 and every later
    // window with its first block twice.
    const std::vector<std::uint8_t> file = patterned(1000);
    const std::size_t blocks = file.size() / 100 + 1;
    auto block = [&](std::size_t n) {
        const std::size_t offset = std::min((n - 1) * 100, file.size());
        return packet(3, static_cast<std::uint16_t>(n),
            std::span(file).subspan(offset, std::min<std::size_t>(100, file.size() - offset)));
    };
    bool first_window = true;
    ScriptedUdpSocket socket([&](const SentDatagram& sent, ScriptedUdpSocket& server) {
        if (opcode(sent) == 1) {
            server.answer(oack({ "blksize", "100", "windowsize", "4" }), kTransfer);
            return;
        }
        if (opcode(sent) != 4)
            return;
        const std::size_t base = number(sent) + 1u;
        if (first_window && base == 1) {
            first_window = false;
            for (std::size_t n : { 2, 1, 1, 3, 4 })
                server.answer(block(n), kTransfer);
            return;
        }
        for (std::size_t n = base; n < base + 4 && n <= blocks; ++n) {
            server.answer(block(n), kTransfer);
            if (n == base)
                server.answer(block(n), kTransfer);
        }
    });
    std::vector<std::uint8_t> read;
    TftpHooks hooks;
    hooks.take_data = [&](std::span<const std::uint8_t> bytes) {
        read.insert(read.end(), bytes.begin(), bytes.end());
        return true;
    };
    TftpOutcome outcome = tftp_read(socket, kServer, terms(100, 4), short_limits(), hooks);
    EXPECT_EQ(outcome.result, CURLE_OK);
    EXPECT_EQ(read, file);
}

TEST(TftpClient, AnUploadWhoseLastAckNeverComesFails)
{
    // Past 65,535 blocks of 8 bytes the numbers wrap; the server takes everything but never
    // acknowledges the last block.
    const std::vector<std::uint8_t> image = patterned(8 * 70000 + 3);
    std::uint64_t received = 0;
    ScriptedUdpSocket socket([&](const SentDatagram& sent, ScriptedUdpSocket& server) {
        if (opcode(sent) == 2)
            server.answer(oack({ "blksize", "8" }), kTransfer);
        if (opcode(sent) == 3 && number(sent) == static_cast<std::uint16_t>(received + 1)) {
            ++received;
            if (sent.bytes.size() == 4 + 8)
                server.answer(packet(4, number(sent), {}), kTransfer);
        }
    });
    TftpOutcome outcome
        = tftp_write(socket, kServer, terms(8), image, short_limits(), TftpHooks {});
    EXPECT_EQ(received, 70001u);
    EXPECT_EQ(outcome.result, CURLE_OPERATION_TIMEDOUT);
}

} // namespace
} // namespace kovru

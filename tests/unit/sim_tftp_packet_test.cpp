#include "sim/tftp_packet.h"

#include <gtest/gtest.h>

namespace kovru::sim {
namespace {

// All bytes of a literal, embedded NULs included, without its terminator.
template <std::size_t N> std::vector<std::uint8_t> bytes(const char (&text)[N])
{
    return std::vector<std::uint8_t>(text, text + N - 1);
}

TEST(TftpPacket, ReadsARequestWithItsOptions)
{
    auto packet = bytes("\0\1/flashfs.bin\0OCTET\0BLKSIZE\0"
                        "128\0tsize\0"
                        "0\0");
    auto request = parse_tftp_request(packet);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->opcode, TftpOpcode::rrq);
    EXPECT_EQ(request->filename, "/flashfs.bin");
    EXPECT_EQ(request->mode, "octet");
    ASSERT_EQ(request->options.size(), 2u);
    EXPECT_EQ(request->options[0], std::make_pair(std::string("blksize"), std::string("128")));
    EXPECT_EQ(request->options[1], std::make_pair(std::string("tsize"), std::string("0")));
}

TEST(TftpPacket, RefusesRequestsThatAreCutOrMalformed)
{
    EXPECT_FALSE(parse_tftp_request(bytes("\0\1")));
    EXPECT_FALSE(parse_tftp_request(bytes("\0\1name-without-end")));
    EXPECT_FALSE(parse_tftp_request(bytes("\0\1name\0octet")));
    EXPECT_FALSE(parse_tftp_request(bytes("\0\1\0octet\0")));
    EXPECT_FALSE(parse_tftp_request(bytes("\0\3name\0octet\0")));
    // An option name without its value.
    EXPECT_FALSE(parse_tftp_request(bytes("\0\2f\0octet\0blksize\0")));
}

TEST(TftpPacket, BuildsAndReadsTransferPackets)
{
    std::vector<std::uint8_t> payload { 1, 2, 3 };
    auto data = tftp_data(0x1234, payload);
    EXPECT_EQ(data, (std::vector<std::uint8_t> { 0, 3, 0x12, 0x34, 1, 2, 3 }));
    auto parsed = parse_tftp_packet(data);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->opcode, TftpOpcode::data);
    EXPECT_EQ(parsed->block, 0x1234);
    EXPECT_EQ(std::vector<std::uint8_t>(parsed->payload.begin(), parsed->payload.end()), payload);

    EXPECT_EQ(tftp_ack(7), (std::vector<std::uint8_t> { 0, 4, 0, 7 }));
    EXPECT_EQ(tftp_error(TftpErrorCode::file_not_found, "no"),
        (std::vector<std::uint8_t> { 0, 5, 0, 1, 'n', 'o', 0 }));
    EXPECT_EQ(tftp_oack({ { "blksize", "128" } }),
        bytes("\0\6blksize\0"
              "128\0"));
    EXPECT_FALSE(parse_tftp_packet(bytes("\0\4\0")));
    EXPECT_FALSE(parse_tftp_packet(bytes("\0\1\0\0")));
}

} // namespace
} // namespace kovru::sim

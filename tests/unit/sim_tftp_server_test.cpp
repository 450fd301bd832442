// The simulator's TFTP server as seen by a hand-driven client: negotiation, retransmission
// on time-out, duplicate packets and refusals.
#include "sim/sha256.h"
#include "sim/simulator.h"
#include "sim/tftp_packet.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kovru::sim {
namespace {

class TftpClient {
public:
    explicit TftpClient(int port)
        : fd_(::socket(AF_INET, SOCK_DGRAM, 0))
    {
        server_.sin_family = AF_INET;
        server_.sin_port = htons(static_cast<std::uint16_t>(port));
        server_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    ~TftpClient() { ::close(fd_); }

    void request(TftpOpcode opcode, const std::string& name,
        const std::vector<std::pair<std::string, std::string>>& options)
    {
        std::vector<std::uint8_t> packet { 0, static_cast<std::uint8_t>(opcode) };
        for (const std::string& text : { name, std::string("octet") }) {
            packet.insert(packet.end(), text.begin(), text.end());
            packet.push_back(0);
        }
        for (const auto& [option, value] : options) {
            for (const std::string& text : { option, value }) {
                packet.insert(packet.end(), text.begin(), text.end());
                packet.push_back(0);
            }
        }
        ::sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&server_),
            sizeof server_);
    }

    // The next packet from the transfer's port, or an empty vector after timeout_ms.
    std::vector<std::uint8_t> receive(int timeout_ms = 2000)
    {
        pollfd entry { fd_, POLLIN, 0 };
        if (::poll(&entry, 1, timeout_ms) <= 0)
            return {};
        std::vector<std::uint8_t> packet(70000);
        socklen_t length = sizeof transfer_;
        ssize_t received = ::recvfrom(
            fd_, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&transfer_), &length);
        packet.resize(received > 0 ? static_cast<std::size_t>(received) : 0);
        return packet;
    }

    void send(const std::vector<std::uint8_t>& packet)
    {
        ::sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&transfer_),
            sizeof transfer_);
    }

private:
    int fd_;
    sockaddr_in server_ {};
    sockaddr_in transfer_ {};
};

class SimTftp : public ::testing::Test {
protected:
    void SetUp() override
    {
        SimConfig config;
        ControllerConfig controller;
        controller.flash_size = 1000;
        controller.tftp_timeout_ms = 300;
        controller.tftp_retries = 2;
        config.controllers.push_back(controller);
        std::string error;
        ASSERT_TRUE(simulator_.start(config, error)) << error;
    }
    void TearDown() override { simulator_.stop(); }

    Controller& controller() { return *simulator_.controllers().at(0).controller; }
    int port() { return controller().port(); }

    Simulator simulator_;
};

TEST_F(SimTftp, ReadNegotiatesRetransmitsAndIgnoresDuplicateAcks)
{
    TftpClient client(port());
    client.request(TftpOpcode::rrq, "/flashfs.bin",
        { { "blksize", "400" }, { "tsize", "0" }, { "colour", "red" } });
    EXPECT_EQ(client.receive(), tftp_oack({ { "blksize", "400" }, { "tsize", "1000" } }));
    client.send(tftp_ack(0));
    auto flash = *controller().read_flash("flashfs.bin");
    auto first = client.receive();
    EXPECT_EQ(first, tftp_data(1, std::span(flash.data(), 400)));
    // Not acknowledged: the block comes again after the time-out.
    EXPECT_EQ(client.receive(), first);
    client.send(tftp_ack(1));
    auto second = client.receive();
    EXPECT_EQ(second, tftp_data(2, std::span(flash.data() + 400, 400)));
    // A duplicate ACK of block 1 must not trigger another block 2 before the time-out.
    client.send(tftp_ack(1));
    client.send(tftp_ack(2));
    EXPECT_EQ(client.receive(), tftp_data(3, std::span(flash.data() + 800, 200)));
    client.send(tftp_ack(3));
    EXPECT_TRUE(client.receive(300).empty());
}

TEST_F(SimTftp, ReadGivesUpAfterItsRetries)
{
    TftpClient client(port());
    client.request(TftpOpcode::rrq, "flashraw.bin", {});
    int copies = 0;
    while (!client.receive(1000).empty())
        ++copies;
    EXPECT_EQ(copies, 3); // the first send and two retransmissions
}

TEST_F(SimTftp, WriteAcknowledgesDuplicatesAndStoresTheImageOnce)
{
    TftpClient client(port());
    client.request(TftpOpcode::wrq, "flashraw.bin", { { "blksize", "8" }, { "tsize", "12" } });
    EXPECT_EQ(client.receive(), tftp_oack({ { "blksize", "8" }, { "tsize", "12" } }));
    std::vector<std::uint8_t> image { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12 };
    client.send(tftp_data(1, std::span(image.data(), 8)));
    EXPECT_EQ(client.receive(), tftp_ack(1));
    // Our ACK "was lost": the same block again is acknowledged again, not appended.
    client.send(tftp_data(1, std::span(image.data(), 8)));
    EXPECT_EQ(client.receive(), tftp_ack(1));
    client.send(tftp_data(2, std::span(image.data() + 8, 4)));
    EXPECT_EQ(client.receive(), tftp_ack(2));
    client.send(tftp_data(2, std::span(image.data() + 8, 4)));
    EXPECT_EQ(client.receive(), tftp_ack(2));
    // Digest and size match only when every block landed exactly once.
    EXPECT_TRUE(controller().accept_device_firmware(sha256_hex(image), "12").accepted);
}

TEST_F(SimTftp, RefusalsComeAsErrorPackets)
{
    auto error_code = [](const std::vector<std::uint8_t>& packet) {
        return packet.size() >= 4 && packet[1] == 5 ? packet[3] : -1;
    };
    TftpClient client(port());
    client.request(TftpOpcode::rrq, "etc/passwd", {});
    EXPECT_EQ(error_code(client.receive()), 1);
    client.request(TftpOpcode::wrq, "flashfs.bin", {});
    EXPECT_EQ(error_code(client.receive()), 2);
    client.request(TftpOpcode::wrq, "flashraw.bin", { { "tsize", "99999999" } });
    EXPECT_EQ(error_code(client.receive()), 3);
    client.request(TftpOpcode::rrq, "flashfs.bin", {});
    auto block = client.receive();
    ASSERT_EQ(block.size(), 4u + 512u);
    client.send(tftp_error(TftpErrorCode::not_defined, "enough"));
    EXPECT_TRUE(client.receive(300).empty());
}

} // namespace
} // namespace kovru::sim

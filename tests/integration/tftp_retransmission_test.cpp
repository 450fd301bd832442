// Lost, late, repeated, reordered and stray TFTP packets against the simulator's chosen-packet
// faults and against tftpd-hpa through a lossy relay, and the window sizes: every transfer
// moves the image byte for byte, or fails; none reports success for other bytes.
#include "cli/controller/action_requests.h"
#include "cli/controller/controller_client.h"
#include "cli/transport/tftp_read.h"
#include "cli/transport/tftp_upload.h"
#include "cli/transport/transfer_settings.h"
#include "fakes/lossy_udp_relay.h"
#include "fakes/sim_process.h"
#include "fakes/tftpd_server.h"
#include "fakes/transport_log_sink.h"
#include "sim/sha256.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace kovru {
namespace {

using testing::SimProcess;
using testing::TftpdServer;
using testing::TransportLogSink;

constexpr std::size_t kFlashSize = 200000;

std::vector<std::uint8_t> patterned(std::size_t size, unsigned salt)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 31 + salt) ^ (i >> 9));
    return bytes;
}

std::vector<std::uint8_t> read_file(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>() };
}

void write_file(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream file(path, std::ios::binary);
    file.write(
        reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::array<std::uint8_t, 32> digest_of(std::span<const std::uint8_t> bytes)
{
    std::string hex = sim::sha256_hex(bytes);
    std::array<std::uint8_t, 32> digest {};
    for (std::size_t i = 0; i < digest.size(); ++i)
        digest[i] = static_cast<std::uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
    return digest;
}

// The simulator keeps an upload as device firmware only when its size and digest match.
bool simulator_received(const std::string& address, const std::vector<std::uint8_t>& image)
{
    return request_d2fw_upgrade(base_url(address), digest_of(image), image.size()) == 0;
}

class TransferSettingsFor {
public:
    TransferSettingsFor(long block_size, int window)
    {
        TransferSettings settings;
        settings.tftp_block_size = block_size;
        settings.tftp_window_size = window;
        set_transfer_settings(settings);
    }
    ~TransferSettingsFor() { set_transfer_settings({}); }
};

const std::string kFlash = "flash_size=" + std::to_string(kFlashSize);

struct FaultCase {
    const char* what;
    std::string settings;
};

// Each case is one controller of one simulator; both directions run against each.
const FaultCase kRecoverable[] = {
    { "first upload block lost: the OACK is repeated", "tftp_drop_in=data1" },
    { "OACK sent twice at once", "tftp_repeat_oack=1" },
    { "first read block and an OACK lost", "tftp_drop=data1|oack|ack1" },
    { "late blocks and acknowledgements", "tftp_delay=data3|ack3,tftp_delay_ms=1200" },
    { "our acknowledgements lost", "tftp_drop_in=ack0|ack4|data6" },
    { "acknowledgements lost", "tftp_drop=ack2|ack7|data9" },
    { "duplicates", "tftp_duplicate=ack2|ack5|data2|data5|oack" },
    { "reordered", "tftp_reorder=data3|data4|ack3|ack9" },
    { "packets from another port", "tftp_stray=data2|ack2|data7|ack7" },
};

void expect_recovered(const std::vector<FaultCase>& cases, long block_size, int window)
{
    std::vector<std::string> controllers;
    for (const FaultCase& fault : cases)
        controllers.push_back(kFlash + "," + fault.settings);
    SimProcess sim(controllers);
    ASSERT_TRUE(sim.ready());
    MemoryBuffer reference;
    ASSERT_EQ(tftp_read_memory(sim.address(0), "flashfs.bin", kFlashImageSize, reference), 0);
    TransferSettingsFor settings(block_size, window);
    TransportLogSink log;
    for (std::size_t controller = 0; controller < cases.size(); ++controller) {
        SCOPED_TRACE(cases[controller].what);
        const std::string address = sim.address(controller);
        MemoryBuffer read;
        EXPECT_EQ(tftp_read_memory(address, "flashfs.bin", kFlashImageSize, read), 0);
        EXPECT_EQ(read, reference);
        // 156 blocks of 128 bytes exactly: the upload ends with an empty block.
        std::vector<std::uint8_t> image = patterned(128 * 156, static_cast<unsigned>(controller));
        ASSERT_EQ(upload_image(address, image, false), 0);
        EXPECT_TRUE(simulator_received(address, image));
    }
    EXPECT_TRUE(log.of_kind(LogKind::error).empty());
}

TEST(TftpRetransmission, EveryRecoverableFaultEndsWithTheSameBytes)
{
    expect_recovered({ std::begin(kRecoverable), std::end(kRecoverable) }, 128, 1);
}

TEST(TftpRetransmission, EveryRecoverableFaultEndsWithTheSameBytesInWindows)
{
    expect_recovered({ std::begin(kRecoverable), std::end(kRecoverable) }, 512, 4);
}

TEST(TftpRetransmission, AnErrorMidwayOrAnUnaskedOptionFailsTheTransfer)
{
    // An ERROR instead of data block 5 or ACK 5, and an OACK with an option nobody asked for.
    SimProcess sim({ kFlash + ",tftp_error_at=data5|ack5", kFlash + ",tftp_oack_unasked=1" });
    ASSERT_TRUE(sim.ready());
    const char* texts[] = { "TFTP: Illegal operation", "TFTP: Illegal operation" };
    for (std::size_t controller = 0; controller < 2; ++controller) {
        SCOPED_TRACE(controller);
        const std::string address = sim.address(controller);
        TransportLogSink log;
        MemoryBuffer read;
        EXPECT_EQ(tftp_read_memory(address, "flashfs.bin", kFlashImageSize, read), 1);
        EXPECT_TRUE(read.empty());
        std::vector<std::uint8_t> image = patterned(5000, 3);
        EXPECT_EQ(upload_image(address, image, false), 1);
        const auto errors = log.of_kind(LogKind::error);
        EXPECT_FALSE(simulator_received(address, image));
        ASSERT_EQ(errors.size(), 6u);
        EXPECT_EQ(errors[0], std::string("Failed: ") + texts[controller] + " (71) (attempt 1/5)");
        EXPECT_EQ(errors[5], std::string("Firmware push failed, ") + texts[controller] + ".");
    }
}

TEST(TftpWindows, EveryWindowAndBlockSizeMovesTheSameBytes)
{
    SimProcess sim({ kFlash });
    ASSERT_TRUE(sim.ready());
    MemoryBuffer reference;
    ASSERT_EQ(tftp_read_memory(sim.address(), "flashfs.bin", kFlashImageSize, reference), 0);
    for (int window : { 1, 4, 16, 64 }) {
        for (long block_size : { 128L, 512L, 1428L }) {
            SCOPED_TRACE(std::to_string(window) + " x " + std::to_string(block_size));
            TransferSettingsFor settings(block_size, window);
            MemoryBuffer read;
            EXPECT_EQ(tftp_read_memory(sim.address(), "flashfs.bin", kFlashImageSize, read), 0);
            EXPECT_EQ(read, reference);
            auto image = patterned(150001 + static_cast<std::size_t>(window), 5);
            ASSERT_EQ(upload_image(sim.address(), image, false), 0);
            EXPECT_TRUE(simulator_received(sim.address(), image));
        }
    }
}

class TftpdThroughRelay : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!TftpdServer::installed())
            GTEST_SKIP() << "tftpd-hpa is not installed";
    }
};

bool is_data_block(std::span<const std::uint8_t> packet, int block)
{
    return packet.size() >= 4 && packet[1] == 3 && ((packet[2] << 8) | packet[3]) == block;
}

TEST_F(TftpdThroughRelay, ALostFirstUploadBlockIsSentAgainWithTheSameBytes)
{
    TftpdServer server;
    ASSERT_TRUE(server.running());
    const int port = std::stoi(server.address().substr(server.address().rfind(':') + 1));
    bool dropped = false;
    testing::LossyUdpRelay relay(
        port, [&](bool from_client, int, std::span<const std::uint8_t> packet) {
            if (!from_client || dropped || !is_data_block(packet, 1))
                return false;
            return dropped = true;
        });
    ASSERT_TRUE(relay.running());
    // The default options and 512-byte blocks; the image ends inside its 20th block.
    for (long block_size : { kDefaultTftpBlockSize, 512L }) {
        SCOPED_TRACE(block_size);
        dropped = false;
        TransferSettingsFor settings(block_size, 1);
        std::vector<std::uint8_t> image = patterned(10000, static_cast<unsigned>(block_size));
        ASSERT_EQ(upload_image(relay.address(), image, false), 0);
        EXPECT_TRUE(dropped);
        EXPECT_EQ(read_file(server.folder() / "flashraw.bin"), image);
    }
}

TEST_F(TftpdThroughRelay, AServerIgnoringTheWindowGetsThePlainExchange)
{
    TftpdServer server;
    ASSERT_TRUE(server.running());
    std::vector<std::uint8_t> flash = patterned(300000, 11);
    write_file(server.folder() / "flashfs.bin", flash);
    TransferSettingsFor settings(1428, 16);
    MemoryBuffer read;
    ASSERT_EQ(tftp_read_memory(server.address(), "flashfs.bin", kFlashImageSize, read), 0);
    EXPECT_EQ(read, flash);
    std::vector<std::uint8_t> image = patterned(200003, 12);
    ASSERT_EQ(upload_image(server.address(), image, false), 0);
    EXPECT_EQ(read_file(server.folder() / "flashraw.bin"), image);
}

} // namespace
} // namespace kovru

// TFTP block sizes other than the default: flash reads and uploads at several sizes against
// kovru-sim and tftpd-hpa, controllers that ignore, cap or refuse the option, and uploads
// whose last block number wraps the 16-bit counter.
#include "cli/controller/action_requests.h"
#include "cli/controller/controller_client.h"
#include "cli/transport/tftp_read.h"
#include "cli/transport/tftp_upload.h"
#include "cli/transport/transfer_settings.h"
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

constexpr long kSizesToTry[] = { 128, 512, 1428, 8192 };

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

// The block size for the transfers of one test; the default again afterwards.
class BlockSizeFor {
public:
    explicit BlockSizeFor(long size) { set_transfer_settings({ size, false }); }
    ~BlockSizeFor() { set_transfer_settings({}); }
};

// The simulator keeps an upload as device firmware only when its size and digest match.
bool simulator_received(const SimProcess& sim, const std::vector<std::uint8_t>& image)
{
    return request_d2fw_upgrade(base_url(sim.address()), digest_of(image), image.size()) == 0;
}

MemoryBuffer read_flash_file(const std::string& address, const char* name, long block_size)
{
    BlockSizeFor size(block_size);
    MemoryBuffer bytes;
    EXPECT_EQ(tftp_read_memory(address, name, kFlashImageSize, bytes), 0);
    return bytes;
}

MemoryBuffer read_flash(const std::string& address, long block_size)
{
    return read_flash_file(address, "flashfs.bin", block_size);
}

int upload_at(const std::string& address, long block_size, const std::vector<std::uint8_t>& image)
{
    BlockSizeFor size(block_size);
    return upload_image(address, image, false);
}

TEST(BlockSizeWithSimulator, ReadsAndUploadsAreByteIdenticalAtEverySize)
{
    // Refusing anything above 8192 shows that no transfer asks for more than it was told.
    SimProcess sim({ "tftp_blksize_max=8192,tftp_blksize_over=refuse" });
    ASSERT_TRUE(sim.ready());
    const MemoryBuffer reference = read_flash(sim.address(), kDefaultTftpBlockSize);
    ASSERT_EQ(reference.size(), kFlashImageSize);
    TransportLogSink log;
    for (long block_size : kSizesToTry) {
        SCOPED_TRACE(block_size);
        EXPECT_EQ(read_flash(sim.address(), block_size), reference);
        std::vector<std::uint8_t> image = patterned(300001, static_cast<unsigned>(block_size));
        ASSERT_EQ(upload_at(sim.address(), block_size, image), 0);
        EXPECT_TRUE(simulator_received(sim, image));
    }
    EXPECT_TRUE(log.of_kind(LogKind::warning).empty());
}

TEST(BlockSizeWithSimulator, IgnoredCappedAndRefusedOptionsStillMoveTheSameBytes)
{
    // Ignored: 512-byte blocks. Capped: 1024-byte blocks. Refused: one repeat at 128 with a
    // warning, and the rest of the run stays at 128.
    SimProcess sim({ "tftp_blksize_max=128,tftp_blksize_over=ignore",
        "tftp_blksize_max=1024,tftp_blksize_over=cap",
        "tftp_blksize_max=1024,tftp_blksize_over=refuse" });
    ASSERT_TRUE(sim.ready());
    for (std::size_t controller = 0; controller < 3; ++controller) {
        SCOPED_TRACE(controller);
        const std::string address = sim.address(controller);
        const MemoryBuffer reference = read_flash(address, kDefaultTftpBlockSize);
        ASSERT_EQ(reference.size(), kFlashImageSize);
        std::vector<std::uint8_t> image = patterned(200003, static_cast<unsigned>(controller));
        TransportLogSink log;
        BlockSizeFor size(8192);
        MemoryBuffer read;
        EXPECT_EQ(tftp_read_memory(address, "flashfs.bin", kFlashImageSize, read), 0);
        EXPECT_EQ(read, reference);
        const bool refusing = controller == 2;
        EXPECT_EQ(tftp_block_size(), refusing ? kDefaultTftpBlockSize : 8192);
        set_transfer_settings({ 8192, false });
        ASSERT_EQ(upload_image(address, image, false), 0);
        EXPECT_EQ(request_d2fw_upgrade(base_url(address), digest_of(image), image.size()), 0);
        std::vector<std::string> refusal(
            refusing ? 2 : 0, "The controller refused TFTP block size 8192; using 128.");
        EXPECT_EQ(log.of_kind(LogKind::warning), refusal);
        EXPECT_TRUE(log.of_kind(LogKind::error).empty());
    }
}

// At 128 bytes the last blocks are number 65536 (0x0000 after wrapping) and 131071 (0xFFFF).
const std::size_t kWrappingUploadSizes[] = { 8388480, 16776960 };

TEST(BlockSizeWithSimulator, TransfersWhoseBlockNumbersWrapEndCleanly)
{
    SimProcess sim({ "flash_size=" + std::to_string(kWrappingUploadSizes[0]) });
    ASSERT_TRUE(sim.ready());
    MemoryBuffer wrapped;
    ASSERT_EQ(tftp_read_memory(sim.address(), "flashraw.bin", kFlashImageSize, wrapped), 0);
    EXPECT_EQ(wrapped.size(), kWrappingUploadSizes[0]);
    EXPECT_EQ(wrapped, read_flash_file(sim.address(), "flashraw.bin", 8192));
    for (std::size_t size : kWrappingUploadSizes) {
        SCOPED_TRACE(size);
        std::vector<std::uint8_t> image = patterned(size, 7);
        ASSERT_EQ(upload_image(sim.address(), image, false), 0);
        EXPECT_TRUE(simulator_received(sim, image));
    }
}

class BlockSizeWithTftpd : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!TftpdServer::installed())
            GTEST_SKIP() << "tftpd-hpa is not installed";
    }
};

TEST_F(BlockSizeWithTftpd, ReadsAndUploadsAreByteIdenticalAtEverySize)
{
    TftpdServer server;
    ASSERT_TRUE(server.running());
    std::vector<std::uint8_t> flash = patterned(kFlashImageSize, 3);
    write_file(server.folder() / "flashfs.bin", flash);
    for (long block_size : kSizesToTry) {
        SCOPED_TRACE(block_size);
        EXPECT_EQ(read_flash(server.address(), block_size), flash);
        std::vector<std::uint8_t> image = patterned(300001, static_cast<unsigned>(block_size));
        ASSERT_EQ(upload_at(server.address(), block_size, image), 0);
        EXPECT_EQ(read_file(server.folder() / "flashraw.bin"), image);
    }
}

TEST_F(BlockSizeWithTftpd, ASmallerAnsweredSizeOrAnIgnoredOptionIsFollowed)
{
    // "-B 1024" answers 8192 with 1024; "-r blksize" leaves the option out: 512-byte blocks.
    const std::vector<std::string> servers[] = { { "-B", "1024" }, { "-r", "blksize" } };
    for (const auto& arguments : servers) {
        SCOPED_TRACE(arguments[0]);
        TftpdServer server(arguments);
        ASSERT_TRUE(server.running());
        std::vector<std::uint8_t> flash = patterned(kFlashImageSize, 5);
        write_file(server.folder() / "flashfs.bin", flash);
        EXPECT_EQ(read_flash(server.address(), 8192), flash);
        std::vector<std::uint8_t> image = patterned(200003, 5);
        ASSERT_EQ(upload_at(server.address(), 8192, image), 0);
        EXPECT_EQ(read_file(server.folder() / "flashraw.bin"), image);
    }
}

TEST_F(BlockSizeWithTftpd, UploadsWhoseBlockNumbersWrapEndCleanly)
{
    TftpdServer server;
    ASSERT_TRUE(server.running());
    for (std::size_t size : kWrappingUploadSizes) {
        SCOPED_TRACE(size);
        std::vector<std::uint8_t> image = patterned(size, 9);
        ASSERT_EQ(upload_image(server.address(), image, false), 0);
        EXPECT_EQ(read_file(server.folder() / "flashraw.bin"), image);
    }
}

} // namespace
} // namespace kovru

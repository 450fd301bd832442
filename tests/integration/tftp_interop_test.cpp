// Our TFTP client against a real TFTP server (tftpd-hpa), and curl's command-line TFTP
// client against the simulator's server.
#include "cli/backup/tar_image.h"
#include "cli/controller/action_requests.h"
#include "cli/controller/controller_client.h"
#include "cli/transport/tftp_read.h"
#include "cli/transport/tftp_upload.h"
#include "fakes/sim_process.h"
#include "fakes/tftpd_server.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

namespace kovru {
namespace {

std::vector<std::uint8_t> patterned(std::size_t size, unsigned salt)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 31 + salt) ^ (i >> 9));
    return bytes;
}

void write_file(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream file(path, std::ios::binary);
    file.write(
        reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> read_file(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>() };
}

class TftpdHpa : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testing::TftpdServer::installed())
            GTEST_SKIP() << "tftpd-hpa is not installed";
        server_ = std::make_unique<testing::TftpdServer>();
        ASSERT_TRUE(server_->running()) << "in.tftpd did not start";
        folder_ = server_->folder();
    }

    std::string address() const { return server_->address(); }

    std::filesystem::path folder_;

private:
    std::unique_ptr<testing::TftpdServer> server_;
};

TEST_F(TftpdHpa, OurUploadArrivesWholeWithBlockSize128)
{
    // One size ends in a short block, the other is a whole number of 128-byte blocks.
    for (std::size_t size : { std::size_t { 100001 }, std::size_t { 128 * 300 } }) {
        SCOPED_TRACE(size);
        std::vector<std::uint8_t> image = patterned(size, static_cast<unsigned>(size));
        ASSERT_EQ(upload_image(address(), image, false), 0);
        EXPECT_EQ(read_file(folder_ / "flashraw.bin"), image);
    }
}

TEST_F(TftpdHpa, OurReadMatchesTheServedFile)
{
    std::vector<std::uint8_t> flash = patterned(300000, 3);
    write_file(folder_ / "flashfs.bin", flash);
    MemoryBuffer read;
    ASSERT_EQ(tftp_read_memory(address(), "flashfs.bin", kFlashImageSize, read), 0);
    EXPECT_EQ(read, flash);

    // A file the server does not have fails after five attempts.
    EXPECT_EQ(tftp_read_memory(address(), "absent.bin", kFlashImageSize, read), 1);
    EXPECT_TRUE(read.empty());
}

TEST(CurlClient, ReadsAndWritesTheSimulatorsTftpService)
{
    testing::SimProcess sim;
    ASSERT_TRUE(sim.ready());
    auto folder
        = std::filesystem::temp_directory_path() / ("kovru-curl-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::string url = "tftp://" + sim.address();

    MemoryBuffer ours;
    ASSERT_EQ(tftp_read_memory(sim.address(), "flashfs.bin", kFlashImageSize, ours), 0);
    for (const char* block_size : { "512", "128", "1468" }) {
        SCOPED_TRACE(block_size);
        auto out = folder / "flashfs.bin";
        auto run = testing::run_program("/usr/bin/curl",
            { "-sS", "--tftp-blksize", block_size, url + "/flashfs.bin", "-o", out.string() });
        EXPECT_EQ(run.exit_status, 0) << run.err;
        EXPECT_EQ(read_file(out), ours);
    }
    auto plain = testing::run_program("/usr/bin/curl",
        { "-sS", "--tftp-no-options", url + "/flashraw.bin", "-o", (folder / "raw").string() });
    EXPECT_EQ(plain.exit_status, 0) << plain.err;
    EXPECT_EQ(std::filesystem::file_size(folder / "raw"), kFlashImageSize);

    auto missing = testing::run_program(
        "/usr/bin/curl", { "-sS", url + "/other.bin", "-o", (folder / "other").string() });
    EXPECT_NE(missing.exit_status, 0);

    // curl uploads a configuration image; the restore request applies it.
    std::vector<std::uint8_t> rlc(3000, 0x42);
    write_file(folder / "upload.tar", make_single_file_tar("/etc/config/rlc/rlc.bin", rlc, 0));
    auto upload = testing::run_program(
        "/usr/bin/curl", { "-sS", "-T", (folder / "upload.tar").string(), url + "/flashraw.bin" });
    EXPECT_EQ(upload.exit_status, 0) << upload.err;
    EXPECT_EQ(request_restore(base_url(sim.address())), 0);
    MemoryBuffer item;
    ASSERT_EQ(fetch_item_bytes(base_url(sim.address()), "rlc", item), 0);
    TarImageReader reader(item);
    std::span<const std::uint8_t> data;
    ASSERT_EQ(reader.find("/etc/config/rlc/rlc.bin"), tar_success);
    ASSERT_EQ(reader.read_data(data), tar_success);
    EXPECT_EQ(std::vector<std::uint8_t>(data.begin(), data.end()), rlc);

    auto refused = testing::run_program(
        "/usr/bin/curl", { "-sS", "-T", (folder / "upload.tar").string(), url + "/flashfs.bin" });
    EXPECT_NE(refused.exit_status, 0);
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace kovru

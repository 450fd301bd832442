// Our TFTP client against a real TFTP server (tftpd-hpa), and curl's command-line TFTP
// client against the simulator's server.
#include "cli/backup/tar_image.h"
#include "cli/controller/action_requests.h"
#include "cli/controller/controller_client.h"
#include "cli/transport/tftp_read.h"
#include "cli/transport/tftp_upload.h"
#include "fakes/sim_process.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace kovru {
namespace {

constexpr const char* tftpd_program = "/usr/sbin/in.tftpd";

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

int free_udp_port()
{
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// True once the server answers a read request for `name` on the port.
bool tftp_server_answers(int port, const std::string& name)
{
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string request = std::string("\0\1", 2) + name + '\0' + "octet" + '\0';
    ::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&address),
        sizeof address);
    pollfd entry { fd, POLLIN, 0 };
    bool answered = ::poll(&entry, 1, 200) > 0;
    if (answered) {
        // Tell the server we are done so it does not keep retransmitting.
        char packet[600];
        sockaddr_in from {};
        socklen_t from_length = sizeof from;
        ::recvfrom(fd, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&from), &from_length);
        std::string error = std::string("\0\5\0\0done", 8) + '\0';
        ::sendto(
            fd, error.data(), error.size(), 0, reinterpret_cast<sockaddr*>(&from), from_length);
    }
    ::close(fd);
    return answered;
}

class TftpdHpa : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::access(tftpd_program, X_OK) != 0)
            GTEST_SKIP() << "tftpd-hpa is not installed";
        folder_ = std::filesystem::temp_directory_path()
            / ("kovru-tftpd-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
        std::filesystem::permissions(folder_, std::filesystem::perms::all);
        write_file(folder_ / "probe.bin", { 1 });
        for (int attempt = 0; attempt < 5 && pid_ <= 0; ++attempt)
            start_server();
        ASSERT_GT(pid_, 0) << "in.tftpd did not start";
    }

    void TearDown() override
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        std::filesystem::remove_all(folder_);
    }

    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

    std::filesystem::path folder_;

private:
    void start_server()
    {
        port_ = free_udp_port();
        std::string listen = "127.0.0.1:" + std::to_string(port_);
        std::string user = ::getuid() == 0 ? "root" : "nobody";
        pid_t pid = ::fork();
        if (pid == 0) {
            ::execl(tftpd_program, tftpd_program, "-L", "-c", "-p", "-u", user.c_str(), "-a",
                listen.c_str(), "-s", folder_.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int wait = 0; wait < 25; ++wait) {
            if (tftp_server_answers(port_, "probe.bin")) {
                pid_ = pid;
                return;
            }
        }
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }

    pid_t pid_ = -1;
    int port_ = 0;
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

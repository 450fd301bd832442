// Every fault the simulator injects ends in the CLI's documented message and exit status.
#include "cli/backup/tar_image.h"
#include "cli/controller/action_requests.h"
#include "cli/controller/controller_client.h"
#include "cli/transport/tftp_read.h"
#include "cli/transport/tftp_upload.h"
#include "fakes/sim_process.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>

#include <filesystem>
#include <fstream>

namespace kovru {
namespace {

using testing::count_lines_with;
using testing::run_cli;
using testing::SimProcess;

bool contains(const std::string& text, const std::string& needle)
{
    return text.find(needle) != std::string::npos;
}

TEST(SimFaults, BrokenStatusAnswersFailGetStatus)
{
    SimProcess sim({ "http_drop=1", "http_error=503", "truncated=1", "empty=1", "latency_ms=300" });
    ASSERT_TRUE(sim.ready());
    struct Case {
        std::size_t controller;
        int exit_status;
        const char* message;
    };
    for (Case c : { Case { 0, 1, "curl_easy_perform() failed: Server returned nothing" },
             Case { 1, 1, "status\treceived " },
             Case { 2, 1,
                 "curl_easy_perform() failed: "
                 "Transferred a partial file" },
             Case { 3, 1, "status\treceived 0 bytes." }, Case { 4, 0, "model_name=VELDIR-2" } }) {
        SCOPED_TRACE(c.controller);
        auto run = run_cli({ "--action=get_status", "--ip=" + sim.address(c.controller) });
        EXPECT_EQ(run.exit_status, c.exit_status);
        EXPECT_TRUE(contains(run.out + run.err, c.message)) << run.out << run.err;
        if (c.exit_status != 0) {
            EXPECT_FALSE(contains(run.out, "model_name="));
        }
    }
    // The simulator survives every fault and ends cleanly.
    EXPECT_EQ(sim.stop(), 0);
}

TEST(SimFaults, ItemAnswersWithoutStatusFileOrCutShortAreVisible)
{
    SimProcess sim({ "no_status_txt=1", "truncated=1" });
    ASSERT_TRUE(sim.ready());
    MemoryBuffer image;
    ASSERT_EQ(fetch_item_bytes(base_url(sim.address(0)), "systemconfig", image), 0);
    TarImageReader reader(image);
    EXPECT_EQ(reader.find("/etc/config/system/systemconfig.bin"), tar_success);
    EXPECT_EQ(reader.find("status.txt"), tar_file_not_found);

    // A cut answer is a transfer error, retried like any other.
    EXPECT_EQ(fetch_item_bytes(base_url(sim.address(1)), "systemconfig", image), 1);
}

TEST(SimFaults, TftpLossStallAndRefusalsAreRecovered)
{
    SimProcess sim({ "tftp_loss=0.1,tftp_timeout_ms=20,flash_size=65536",
                       "tftp_stall_ms=1500,tftp_stall_block=3,flash_size=65536",
                       "tftp_fail_first=2,flash_size=65536" },
        { "--seed", "42" });
    ASSERT_TRUE(sim.ready());
    MemoryBuffer lossy;
    ASSERT_EQ(tftp_read_memory(sim.address(0), "flashfs.bin", kFlashImageSize, lossy), 0);
    MemoryBuffer again;
    ASSERT_EQ(tftp_read_memory(sim.address(0), "flashfs.bin", kFlashImageSize, again), 0);
    EXPECT_EQ(lossy.size(), 65536u);
    EXPECT_EQ(lossy, again);

    MemoryBuffer stalled;
    EXPECT_EQ(tftp_read_memory(sim.address(1), "flashfs.bin", kFlashImageSize, stalled), 0);
    EXPECT_EQ(stalled.size(), 65536u);

    auto folder
        = std::filesystem::temp_directory_path() / ("kovru-faults-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    auto run = run_cli({ "--action=read_file_flashraw", "--ip=" + sim.address(2),
        "--backupfileout=" + folder.string(), "--backupfileouttype=zip" });
    EXPECT_EQ(run.exit_status, 0) << run.out;
    EXPECT_EQ(count_lines_with(run.out, "Failed: "), 2);
    EXPECT_EQ(count_lines_with(run.out, "(attempt 2/5)"), 1);
    EXPECT_EQ(count_lines_with(run.out, "Retrying download of flashraw.bin (retry 2 of 5)..."), 1);
    EXPECT_EQ(std::filesystem::file_size(folder / "flashraw.bin"), 65536u);
    std::filesystem::remove_all(folder);
}

TEST(SimFaults, ClosedPortFailsFast)
{
    SimProcess sim;
    ASSERT_TRUE(sim.ready());
    std::string address = sim.address();
    sim.stop();
    auto status = run_cli({ "--action=get_status", "--ip=" + address });
    EXPECT_EQ(status.exit_status, 1);
    EXPECT_TRUE(contains(status.err, "curl_easy_perform() failed: Couldn't connect to server"));
}

// Datagrams and request heads of any shape must never stop or crash the servers.
TEST(SimFaults, GarbageFromClientsLeavesTheServersWorking)
{
    SimProcess sim({ "flash_size=4096" });
    ASSERT_TRUE(sim.ready());
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(sim.port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::mt19937 random(5);
    int udp = ::socket(AF_INET, SOCK_DGRAM, 0);
    for (int i = 0; i < 300; ++i) {
        std::vector<std::uint8_t> packet(random() % 80);
        for (auto& byte : packet)
            byte = static_cast<std::uint8_t>(random() % 8 == 0 ? 0 : random());
        if (i % 3 == 0 && packet.size() >= 2) {
            packet[0] = 0;
            packet[1] = static_cast<std::uint8_t>(1 + random() % 6);
        }
        ::sendto(udp, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&address),
            sizeof address);
    }
    ::close(udp);
    std::vector<std::string> heads { "GET\r\n\r\n", "GET /api/v100/backup.ssi?config=%%%",
        "POST /api/v100/status.ssi HTTP/1.1\r\n\r\n", std::string(20000, 'A') };
    for (const std::string& head : heads) {
        int tcp = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(tcp, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            ::send(tcp, head.data(), head.size(), MSG_NOSIGNAL);
        ::close(tcp);
    }
    MemoryBuffer flash;
    EXPECT_EQ(tftp_read_memory(sim.address(), "flashfs.bin", kFlashImageSize, flash), 0);
    EXPECT_EQ(flash.size(), 4096u);
    auto status = run_cli({ "--action=get_status", "--ip=" + sim.address() });
    EXPECT_EQ(status.exit_status, 0);
    EXPECT_EQ(sim.stop(), 0);
}

TEST(SimState, RestoredFilesSurviveARestart)
{
    auto folder
        = std::filesystem::temp_directory_path() / ("kovru-state-" + std::to_string(::getpid()));
    std::vector<std::uint8_t> views(64, 0x77);
    int port = 0;
    {
        SimProcess first({ "firmware=1.3.1" }, { "--state", folder.string() });
        ASSERT_TRUE(first.ready());
        port = first.port();
        ASSERT_EQ(upload_image(first.address(),
                      make_single_file_tar("/etc/config/views/views7.bin", views, 0), false),
            0);
        ASSERT_EQ(request_restore(base_url(first.address())), 0);
    }
    SimProcess second({ "port=" + std::to_string(port) }, { "--state", folder.string() });
    ASSERT_TRUE(second.ready());
    EXPECT_TRUE(contains(second.listening_lines().at(0), "firmware=1.3.1"));
    MemoryBuffer item;
    ASSERT_EQ(fetch_item_bytes(base_url(second.address()), "views7", item), 0);
    TarImageReader reader(item);
    std::span<const std::uint8_t> data;
    ASSERT_EQ(reader.find("/etc/config/views/views7.bin"), tar_success);
    ASSERT_EQ(reader.read_data(data), tar_success);
    EXPECT_EQ(std::vector<std::uint8_t>(data.begin(), data.end()), views);
    EXPECT_EQ(second.stop(), 0);
    std::filesystem::remove_all(folder);
}

TEST(SimCommandLine, HelpAndBadArguments)
{
    auto help = testing::run_program(testing::built_program("sim/kovru-sim"), { "--help" });
    EXPECT_EQ(help.exit_status, 0);
    EXPECT_TRUE(contains(help.out, "Usage: kovru-sim"));
    auto bad = testing::run_program(
        testing::built_program("sim/kovru-sim"), { "--controller", "model=OTHER" });
    EXPECT_EQ(bad.exit_status, 2);
    EXPECT_TRUE(contains(bad.err, "bad value in model=OTHER"));
    auto not_local = testing::run_program(
        testing::built_program("sim/kovru-sim"), { "--controller", "ip=not-an-address" });
    EXPECT_EQ(not_local.exit_status, 1);
}

} // namespace
} // namespace kovru

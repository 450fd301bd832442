// kovru-cli's speed options end to end: backups whose item fetches share one HTTP
// connection, against controllers that close it after every answer, after every tenth
// (announced or not) and never; and --tftpblocksize.
#include "fakes/sim_process.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace kovru {
namespace {

using testing::count_lines_with;
using testing::run_cli;
using testing::SimProcess;

constexpr int kItemCount = 612;

struct Case {
    const char* settings;
    int reused; // requests sent over an open connection; -1: some, the number not fixed
};

TEST(ConnectionReuse, BackupsCompleteWhateverTheControllerDoesWithTheConnection)
{
    const Case cases[] = {
        { "http_keepalive=1", 0 },
        { "http_keepalive=10", kItemCount - (kItemCount + 9) / 10 },
        { "http_keepalive=10,http_close_unannounced=1", -1 },
        { "http_keepalive=0", kItemCount - 1 },
    };
    std::vector<std::string> controllers;
    for (const Case& each : cases)
        controllers.push_back(std::string(each.settings) + ",flash_size=65536");
    SimProcess sim(controllers);
    ASSERT_TRUE(sim.ready());
    auto folder
        = std::filesystem::temp_directory_path() / ("kovru-reuse-" + std::to_string(::getpid()));
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        SCOPED_TRACE(cases[k].settings);
        auto out = folder / std::to_string(k);
        std::filesystem::create_directories(out);
        auto run = run_cli(
            { "--action=get_backup", "--ip=" + sim.address(k), "--verbose", "--reuseconnection",
                "--backupfileouttype=directory", "--backupfileout=" + out.string() });
        EXPECT_EQ(run.exit_status, 0) << run.out;
        EXPECT_EQ(count_lines_with(run.out, "option reuseconnection"), 1);
        EXPECT_EQ(count_lines_with(run.out, "backup file OK"), kItemCount);
        EXPECT_EQ(count_lines_with(run.out, "Retrying backup fetch"), 0);
        int reused = count_lines_with(run.err, "Re-using existing connection");
        if (cases[k].reused >= 0)
            EXPECT_EQ(reused, cases[k].reused);
        else
            EXPECT_GT(reused, 0);
    }
    std::filesystem::remove_all(folder);
}

std::string file_text(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>() };
}

TEST(TftpBlockSizeOption, ABackupAtALargerBlockSizeHoldsTheSameFlashImage)
{
    SimProcess sim({ "http_keepalive=0" });
    ASSERT_TRUE(sim.ready());
    auto folder = std::filesystem::temp_directory_path()
        / ("kovru-blocksize-" + std::to_string(::getpid()));
    std::vector<std::string> backup { "--action=get_backup", "--ip=" + sim.address(),
        "--backupfileouttype=directory", "--verbose" };
    const std::string fast = "fast";
    for (const std::string mode : { "default", "fast" }) {
        std::filesystem::create_directories(folder / mode);
        std::vector<std::string> arguments = backup;
        arguments.push_back("--backupfileout=" + (folder / mode).string());
        if (mode == fast)
            arguments.push_back("--tftpblocksize=1428");
        auto run = run_cli(arguments);
        EXPECT_EQ(run.exit_status, 0) << run.out;
        EXPECT_EQ(count_lines_with(run.out, "TFTPBLOCKSIZE=1428"), mode == fast ? 1 : 0);
        // The block size option brings connection reuse with it.
        EXPECT_EQ(count_lines_with(run.err, "Re-using existing connection"),
            mode == fast ? kItemCount - 1 : 0);
    }
    std::string flash = file_text(folder / "default" / "flashfs.bin");
    EXPECT_EQ(flash.size(), 2097152u);
    EXPECT_EQ(file_text(folder / "fast" / "flashfs.bin"), flash);

    for (const char* value : { "7", "65465", "1k", "" }) {
        auto refused = run_cli({ "--action=get_backup", "--ip=" + sim.address(),
            "--backupfileout=" + folder.string(), std::string("--tftpblocksize=") + value });
        EXPECT_EQ(refused.exit_status, 2);
        EXPECT_NE(refused.out.find("Invalid --tftpblocksize value '" + std::string(value)
                      + "': a whole number from 8 to 65464 expected."),
            std::string::npos)
            << refused.out;
    }
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace kovru

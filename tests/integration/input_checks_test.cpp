// What kovru-cli refuses before it touches a controller: a mistyped option, a list that is not
// JSON, an input that is a FIFO, a device or too large, and inputs that fail their checks. A
// refusal ends with status 2 and takes no safety backup; none of them is ever waited on.
#include "fakes/fake_temp_folder.h"
#include "fakes/firmware_files.h"
#include "fakes/sim_process.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

namespace kovru {
namespace {

using kovrkit::testing::TempFolder;
using testing::controller_image;
using testing::count_lines_with;
using testing::run_cli;
using testing::SimProcess;
using testing::write_bytes;

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class InputChecks : public ::testing::Test {
protected:
    // A safety backup, if one ran, would land in $HOME/Downloads.
    void SetUp() override
    {
        std::filesystem::create_directories(downloads());
        ::setenv("HOME", home.path().c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", home.file("config").c_str(), 1);
        files.write("channels.csv", "#dali-channel-csv-version: 1\n");
    }

    std::filesystem::path downloads() const { return home.path() / "Downloads"; }
    bool downloads_empty() const { return std::filesystem::is_empty(downloads()); }

    std::string fifo(const std::string& name) const
    {
        const std::string path = files.file(name);
        EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
        return path;
    }

    static std::string json_list(const std::string& path) { return "[\"" + path + "\"]"; }

    TempFolder home;
    TempFolder files;
};

TEST_F(InputChecks, MistypedOptionsAndBrokenListsRunNothing)
{
    SimProcess sim;
    ASSERT_TRUE(sim.ready());
    const std::string csv = json_list(files.file("channels.csv"));

    // "--dry-run" for "--dryrun" would otherwise push for real.
    auto typo = run_cli({ "--action=setup_channel", "--ip=" + sim.address(), "--channel=1",
        "--channelcsvfile=" + csv, "--dry-run" });
    EXPECT_EQ(typo.exit_status, 2) << typo.out;
    EXPECT_TRUE(contains(typo.err, "unrecognized option '--dry-run'")) << typo.err;
    EXPECT_TRUE(contains(typo.out, "?? getopt returned character code 077 ??\n")) << typo.out;
    EXPECT_TRUE(contains(typo.out, "Unknown option or option without its value: --dry-run\r\n"));
    EXPECT_FALSE(contains(typo.out, "CH=1")) << typo.out;

    auto open_list = run_cli({ "--action=setup_channel", "--ip=" + sim.address(), "--channel=[1",
        "--channelcsvfile=" + csv });
    EXPECT_EQ(open_list.exit_status, 2) << open_list.out;
    EXPECT_TRUE(contains(open_list.out, "Not a JSON value for --channel: '[1'\r\n"));
    EXPECT_FALSE(contains(open_list.out, "CH=1")) << open_list.out;

    // The same run with its options right reaches the controller.
    auto right = run_cli({ "--action=setup_channel", "--ip=" + sim.address(), "--channel=[1]",
        "--channelcsvfile=" + csv, "--dryrun" });
    EXPECT_EQ(right.exit_status, 0) << right.out;
    EXPECT_TRUE(contains(right.out, "CH=1")) << right.out;
}

TEST_F(InputChecks, FifosAndDevicesAreRefusedAtOnceWithoutASafetyBackup)
{
    SimProcess sim;
    ASSERT_TRUE(sim.ready());
    const std::string ip = "--ip=" + sim.address();

    for (const char* name : { "upgrade.bin", "upgrade.binary" }) {
        auto firmware = run_cli({ "--action=push_firmware", ip, "--firmwarefile=" + fifo(name) });
        EXPECT_EQ(firmware.exit_status, 2) << firmware.out;
        EXPECT_TRUE(contains(firmware.out, "File cannot be opened (not a regular file).\n"))
            << firmware.out;
    }
    auto device = run_cli({ "--action=push_d2fw", ip, "--firmwarefile=" + fifo("dev.d2fw") });
    EXPECT_EQ(device.exit_status, 2) << device.out;

    auto restore = run_cli({ "--action=put_backup", ip, "--backupfilein=" + fifo("backup.zip") });
    EXPECT_EQ(restore.exit_status, 2) << restore.out;
    EXPECT_TRUE(contains(restore.out, "not a regular file")) << restore.out;
    EXPECT_TRUE(downloads_empty());

    for (const std::string& csv : { fifo("channels.fifo"), std::string("/dev/zero") }) {
        for (const char* option :
            { "--channelcsvfile=", "--channelgroupscsvfile=", "--channelinputscsvfile=" }) {
            auto setup
                = run_cli({ "--action=setup_channel", ip, "--channel=1", option + json_list(csv) });
            EXPECT_EQ(setup.exit_status, 2) << setup.out;
            EXPECT_TRUE(contains(
                setup.out, csv + " cannot be read as a CSV file (not a regular file).\r\n"))
                << setup.out;
            EXPECT_FALSE(contains(setup.out, "CH=1")) << setup.out;
        }
    }
}

TEST_F(InputChecks, RefusedFilesAndValuesComeBeforeTheSafetyBackup)
{
    SimProcess sim;
    ASSERT_TRUE(sim.ready());
    const std::string ip = "--ip=" + sim.address();

    files.write("notes.zip", std::string(3000, 'x'));
    auto not_archive
        = run_cli({ "--action=put_backup", ip, "--backupfilein=" + files.file("notes.zip") });
    EXPECT_EQ(not_archive.exit_status, 2) << not_archive.out;
    EXPECT_TRUE(contains(not_archive.out, "is neither a backup archive nor a configuration image"));

    const auto image = files.path() / "image.binary";
    write_bytes(image, controller_image(1'835'192, "VELDIR-2", "1.7.0"));
    auto bad_value = run_cli({ "--action=push_firmware", ip, "--firmwarefile=" + image.string(),
        "--verifyupgrade=soon" });
    EXPECT_EQ(bad_value.exit_status, 2) << bad_value.out;

    const auto bad_model = files.path() / "model.binary";
    write_bytes(bad_model, controller_image(1'835'192, "VELDIR-9", "1.7.0"));
    auto model = run_cli({ "--action=push_firmware", ip, "--firmwarefile=" + bad_model.string() });
    EXPECT_EQ(model.exit_status, 2) << model.out;

    // Too large is said once, not followed by a size of 0 bytes.
    const auto huge = files.path() / "huge.binary";
    write_bytes(huge, {});
    std::filesystem::resize_file(huge, 16'777'215);
    auto large = run_cli({ "--action=push_firmware", ip, "--firmwarefile=" + huge.string() });
    EXPECT_EQ(large.exit_status, 2) << large.out;
    EXPECT_TRUE(contains(large.out, "File is too large (more than 16777214 bytes).\n"))
        << large.out;
    EXPECT_FALSE(contains(large.out, "Image size is invalid")) << large.out;

    EXPECT_TRUE(downloads_empty());
    EXPECT_FALSE(contains(
        not_archive.out + bad_value.out + model.out + large.out, "Downloading backup before"));
}

TEST_F(InputChecks, OversizedCsvFilesAreRefusedByTheirSize)
{
    SimProcess sim;
    ASSERT_TRUE(sim.ready());
    const auto big = files.path() / "big.csv";
    write_bytes(big, {});
    std::filesystem::resize_file(big, (4u << 20) + 1);
    auto setup = run_cli({ "--action=setup_channel", "--ip=" + sim.address(), "--channel=1",
        "--channelcsvfile=" + json_list(big.string()) });
    EXPECT_EQ(setup.exit_status, 2) << setup.out;
    EXPECT_TRUE(contains(setup.out, "(more than 4194304 bytes)")) << setup.out;
}

TEST_F(InputChecks, MissingArgumentsAreReportedOnce)
{
    for (const char* action :
        { "get_status", "get_backup", "put_backup", "push_firmware", "setup_channel" }) {
        auto run = run_cli({ std::string("--action=") + action });
        EXPECT_EQ(run.exit_status, 2) << action;
        EXPECT_EQ(count_lines_with(run.out, "Missing arguments for action"), 1) << run.out;
        EXPECT_TRUE(
            contains(run.out, std::string("Missing arguments for action ") + action + ".\n"))
            << run.out;
    }
}

} // namespace
} // namespace kovru

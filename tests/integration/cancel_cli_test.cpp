// SIGTERM in every action of kovru-cli that writes, against a simulator slowed down so that the
// signal lands mid-transfer: the run ends with status 1 within 2 s, logs "Cancelled." and
// leaves nothing unfinished behind (no hidden file, no spool, no file under a final name).
#include "fakes/backup_test_support.h"
#include "fakes/firmware_files.h"
#include "fakes/sim_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

namespace kovru {
namespace {

namespace fs = std::filesystem;
using testing::ChildSettings;

std::vector<std::string> names_under(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            names.push_back(fs::relative(entry.path(), folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

class Cancel : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const std::string& folder : { tmp, home + "/Downloads", out, inputs })
            fs::create_directories(folder);
        settings.environment
            = { { "TMPDIR", tmp }, { "HOME", home }, { "XDG_CONFIG_HOME", home + "/.config" } };
    }

    // Runs the action, sends SIGTERM once marker has appeared, and checks how it ended.
    testing::ProgramRun cancel_when(const std::vector<std::string>& arguments,
        const std::string& marker, const ChildSettings& run_settings)
    {
        testing::CliProcess run(arguments, run_settings);
        EXPECT_TRUE(run.wait_for(marker, 1, 120000)) << arguments[0] << " never showed " << marker;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const auto signalled = std::chrono::steady_clock::now();
        run.send_signal(SIGTERM);
        testing::ProgramRun ended = run.finish();
        const auto took = std::chrono::steady_clock::now() - signalled;
        EXPECT_LT(took, std::chrono::seconds(2)) << arguments[0];
        EXPECT_EQ(ended.exit_status, 1) << arguments[0] << ended.out;
        EXPECT_EQ(testing::count_lines_with(ended.out, "Cancelled."), 1) << arguments[0];
        for (const std::string& folder : { tmp, home + "/Downloads", out })
            for (const std::string& name : names_under(folder))
                EXPECT_FALSE(fs::path(name).filename().string().starts_with(".")
                    || name.starts_with("kovru-backup-spool-"))
                    << arguments[0] << " left " << folder << "/" << name;
        return ended;
    }

    testing::ScratchFolder scratch;
    const std::string tmp = scratch.file("tmp");
    const std::string home = scratch.file("home");
    const std::string out = scratch.file("out");
    const std::string inputs = scratch.file("inputs");
    testing::ChildSettings settings;
};

TEST_F(Cancel, BackupAndFlashReadLeaveNoFileAndNameTheCause)
{
    testing::SimProcess sim({ "latency_ms=10,flash_size=65536", "latency_ms=10" });
    ASSERT_TRUE(sim.ready());
    ChildSettings with_events = settings;
    std::FILE* events = std::tmpfile();
    with_events.descriptor_3 = ::fileno(events);
    cancel_when({ "--action=get_backup", "--ip=" + sim.address(0), "--backupfileouttype=zip",
                    "--backupfileout=" + out, "--eventsfd=3" },
        "% Backup file ", with_events);
    std::rewind(events);
    std::string text;
    for (int c; (c = std::fgetc(events)) != EOF;)
        text += static_cast<char>(c);
    std::fclose(events);
    EXPECT_TRUE(text.ends_with("{\"log\":{\"kind\":\"error\",\"text\":\"Cancelled.\"}}\n"
                               "{\"cause\":\"cancelled\"}\n"))
        << text.substr(text.size() > 300 ? text.size() - 300 : 0);

    cancel_when({ "--action=read_file_flashfs", "--ip=" + sim.address(1), "--backupfileout=" + out,
                    "--backupfileouttype=zip" },
        "Downloading flashfs.bin...", settings);
    EXPECT_EQ(names_under(out), std::vector<std::string> {});
}

TEST_F(Cancel, PushesStopMidTransfer)
{
    testing::SimProcess sim({ "latency_ms=2,flash_size=65536", "latency_ms=10,flash_size=65536",
        "latency_ms=20,flash_size=65536" });
    ASSERT_TRUE(sim.ready());
    const std::string image = inputs + "/image.binary";
    testing::write_bytes(image, testing::controller_image(1'835'192, "VELDIR-2", "1.7.0"));
    cancel_when({ "--action=push_firmware", "--ip=" + sim.address(0), "--firmwarefile=" + image },
        "Transferring... PLEASE WAIT...", settings);

    std::vector<std::uint8_t> device(300'000, 0x5A);
    testing::write_bytes(inputs + "/ballast.d2fw", device);
    cancel_when({ "--action=push_d2fw", "--ip=" + sim.address(1),
                    "--firmwarefile=" + inputs + "/ballast.d2fw" },
        "Transferring... PLEASE WAIT...", settings);

    // A whole backup to restore, made beforehand.
    const testing::ProgramRun made = testing::run_cli({ "--action=get_backup",
        "--ip=" + sim.address(0), "--backupfileouttype=zip", "--backupfileout=" + inputs });
    ASSERT_EQ(made.exit_status, 0) << made.out;
    std::string archive;
    for (const auto& entry : fs::directory_iterator(inputs))
        if (entry.path().extension() == ".zip")
            archive = entry.path().string();
    cancel_when({ "--action=put_backup", "--ip=" + sim.address(1), "--backupfilein=" + archive },
        "Transferring... PLEASE WAIT...", settings);

    testing::write_bytes(inputs + "/groups.csv",
        testing::bytes_of("#dali-channel-groups-csv-version: 1\n0,3,Stairs\n"));
    cancel_when({ "--action=setup_channel", "--ip=" + sim.address(2), "--channel=[1]",
                    "--channelgroupscsvfile=[\"" + inputs + "/groups.csv\"]" },
        "fetching URL", settings);
}

} // namespace
} // namespace kovru

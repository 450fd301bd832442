// kovru-cli under pressure: killed in the middle of a backup, and writing onto a full disk
// (a file-size limit with SIGXFSZ ignored, so writes fail with EFBIG as they would with
// ENOSPC). Nothing may look like a finished file that is not one, and an old file of the same
// name is never touched.
#include "fakes/backup_test_support.h"
#include "fakes/sim_process.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kovru {
namespace {

using namespace kovru::testing;

std::vector<std::string> names_in(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

int spools_in(const std::string& folder)
{
    const auto names = names_in(folder);
    return static_cast<int>(std::count_if(names.begin(), names.end(),
        [](const std::string& name) { return name.starts_with("kovru-backup-spool-"); }));
}

std::vector<std::string> backup_arguments(const std::string& address, const std::string& folder)
{
    return { "--action=get_backup", "--ip=" + address, "--backupfileouttype=zip",
        "--backupfileout=" + folder };
}

class Pressure : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(tmp);
        std::filesystem::create_directories(out);
        settings.environment = { { "TMPDIR", tmp } };
    }

    ScratchFolder scratch;
    const std::string tmp = scratch.file("tmp");
    const std::string out = scratch.file("out");
    ChildSettings settings;
};

// Two slow backups run; one is killed mid-way. The next run removes the killed run's spool
// but not the spool of the run still going, which then ends with a whole archive.
TEST_F(Pressure, KilledBackupLeavesNoArchiveAndOnlyItsSpoolIsSwept)
{
    const std::string slow = "latency_ms=10,flash_size=4096";
    // The third, quick, ends long before the slow run still going.
    SimProcess sim({ slow, slow, "flash_size=4096" });
    ASSERT_TRUE(sim.ready());
    // Not ours, or not by the name our spools have: never removed.
    write_bytes(tmp + "/kovru-backup-Ab12Cd", bytes_of("other"));
    write_bytes(tmp + "/kovru-backup-spool-Ab12", bytes_of("other"));

    CliProcess going(backup_arguments(sim.address(0), out), settings);
    CliProcess killed(backup_arguments(sim.address(1), out), settings);
    ASSERT_TRUE(going.wait_for("% Backup file ", 3, 120000));
    ASSERT_TRUE(killed.wait_for("% Backup file ", 3, 120000));
    killed.kill_now();
    for (const std::string& name : names_in(out))
        EXPECT_TRUE(name.starts_with(".")) << name << " looks like a finished backup";
    EXPECT_EQ(spools_in(tmp), 3);

    ProgramRun next = run_cli(backup_arguments(sim.address(2), out), settings);
    EXPECT_EQ(next.exit_status, 0) << next.out;
    EXPECT_EQ(spools_in(tmp), 2) << "only the killed run's spool goes";

    ProgramRun finished = going.finish();
    EXPECT_EQ(finished.exit_status, 0) << finished.out;
    EXPECT_EQ(spools_in(tmp), 1);
    std::vector<std::string> archives;
    for (const std::string& name : names_in(out))
        if (!name.starts_with("."))
            archives.push_back(name);
    ASSERT_EQ(archives.size(), 2u);
    for (const std::string& archive : archives) {
        EXPECT_TRUE(finished.out.find(archive) != std::string::npos
            || next.out.find(archive) != std::string::npos)
            << archive << " is not the name a run reported";
        const CommandResult tested = run_command("unzip -t '" + out + "/" + archive + "'");
        EXPECT_EQ(tested.exit_status, 0) << tested.output;
    }
}

TEST_F(Pressure, AFullDiskFailsTheRunAndKeepsTheOldFile)
{
    SimProcess sim;
    ASSERT_TRUE(sim.ready());
    write_bytes(out + "/flashfs.bin", bytes_of("old flash"));
    write_bytes(out + "/channels.csv", bytes_of("old channels"));
    write_bytes(out + "/groups.csv", bytes_of("old groups"));
    const auto before = names_in(out);

    // The 2 MiB flash snapshot does not fit: no archive, and no item is fetched for nothing.
    ChildSettings full = settings;
    full.file_size_limit = 1 << 20;
    ProgramRun backup = run_cli(backup_arguments(sim.address(), out), full);
    EXPECT_EQ(backup.exit_status, 1) << backup.out;
    EXPECT_EQ(count_lines_with(backup.out, "Could not add flashfs.bin to the backup archive."), 1)
        << backup.out;
    EXPECT_NE(backup.out.find("(flashfs.bin: File too large)."), std::string::npos) << backup.out;
    EXPECT_EQ(count_lines_with(backup.out, "backup file OK"), 0);
    EXPECT_EQ(spools_in(tmp), 0);

    // Loose files: the flash image fails and the old one stays; the small files are written.
    const std::string loose = scratch.file("loose");
    std::filesystem::create_directories(loose);
    write_bytes(loose + "/flashfs.bin", bytes_of("old flash"));
    ProgramRun files
        = run_cli({ "--action=get_backup", "--ip=" + sim.address(), "--backupfileouttype=directory",
                      "--backupfileout=" + loose, R"(--backupconfig=["dali1"])" },
            full);
    EXPECT_EQ(files.exit_status, 1) << files.out;
    EXPECT_EQ(read_bytes(loose + "/flashfs.bin"), bytes_of("old flash"));
    EXPECT_EQ(names_in(loose),
        (std::vector<std::string> { "dali1.tar", "flashfs.bin", "log.txt", "tool.txt" }));

    full.file_size_limit = 1 << 16;
    ProgramRun flash = run_cli({ "--action=read_file_flashfs", "--ip=" + sim.address(),
                                   "--backupfileout=" + out, "--backupfileouttype=zip" },
        full);
    EXPECT_EQ(flash.exit_status, 1) << flash.out;
    EXPECT_NE(flash.out.find("[ERROR] Cannot write output file: " + out + "/flashfs.bin"),
        std::string::npos)
        << flash.out;

    full.file_size_limit = 64;
    ProgramRun exported
        = run_cli({ "--action=export_channel", "--ip=" + sim.address(), "--channel=1",
                      "--channelcsvfile=[\"" + out + "/channels.csv\"]",
                      "--channelgroupscsvfile=[\"" + out + "/groups.csv\"]" },
            full);
    EXPECT_EQ(exported.exit_status, 1) << exported.out;
    EXPECT_NE(exported.out.find("Could not write " + out + "/channels.csv"), std::string::npos)
        << exported.out;

    EXPECT_EQ(names_in(out), before);
    EXPECT_EQ(read_bytes(out + "/flashfs.bin"), bytes_of("old flash"));
    EXPECT_EQ(read_bytes(out + "/channels.csv"), bytes_of("old channels"));
    EXPECT_EQ(read_bytes(out + "/groups.csv"), bytes_of("old groups"));
}

} // namespace
} // namespace kovru

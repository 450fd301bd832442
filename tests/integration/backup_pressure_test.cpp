// kovru-cli under pressure: killed in the middle of a backup, and writing onto a full disk
// (a file-size limit with SIGXFSZ ignored, so writes fail with EFBIG as they would with
// ENOSPC). Nothing may look like a finished file that is not one, and an old file of the same
// name is never touched.
#include "fakes/backup_test_support.h"
#include "fakes/sim_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <memory>

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

std::vector<std::string> hidden_names_in(const std::string& folder)
{
    std::vector<std::string> hidden;
    for (const std::string& name : names_in(folder))
        if (name.starts_with("."))
            hidden.push_back(name);
    return hidden;
}

// kovru-cli stopped at the point named, alive, holding what it holds there.
std::unique_ptr<CliProcess> stopped_at(
    const std::string& point, const std::vector<std::string>& arguments, ChildSettings settings)
{
    settings.environment.emplace_back("KOVRU_TEST_STOP_AT", point);
    auto run = std::make_unique<CliProcess>(arguments, settings);
    EXPECT_TRUE(run->wait_for("stopped at " + point, 1, 60000)) << point;
    return run;
}

// The archive names a run started at any of the next seconds could want.
std::vector<std::string> archive_names_ahead(const std::string& address, int seconds)
{
    std::string safe = address;
    std::replace(safe.begin(), safe.end(), ':', '_');
    std::vector<std::string> names;
    const std::time_t now = std::time(nullptr);
    for (int k = 0; k < seconds; ++k) {
        const std::time_t then = now + k;
        std::tm local {};
        localtime_r(&then, &local);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y%m%d_%H%M%S", &local);
        names.push_back("backup_" + safe + "_VELDIR_" + stamp + ".zip");
    }
    return names;
}

// Runs killed at each point where they hold files leave them behind; the next run into the
// folder removes all of that, keeps what a live run holds, and takes its archive's own name.
TEST_F(Pressure, WhatKilledRunsLeftIsSweptAndWhatALiveRunHoldsIsKept)
{
    SimProcess sim({ "flash_size=65536", "latency_ms=20,flash_size=65536", "flash_size=65536" });
    ASSERT_TRUE(sim.ready());
    auto zip_run = backup_arguments(sim.address(0), out);
    zip_run.push_back(R"(--backupconfig=["dali1","dali2"])");
    const std::vector<std::string> loose_run = { "--action=get_backup", "--ip=" + sim.address(0),
        "--backupfileouttype=directory", "--backupfileout=" + out, R"(--backupconfig=["dali1"])" };
    // All are alive until the last is where it should be, so no run sweeps another's files.
    std::vector<std::unique_ptr<CliProcess>> killed;
    for (const std::string point : { "spool", "archive-write", "archive-publish" })
        killed.push_back(stopped_at(point, zip_run, settings));
    killed.push_back(stopped_at("directory-store", loose_run, settings));
    killed.push_back(std::make_unique<CliProcess>(backup_arguments(sim.address(1), out), settings));
    ASSERT_TRUE(killed.back()->wait_for("% Backup file ", 2, 60000));
    for (auto& run : killed)
        run->kill_now();
    const auto left = hidden_names_in(out);
    for (const std::string kind : { ".zip.partial", ".zip.partial.zip", ".tool.txt.partial" })
        EXPECT_TRUE(std::any_of(left.begin(), left.end(),
            [&](const std::string& name) { return name.ends_with(kind); }))
            << kind << " not among what the killed runs left";
    EXPECT_GE(spools_in(tmp), 4);
    for (const std::string& name : names_in(tmp))
        EXPECT_EQ(std::filesystem::status(tmp + "/" + name).permissions()
                & (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
            std::filesystem::perms::none)
            << name << ": a spool holds the configuration and is private";
    // What an earlier version left when killed while naming its spool.
    write_bytes(tmp + "/kovru-backup-spool-Ab12Cd.new", bytes_of("old"));
    // A dead run's reservation under every name the next run could want: it must not push the
    // name to "_1".
    const std::string dead = *std::find_if(left.begin(), left.end(),
        [](const std::string& name) { return name.ends_with(".zip.partial"); });
    for (const std::string& name : archive_names_ahead(sim.address(0), 30))
        std::filesystem::create_hard_link(out + "/" + dead, out + "/." + name + ".partial");

    ChildSettings held = settings;
    held.environment.emplace_back("KOVRU_TEST_STOP_AT", "archive-write");
    auto live_run = backup_arguments(sim.address(2), out);
    live_run.push_back(R"(--backupconfig=["dali1"])");
    CliProcess live(live_run, held);
    ASSERT_TRUE(live.wait_for("stopped at archive-write", 1, 60000));
    const auto live_files = hidden_names_in(out);

    ProgramRun next = run_cli(zip_run, settings);
    EXPECT_EQ(next.exit_status, 0) << next.out;
    EXPECT_EQ(next.out.find("_1.zip"), std::string::npos) << next.out;
    ProgramRun loose = run_cli(loose_run, settings);
    EXPECT_EQ(loose.exit_status, 0) << loose.out;
    std::vector<std::string> live_left;
    for (const std::string& name : live_files)
        if (name.find("_" + std::to_string(sim.port(2)) + "_") != std::string::npos)
            live_left.push_back(name);
    EXPECT_EQ(live_left.size(), 2u) << "the partial and the archive being written";
    EXPECT_EQ(hidden_names_in(out), live_left);
    EXPECT_EQ(spools_in(tmp), 1) << "only the live run's spool stays";

    live.kill_now();
    ProgramRun last = run_cli(zip_run, settings);
    EXPECT_EQ(last.exit_status, 0) << last.out;
    EXPECT_EQ(hidden_names_in(out), std::vector<std::string> {});
    EXPECT_EQ(spools_in(tmp), 0);
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
    // The file and the system's reason; no completion for a backup that lacks a file.
    EXPECT_EQ(
        count_lines_with(files.out, "Could not write " + loose + "/flashfs.bin: File too large."),
        1)
        << files.out;
    EXPECT_EQ(count_lines_with(files.out, "Completed"), 0) << files.out;
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

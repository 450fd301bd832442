// Backups and restores of simulated controllers through the kovru-cli program.
#include "cli/action/channel_conversion.h"
#include "cli/action/config_file_header.h"
#include "cli/action/input_device_conversion.h"
#include "cli/backup/config_items.h"
#include "cli/backup/tar_image.h"
#include "cli/backup/tool_marker.h"
#include "fakes/backup_sim.h"
#include "fakes/backup_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace kovru {
namespace {

using namespace kovru::testing;

using Bytes = std::vector<std::uint8_t>;

// The lines of a run that say what went wrong, for failure messages.
std::string trouble_lines(const std::string& out)
{
    std::string lines;
    std::size_t start = 0;
    while (start < out.size()) {
        std::size_t end = out.find('\n', start);
        if (end == std::string::npos)
            end = out.size();
        const std::string line = out.substr(start, end - start);
        for (const char* word :
            { "fail", "Fail", "error", "Error", "not restored", "SUPPORTED", "refused", "did not" })
            if (line.find(word) != std::string::npos) {
                lines += line + "\n";
                break;
            }
        start = end + 1;
    }
    return lines;
}

class BackupRestore : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The safety backup before a restore goes to $HOME/Downloads.
        ::setenv("HOME", scratch.path().c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", scratch.file("config").c_str(), 1);
        std::filesystem::create_directories(scratch.file("Downloads"));
        std::filesystem::create_directories(scratch.file("out"));
    }

    // The archive a successful get_backup names in its completion line.
    static std::string completed_archive(const std::string& out)
    {
        const std::string marker = "100% Completed (";
        const std::size_t at = out.rfind(marker);
        if (at == std::string::npos)
            return {};
        const std::size_t start = at + marker.size();
        return out.substr(start, out.find(").", start) - start);
    }

    std::string backup(const std::string& address, const std::string& selection = {})
    {
        std::vector<std::string> arguments { "--action=get_backup", "--ip=" + address,
            "--backupfileouttype=zip", "--backupfileout=" + scratch.file("out") };
        if (!selection.empty())
            arguments.push_back("--backupconfig=" + selection);
        CliRun run = run_kovru_cli(arguments);
        EXPECT_EQ(run.exit_status, 0) << trouble_lines(run.out);
        return completed_archive(run.out);
    }

    CliRun restore(const std::string& address, const std::string& archive)
    {
        return run_kovru_cli(
            { "--action=put_backup", "--ip=" + address, "--backupfilein=" + archive });
    }

    ScratchFolder scratch;
};

const ZipEntry* entry_named(const std::vector<ZipEntry>& entries, const std::string& name)
{
    for (const ZipEntry& entry : entries)
        if (entry.name == name)
            return &entry;
    return nullptr;
}

// The configuration file of an item inside a backup archive's entries.
Bytes item_file(const std::vector<ZipEntry>& entries, const std::string& item_name)
{
    const ConfigItem* item = find_config_item(item_name);
    const ZipEntry* entry = entry_named(entries, item->tar_entry_name);
    if (!entry)
        return {};
    TarImageReader reader(entry->bytes);
    std::span<const std::uint8_t> data;
    if (reader.find(item->device_path) != tar_success || reader.read_data(data) != tar_success)
        return {};
    return { data.begin(), data.end() };
}

std::string controller(const std::string& firmware, const std::string& extra = {})
{
    return "ip=127.0.0.1,port=0,firmware=" + firmware + (extra.empty() ? "" : "," + extra);
}

const char* converted_items
    = R"(["dali1","dali2","dali3","dali4","cd1","cd2","cd3","cd4","views7"])";

TEST_F(BackupRestore, FullBackupHoldsEveryItemInFetchOrder)
{
    BackupSim sim({ controller("1.5.0") });
    ASSERT_TRUE(sim.ready());
    CliRun run = run_kovru_cli({ "--action=get_backup", "--ip=" + sim.address(0),
        "--backupfileouttype=zip", "--backupfileout=" + scratch.file("out") });
    ASSERT_EQ(run.exit_status, 0) << trouble_lines(run.out);
    const std::string archive = completed_archive(run.out);
    EXPECT_NE(archive.find("backup_127.0.0.1_"), std::string::npos) << archive;
    EXPECT_NE(run.out.find("99% Backup file views63.tar..."), std::string::npos);
    EXPECT_EQ(run.out.find("100% Backup file"), std::string::npos);

    auto entries = read_zip(archive);
    ASSERT_EQ(entries.size(), 615u);
    EXPECT_EQ(entries[0].name, "tool.txt");
    EXPECT_EQ(entries[0].bytes, bytes_of(kToolMarkerText));
    EXPECT_EQ(entries[1].name, "flashfs.bin");
    EXPECT_EQ(entries[1].bytes.size(), 2097152u);
    auto order = default_fetch_order();
    for (std::size_t k = 0; k < order.size(); ++k) {
        const ConfigItem& item = config_items()[order[k]];
        ASSERT_EQ(entries[2 + k].name, item.tar_entry_name);
        EXPECT_FALSE(item_file(entries, item.item_name).empty()) << item.item_name;
    }
    EXPECT_EQ(entries[614].name, "log.txt");
    const std::string log(entries[614].bytes.begin(), entries[614].bytes.end());
    EXPECT_NE(log.find("99% Backup file views63.tar..."), std::string::npos);
    EXPECT_NE(log.find("100% Completed ("), std::string::npos);
    for (const ZipEntry& entry : entries)
        EXPECT_EQ(entry.method, ZIP_CM_DEFLATE) << entry.name;

    EXPECT_EQ(run_command("unzip -tq '" + archive + "'").exit_status, 0);
    auto listed = run_command("zipinfo '" + archive + "'");
    EXPECT_EQ(listed.exit_status, 0);
    EXPECT_NE(listed.output.find("615 files"), std::string::npos) << listed.output;
}

TEST_F(BackupRestore, SelectionDirectoryModeAndMissingItems)
{
    BackupSim sim({ controller("1.5.0", "fail_first=1000,fail_items=dali2") });
    ASSERT_TRUE(sim.ready());
    auto entries = read_zip(backup(sim.address(0), R"(["dali1","cd2","dali1"])"));
    std::vector<std::string> names;
    for (const ZipEntry& entry : entries)
        names.push_back(entry.name);
    EXPECT_EQ(names,
        (std::vector<std::string> {
            "tool.txt", "flashfs.bin", "dali1.tar", "cd2.tar", "log.txt" }));

    const std::string folder = scratch.file("loose");
    std::filesystem::create_directories(folder);
    CliRun loose = run_kovru_cli(
        { "--action=get_backup", "--ip=" + sim.address(0), "--backupfileouttype=directory",
            "--backupfileout=" + folder, R"(--backupconfig=["cd1"])" });
    EXPECT_EQ(loose.exit_status, 0) << loose.out;
    EXPECT_EQ(read_bytes(folder + "/tool.txt"), bytes_of(kToolMarkerText));
    // Item names end up in URLs and file names: a name that could leave the folder is refused.
    CliRun escaping = run_kovru_cli(
        { "--action=get_backup", "--ip=" + sim.address(0), "--backupfileouttype=directory",
            "--backupfileout=" + folder, R"(--backupconfig=["../escaped","cd1"])" });
    EXPECT_EQ(escaping.exit_status, 1);
    EXPECT_FALSE(std::filesystem::exists(scratch.file("escaped.tar")));
    EXPECT_EQ(read_bytes(folder + "/flashfs.bin").size(), 2097152u);
    EXPECT_EQ(read_bytes(folder + "/cd1.tar"),
        entry_named(read_zip(backup(sim.address(0), R"(["cd1"])")), "cd1.tar")->bytes);

    // A missing item makes the backup incomplete: stored without it, exit status 1.
    CliRun partial = run_kovru_cli(
        { "--action=get_backup", "--ip=" + sim.address(0), "--backupfileouttype=zip",
            "--backupfileout=" + scratch.file("out"), R"(--backupconfig=["dali1","dali2"])" });
    EXPECT_EQ(partial.exit_status, 1);
    EXPECT_NE(partial.out.find("backup\tbackup file not found for action get_backup."),
        std::string::npos);
    auto partial_entries = read_zip(completed_archive(partial.out));
    EXPECT_TRUE(entry_named(partial_entries, "dali1.tar"));
    EXPECT_FALSE(entry_named(partial_entries, "dali2.tar"));

    CliRun no_ip = run_kovru_cli({ "--action=get_backup", "--backupfileouttype=zip",
        "--backupfileout=" + scratch.file("out") });
    EXPECT_EQ(no_ip.exit_status, 2);
    EXPECT_NE(no_ip.out.find("Missing arguments for action get_backup."), std::string::npos);
    CliRun odd_type = run_kovru_cli({ "--action=get_backup", "--ip=" + sim.address(0),
        "--backupfileouttype=rar", "--backupfileout=" + scratch.file("out") });
    EXPECT_EQ(odd_type.exit_status, 2);
}

void expect_converted_header(const Bytes& file, std::uint32_t version, std::uint32_t counter)
{
    auto header = read_config_file_header(file);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->version, version);
    EXPECT_EQ(header->file_size, file.size());
    EXPECT_EQ(header->change_counter, counter);
    EXPECT_TRUE(config_file_header_valid(file));
}

TEST_F(BackupRestore, RestoreConvertsForNewerFirmwareAndRefusesOlder)
{
    BackupSim sim({ controller("1.3.0"), controller("1.3.1"), controller("1.5.0"),
        controller("2.2.4"), controller("1.10.0") });
    ASSERT_TRUE(sim.ready());
    const std::string old_archive = backup(sim.address(0));
    auto old_entries = read_zip(old_archive);
    ASSERT_EQ(old_entries.size(), 615u);

    struct Target {
        std::size_t controller;
        std::uint32_t channel_version;
        std::uint32_t input_device_version;
    };
    for (Target target :
        { Target { 1, 2, 2 }, Target { 2, 3, 2 }, Target { 3, 3, 3 }, Target { 4, 3, 2 } }) {
        SCOPED_TRACE("controller " + std::to_string(target.controller));
        CliRun run = restore(sim.address(target.controller), old_archive);
        EXPECT_EQ(run.exit_status, 0) << trouble_lines(run.out);
        auto after = read_zip(backup(sim.address(target.controller), converted_items));
        for (int line = 1; line <= 4; ++line) {
            const std::string dali = "dali" + std::to_string(line);
            const Bytes before = item_file(old_entries, dali);
            ASSERT_EQ(read_config_file_header(before)->version, 1u);
            const Bytes now = item_file(after, dali);
            expect_converted_header(
                now, target.channel_version, read_config_file_header(before)->change_counter + 1);
            EXPECT_EQ(now,
                target.channel_version == 2 ? convert_channel_v1_to_v2(before)
                                            : convert_channel_v1_to_v3(before));

            const std::string cd = "cd" + std::to_string(line);
            const Bytes cd_before = item_file(old_entries, cd);
            ASSERT_EQ(read_config_file_header(cd_before)->version, 2u);
            const Bytes cd_now = item_file(after, cd);
            if (target.input_device_version == 2) {
                EXPECT_EQ(cd_now, cd_before);
            } else {
                expect_converted_header(
                    cd_now, 3, read_config_file_header(cd_before)->change_counter + 1);
                EXPECT_EQ(cd_now, convert_input_device_v2_to_v3(cd_before));
            }
        }
        EXPECT_EQ(item_file(after, "views7"), item_file(old_entries, "views7"));
        // The safety backup went to the download folder first.
        EXPECT_NE(run.out.find("Downloading backup before restoring (" + scratch.file("Downloads")),
            std::string::npos);
    }
    // One safety backup per restore, each a full backup without the run's log.
    int safety_backups = 0;
    for (const auto& file : std::filesystem::directory_iterator(scratch.file("Downloads"))) {
        auto entries = read_zip(file.path().string());
        EXPECT_EQ(entries.size(), 614u) << file.path();
        EXPECT_FALSE(entry_named(entries, "log.txt")) << file.path();
        ++safety_backups;
    }
    EXPECT_EQ(safety_backups, 4);

    // A version-3 backup cannot go back to firmware 1.3.0: the channel files stay as they
    // were, everything else is restored, and the restore reports itself incomplete.
    const std::string new_archive = backup(sim.address(2));
    CliRun back = restore(sim.address(0), new_archive);
    EXPECT_EQ(back.exit_status, 1);
    EXPECT_NE(back.out.find("CONFIGURATION dali CONVERSION VERSION 3 to 1 IS NOT SUPPORTED!"),
        std::string::npos);
    auto old_again = read_zip(backup(sim.address(0), converted_items));
    EXPECT_EQ(item_file(old_again, "dali1"), item_file(old_entries, "dali1"));
    EXPECT_EQ(item_file(old_again, "views7"), item_file(read_zip(new_archive), "views7"));
}

Bytes changed_views_file(const std::vector<ZipEntry>& entries)
{
    Bytes file = item_file(entries, "views7");
    file.back() ^= 0x5A;
    finish_config_file_header(file, read_config_file_header(file)->version, 99);
    return file;
}

ZipEntry views_entry(const Bytes& file)
{
    return { "views7.tar", 0, make_single_file_tar("/etc/config/views/views7.bin", file, 1) };
}

TEST_F(BackupRestore, RefusedInputPushesNothing)
{
    BackupSim sim({ controller("1.5.0") });
    ASSERT_TRUE(sim.ready());
    auto original = read_zip(backup(sim.address(0), R"(["views7"])"));
    const Bytes changed = changed_views_file(original);
    auto controller_views
        = [&] { return item_file(read_zip(backup(sim.address(0), R"(["views7"])")), "views7"); };

    const std::string newer = scratch.file("newer.zip");
    std::string marker(kToolMarkerText);
    marker.replace(marker.find("\"version_revision\": 1"), 21, "\"version_revision\": 2");
    ASSERT_TRUE(write_zip(newer, { { "tool.txt", 0, bytes_of(marker) }, views_entry(changed) }));
    CliRun refused = restore(sim.address(0), newer);
    EXPECT_EQ(refused.exit_status, 2);
    EXPECT_NE(refused.out.find("The backup is not supported by the installed tool version. "
                               "Please upgrade the tool software."),
        std::string::npos);
    EXPECT_EQ(controller_views(), item_file(original, "views7"));

    const std::string junk = scratch.file("junk.zip");
    Bytes junk_bytes;
    for (int i = 0; i < 100; ++i)
        for (char c : std::string("not a backup "))
            junk_bytes.push_back(static_cast<std::uint8_t>(c));
    write_bytes(junk, junk_bytes);
    CliRun not_zip = restore(sim.address(0), junk);
    EXPECT_EQ(not_zip.exit_status, 2);
    EXPECT_NE(not_zip.out.find("Error -6 opening tar file."), std::string::npos) << not_zip.out;
    EXPECT_EQ(restore(sim.address(0), scratch.file("absent.zip")).exit_status, 2);

    // A zip without configuration items restores nothing, which is not a success.
    const std::string marker_only = scratch.file("marker-only.zip");
    ASSERT_TRUE(write_zip(marker_only, { { "tool.txt", 0, bytes_of(kToolMarkerText) } }));
    EXPECT_EQ(restore(sim.address(0), marker_only).exit_status, 1);
}

TEST_F(BackupRestore, EntriesWithoutTheirFileAndPlainImages)
{
    BackupSim sim({ controller("1.5.0") });
    ASSERT_TRUE(sim.ready());
    auto original = read_zip(backup(sim.address(0), R"(["views7"])"));
    const Bytes changed = changed_views_file(original);
    auto controller_views
        = [&] { return item_file(read_zip(backup(sim.address(0), R"(["views7"])")), "views7"); };

    // No "tool.txt": no version check. "dali1.tar" lacks its file: skipped, restore incomplete.
    TarImageWriter wrong;
    TarHeader header;
    header.name = "/etc/config/dali/dali2.bin";
    header.size = 3;
    wrong.write_header(header);
    wrong.write_data(bytes_of("abc"));
    header.name = "status.txt";
    wrong.write_header(header);
    wrong.write_data(bytes_of("{} "));
    wrong.finish();
    const std::string mixed = scratch.file("mixed.zip");
    ASSERT_TRUE(write_zip(mixed,
        { { "dali1.tar", 0, wrong.take() }, views_entry(changed),
            { "flashfs.bin", 0, bytes_of("never pushed") } }));
    CliRun run = restore(sim.address(0), mixed);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_NE(run.out.find("action_put_backup\terror '/etc/config/dali/dali1.bin' file not found."),
        std::string::npos);
    EXPECT_EQ(controller_views(), changed);

    const std::string plain = scratch.file("views.tar");
    write_bytes(plain,
        make_single_file_tar("/etc/config/views/views7.bin", item_file(original, "views7"), 1));
    CliRun plain_run = restore(sim.address(0), plain);
    EXPECT_EQ(plain_run.exit_status, 0) << plain_run.out;
    EXPECT_NE(plain_run.out.find("OK\n"), std::string::npos);
    EXPECT_EQ(controller_views(), item_file(original, "views7"));
}

} // namespace
} // namespace kovru

// compare_backup and put_backup --dryrun through the kovru-cli program: archives made by a
// backup of kovru-sim and changed here in one field of each kind, against each other and
// against the simulator, and every kind of trouble.
#include "cli/action/config_file_header.h"
#include "cli/action/config_layouts.h"
#include "cli/backup/tar_image.h"
#include "fakes/backup_sim.h"
#include "fakes/backup_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace kovru {
namespace {

using namespace kovru::testing;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kV3Records = 60;
constexpr std::size_t kV3RecordSize = 100;
constexpr std::size_t kV3Name = 45;
constexpr std::size_t kV3Groups = 6460;
constexpr std::size_t kGroupSize = 38;

int count_lines_starting(const std::string& text, const std::string& start)
{
    int count = text.starts_with(start) ? 1 : 0;
    for (std::size_t at = text.find("\n" + start); at != std::string::npos;
         at = text.find("\n" + start, at + 1))
        ++count;
    return count;
}

ZipEntry& entry_named(std::vector<ZipEntry>& entries, const std::string& name)
{
    auto found = std::ranges::find(entries, name, &ZipEntry::name);
    if (found == entries.end())
        throw std::runtime_error("no entry " + name);
    return *found;
}

Bytes file_in(const ZipEntry& entry, const std::string& path)
{
    TarImageReader reader(entry.bytes);
    std::span<const std::uint8_t> data;
    if (reader.find(path) != tar_success || reader.read_data(data) != tar_success)
        return {};
    return { data.begin(), data.end() };
}

// The entry's image replaced by one that holds only the file, with another time stamp.
void put_file(ZipEntry& entry, const std::string& path, const Bytes& file)
{
    entry.bytes = make_single_file_tar(path, file, 1234567);
}

void put_name(Bytes& file, std::size_t offset, const char* name)
{
    std::fill_n(file.begin() + static_cast<std::ptrdiff_t>(offset), 33, 0);
    std::memcpy(file.data() + offset, name, std::strlen(name));
}

// A new CRC over the changed bytes; the counter as the caller left it.
void refresh_crc(Bytes& file)
{
    write_u32_le(file, 4, 0);
    write_u16_le(file, 4, crc16_mcrf4xx(file));
}

void drop(std::vector<ZipEntry>& entries, const std::string& name)
{
    std::erase_if(entries, [&](const ZipEntry& entry) { return entry.name == name; });
}

// kovru-cli with its output's line ends as "\n".
CliRun cli(const std::vector<std::string>& arguments)
{
    CliRun run = run_kovru_cli(arguments);
    std::erase(run.out, '\r');
    return run;
}

class CompareBackup : public ::testing::Test {
protected:
    // A full backup of the controller; its entries.
    std::vector<ZipEntry> backup(const std::string& address)
    {
        const std::string folder = scratch.file("backup" + std::to_string(++backups_));
        std::filesystem::create_directories(folder);
        CliRun run = cli({ "--action=get_backup", "--ip=" + address, "--backupfileouttype=zip",
            "--backupfileout=" + folder });
        EXPECT_EQ(run.exit_status, 0) << run.out;
        for (const auto& archive : std::filesystem::directory_iterator(folder))
            return read_zip(archive.path().string());
        return {};
    }

    std::string write(const std::string& name, const std::vector<ZipEntry>& entries)
    {
        EXPECT_TRUE(write_zip(scratch.file(name), entries));
        return scratch.file(name);
    }

    CliRun compare(const std::string& a, const std::string& b)
    {
        return cli({ "--action=compare_backup", "--backupfilein=" + a, "--comparewith=" + b });
    }

    // One device name in dali1, one group name in dali2, one byte of systemconfig; views5
    // left out. The unchanged archive lacks views6.
    void make_pair(const std::vector<ZipEntry>& full)
    {
        std::vector<ZipEntry> older = full;
        drop(older, "views6.tar");
        older_ = write("older.zip", older);

        std::vector<ZipEntry> newer = full;
        ZipEntry& dali1 = entry_named(newer, "dali1.tar");
        Bytes channel = file_in(dali1, "/etc/config/dali/dali1.bin");
        put_name(channel, kV3Records + 2 * kV3RecordSize + kV3Name, "Hallway");
        refresh_crc(channel);
        put_file(dali1, "/etc/config/dali/dali1.bin", channel);

        ZipEntry& dali2 = entry_named(newer, "dali2.tar");
        Bytes groups = file_in(dali2, "/etc/config/dali/dali2.bin");
        put_name(groups, kV3Groups + kGroupSize, "Night");
        refresh_crc(groups);
        put_file(dali2, "/etc/config/dali/dali2.bin", groups);

        ZipEntry& system = entry_named(newer, "systemconfig.tar");
        system_before_ = file_in(system, "/etc/config/system/systemconfig.bin");
        system_after_ = system_before_;
        ASSERT_FALSE(system_after_.empty());
        system_after_.back() ^= 0x5A;
        put_file(system, "/etc/config/system/systemconfig.bin", system_after_);
        drop(newer, "views5.tar");
        newer_ = write("newer.zip", newer);
    }

    std::string sha256sum(const Bytes& bytes)
    {
        write_bytes(scratch.file("digest.bin"), bytes);
        CommandResult run = run_command("sha256sum " + scratch.file("digest.bin"));
        return run.output.substr(0, 64);
    }

    ScratchFolder scratch;
    int backups_ = 0;
    std::string older_;
    std::string newer_;
    Bytes system_before_;
    Bytes system_after_;
};

TEST_F(CompareBackup, OneLinePerDifferingItemWithChannelAndGroupFieldsAndPlainDigests)
{
    BackupSim sim({ "ip=127.0.0.1,port=0,firmware=2.2.4" });
    ASSERT_TRUE(sim.ready());
    make_pair(backup(sim.address(0)));

    CliRun run = compare(older_, newer_);
    EXPECT_EQ(run.exit_status, 1) << run.out;
    const std::string& out = run.out;
    EXPECT_NE(out.find("changed dali1:\nLine 1 device 2 changed:\n"
                       "\tname: \"Line 1 luminaire 3\" -> \"Hallway\"\n"),
        std::string::npos)
        << out;
    EXPECT_NE(out.find("changed dali2:\nLine 2 group 1 changed:\n"
                       "\tname: \"Line 2 group 1\" -> \"Night\"\n"),
        std::string::npos)
        << out;
    const std::string size = std::to_string(system_before_.size()) + " bytes, sha256 ";
    EXPECT_NE(out.find("changed systemconfig: " + size + sha256sum(system_before_) + " -> " + size
                  + sha256sum(system_after_) + "\n"),
        std::string::npos)
        << out;
    EXPECT_NE(out.find("added views6: "), std::string::npos);
    EXPECT_NE(out.find("removed views5: "), std::string::npos);
    EXPECT_EQ(count_lines_starting(out, "changed ") + count_lines_starting(out, "added ")
            + count_lines_starting(out, "removed "),
        5);
    // The CRCs changed with the names: no header line.
    EXPECT_EQ(out.find("header changed"), std::string::npos);
    EXPECT_NE(out.find("5 of 612 configuration items differ: 1 added, 1 removed, 3 changed."),
        std::string::npos);

    // The other way round, the same items the other way.
    CliRun back = compare(newer_, older_);
    EXPECT_EQ(back.exit_status, 1);
    EXPECT_NE(back.out.find("\tname: \"Hallway\" -> \"Line 1 luminaire 3\"\n"), std::string::npos);
    EXPECT_NE(back.out.find("removed views6: "), std::string::npos);
    EXPECT_NE(back.out.find("added views5: "), std::string::npos);
}

TEST_F(CompareBackup, CountersAndCrcsAreNoDifferenceButOtherHeaderBytesAre)
{
    BackupSim sim({ "ip=127.0.0.1,port=0,firmware=2.2.4" });
    ASSERT_TRUE(sim.ready());
    const std::vector<ZipEntry> full = backup(sim.address(0));
    const std::string original = write("original.zip", full);

    std::vector<ZipEntry> counted = full;
    std::reverse(counted.begin(), counted.end());
    for (const char* line : { "1", "3" }) {
        for (const std::string kind : { "dali", "cd" }) {
            ZipEntry& entry = entry_named(counted, kind + line + ".tar");
            const std::string path = "/etc/config/dali/" + kind + line + ".bin";
            Bytes file = file_in(entry, path);
            write_u32_le(file, 12, read_u32_le(file, 12) + 7);
            refresh_crc(file);
            put_file(entry, path, file);
        }
    }
    CliRun equal = compare(original, write("counted.zip", counted));
    EXPECT_EQ(equal.exit_status, 0) << equal.out;
    EXPECT_NE(
        equal.out.find("The configurations are equal (612 items compared)."), std::string::npos);

    ZipEntry& dali1 = entry_named(counted, "dali1.tar");
    Bytes file = file_in(dali1, "/etc/config/dali/dali1.bin");
    file[6] = 1;
    put_file(dali1, "/etc/config/dali/dali1.bin", file);
    CliRun different = compare(original, write("header.zip", counted));
    EXPECT_EQ(different.exit_status, 1) << different.out;
    EXPECT_NE(different.out.find("changed dali1:\nLine 1 header changed:\n"
                                 "\tbytes 6..7: [0,0] -> [1,0]\n"),
        std::string::npos)
        << different.out;
    EXPECT_NE(different.out.find("1 of 612 configuration items differ: 0 added, 0 removed, 1 "
                                 "changed."),
        std::string::npos);
}

TEST_F(CompareBackup, AgainstTheSimulatorAndTheDryRunOfARestorePushesNothing)
{
    BackupSim sim({ "ip=127.0.0.1,port=0,firmware=2.2.4", "ip=127.0.0.1,port=0,firmware=1.3.1" });
    ASSERT_TRUE(sim.ready());
    make_pair(backup(sim.address(0)));
    const std::string ip = "--ip=" + sim.address(0);

    CliRun same = cli({ "--action=compare_backup", "--backupfilein=" + older_, ip });
    // views6 is missing from the older archive only.
    EXPECT_EQ(same.exit_status, 1) << same.out;
    EXPECT_NE(same.out.find("1 of 612 configuration items differ: 1 added, 0 removed, 0 changed."),
        std::string::npos)
        << same.out;

    for (const char* action : { "--action=compare_backup", "--action=put_backup" }) {
        SCOPED_TRACE(action);
        std::vector<std::string> arguments = { action, "--backupfilein=" + newer_, ip };
        if (std::string(action) == "--action=put_backup")
            arguments.push_back("--dryrun");
        CliRun run = cli(arguments);
        EXPECT_EQ(run.exit_status, 1) << run.out;
        EXPECT_NE(run.out.find("changed dali1:\nLine 1 device 2 changed:\n"
                               "\tname: \"Hallway\" -> \"Line 1 luminaire 3\"\n"),
            std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find("4 of 612 configuration items differ: 1 added, 0 removed, 3 "
                               "changed."),
            std::string::npos);
        EXPECT_EQ(run.out.find("Downloading backup before"), std::string::npos);
        EXPECT_EQ(run.out.find("skipping get_backup"), std::string::npos);
        EXPECT_EQ(run.out.find("pushing URL"), std::string::npos);
    }
    // Nothing reached the controller.
    CliRun after = cli({ "--action=compare_backup", "--backupfilein=" + older_, ip });
    EXPECT_NE(after.out.find("1 of 612 configuration items differ: 1 added, 0 removed, 0 changed."),
        std::string::npos)
        << after.out;

    // An older layout on the controller: its channel file is brought to the archive's layout
    // for the fields, and the header tells the layouts apart.
    CliRun layouts
        = cli({ "--action=compare_backup", "--backupfilein=" + older_, "--ip=" + sim.address(1) });
    EXPECT_EQ(layouts.exit_status, 1);
    EXPECT_NE(layouts.out.find("changed dali1:\nLine 1 header changed:\n\tsize: 7072 -> 10912\n"
                               "\tversion: 3 -> 2\n"),
        std::string::npos)
        << layouts.out;
}

TEST_F(CompareBackup, TroubleEndsWithTwo)
{
    std::vector<ZipEntry> tiny = { { "tool.txt", 0, bytes_of("{}") } };
    const std::string archive = write("tiny.zip", tiny);
    std::ofstream(scratch.file("notes.txt")) << "not an archive";
    ASSERT_EQ(run_command("mkfifo " + scratch.file("fifo")).exit_status, 0);

    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    };
    const std::vector<Case> cases = {
        { { "--action=compare_backup", "--backupfilein=" + archive },
            "Missing arguments for action compare_backup." },
        { { "--action=compare_backup", "--comparewith=" + archive },
            "Missing arguments for action compare_backup." },
        { { "--action=compare_backup", "--backupfilein=" + archive, "--comparewith=" + archive,
              "--ip=127.0.0.1:1" },
            "compare_backup takes --comparewith or --ip, not both." },
        { { "--action=compare_backup", "--backupfilein=" + archive,
              "--comparewith=" + scratch.file("notes.txt") },
            "Could not read the backup " + scratch.file("notes.txt") + ": not a backup archive" },
        { { "--action=compare_backup", "--backupfilein=" + scratch.file("missing.zip"),
              "--comparewith=" + archive },
            "Could not read the backup " + scratch.file("missing.zip") + ": no such file." },
        { { "--action=compare_backup", "--backupfilein=" + scratch.file("fifo"),
              "--comparewith=" + archive },
            "Could not read the backup " + scratch.file("fifo") + ": not a regular file." },
        { { "--action=compare_backup", "--backupfilein=" + archive, "--ip=127.0.0.1:1" },
            "Could not read the controller status at 127.0.0.1:1; nothing compared." },
        { { "--action=put_backup", "--dryrun", "--backupfilein=" + archive },
            "Missing arguments for action put_backup." },
        { { "--action=put_backup", "--dryrun", "--backupfilein=" + scratch.file("notes.txt"),
              "--ip=127.0.0.1:1" },
            "Could not read the backup " + scratch.file("notes.txt") },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        CliRun run = cli(c.arguments);
        EXPECT_EQ(run.exit_status, 2) << run.out;
        const auto at = run.out.find(c.message);
        EXPECT_NE(at, std::string::npos) << run.out;
        // Said once: "Missing arguments ..." was printed twice.
        EXPECT_EQ(run.out.find(c.message, at + 1), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find("Downloading backup before"), std::string::npos);
    }
    // Two archives without items are equal.
    CliRun empty = cli(
        { "--action=compare_backup", "--backupfilein=" + archive, "--comparewith=" + archive });
    EXPECT_EQ(empty.exit_status, 0) << empty.out;
}

} // namespace
} // namespace kovru

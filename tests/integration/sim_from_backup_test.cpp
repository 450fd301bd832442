// kovru-sim started from a backup archive: a new backup of it holds the archive's items, its
// flash file-system image and its identity; archives it cannot use are refused at start.
#include "fakes/backup_sim.h"
#include "fakes/backup_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace kovru {
namespace {

using namespace kovru::testing;

std::string text_of(const std::vector<ZipEntry>& entries, const std::string& name)
{
    auto found = std::ranges::find(entries, name, &ZipEntry::name);
    return found == entries.end() ? std::string()
                                  : std::string(found->bytes.begin(), found->bytes.end());
}

// The archive get_backup wrote into a fresh folder.
std::string backup_of(const std::string& address, const std::string& folder, int expected_status)
{
    std::filesystem::create_directories(folder);
    CliRun run = run_kovru_cli({ "--action=get_backup", "--ip=" + address,
        "--backupfileouttype=zip", "--backupfileout=" + folder });
    EXPECT_EQ(run.exit_status, expected_status) << run.out;
    for (const auto& archive : std::filesystem::directory_iterator(folder))
        return archive.path().string();
    return {};
}

TEST(SimFromBackup, ANewBackupHoldsTheArchivesItemsFlashImageAndIdentity)
{
    ScratchFolder scratch;
    std::string original;
    {
        BackupSim sim({ "ip=127.0.0.1,port=0,model=VELDIR-4,firmware=1.3.1,serial=SN-4711" });
        ASSERT_TRUE(sim.ready());
        original = backup_of(sim.address(0), scratch.file("original"), 0);
    }
    // A configuration no fresh controller has: one item changed, one left out.
    std::vector<ZipEntry> entries = read_zip(original);
    ASSERT_FALSE(entries.empty());
    auto system = std::ranges::find(entries, "systemconfig.tar", &ZipEntry::name);
    ASSERT_NE(system, entries.end());
    // The image's first file is the configuration file: its last byte.
    const std::string size_field(system->bytes.begin() + 124, system->bytes.begin() + 135);
    system->bytes.at(512 + std::stoul(size_field, nullptr, 8) - 1) ^= 0x5A;
    std::erase_if(entries, [](const ZipEntry& entry) { return entry.name == "views5.tar"; });
    const std::string archive = scratch.file("customer.zip");
    ASSERT_TRUE(write_zip(archive, entries));

    BackupSim sim({ "ip=127.0.0.1,port=0,from_backup=" + archive });
    ASSERT_TRUE(sim.ready());
    // views5 is not there to fetch.
    const std::string again = backup_of(sim.address(0), scratch.file("again"), 1);
    CliRun compare = run_kovru_cli(
        { "--action=compare_backup", "--backupfilein=" + archive, "--comparewith=" + again });
    EXPECT_EQ(compare.exit_status, 0) << compare.out;

    std::vector<ZipEntry> served = read_zip(again);
    EXPECT_EQ(text_of(served, "flashfs.bin"), text_of(entries, "flashfs.bin"));
    const std::string image = text_of(served, "dali1.tar");
    for (const char* identity : { "\"VELDIR-4\"", "\"1.3.1\"", "\"SN-4711\"" })
        EXPECT_NE(image.find(identity), std::string::npos) << identity << "\n" << image;
}

TEST(SimFromBackup, AnArchiveItCannotUseEndsTheStartWithStatusTwo)
{
    ScratchFolder scratch;
    write_bytes(scratch.file("notes.zip"), { 'n', 'o', 't', 'e', 's' });
    std::vector<std::uint8_t> garbage(1024, 0x41);
    ASSERT_TRUE(write_zip(scratch.file("broken.zip"), { { "dali1.tar", 0, garbage } }));
    ASSERT_TRUE(write_zip(scratch.file("empty.zip"), { { "tool.txt", 0, garbage } }));
    const std::string sim = built_program("sim/kovru-sim");
    const std::pair<std::string, std::string> cases[] = {
        { scratch.file("missing.zip"), "cannot read backup " + scratch.file("missing.zip") + ": " },
        { scratch.file("notes.zip"),
            "cannot use backup " + scratch.file("notes.zip") + ": Not a zip archive" },
        { scratch.file("broken.zip"),
            "cannot use backup " + scratch.file("broken.zip") + ": dali1.tar is no tar image" },
        { scratch.file("empty.zip"),
            "cannot use backup " + scratch.file("empty.zip")
                + ": the archive holds no configuration item" },
        { scratch.path(), "cannot read backup " + scratch.path() + ": " },
    };
    for (const auto& [path, message] : cases) {
        SCOPED_TRACE(path);
        CommandResult run = run_command(sim + " --controller from_backup=" + path);
        EXPECT_EQ(run.exit_status, 2);
        EXPECT_TRUE(run.output.starts_with("kovru-sim: " + message)) << run.output;
    }
}

} // namespace
} // namespace kovru

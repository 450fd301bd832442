#include "cli/backup/archive_name.h"
#include "cli/backup/backup_archive.h"
#include "cli/backup/item_check.h"
#include "cli/backup/tar_image.h"
#include "cli/backup/tool_marker.h"
#include "fakes/backup_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kovru {
namespace {

using testing::bytes_of;
using testing::read_zip;
using testing::run_command;
using testing::ScratchFolder;

TEST(ArchiveName, SanitisesTheAddressAndStampsTheStart)
{
    std::tm start {};
    start.tm_year = 2026 - 1900;
    start.tm_mon = 0;
    start.tm_mday = 5;
    start.tm_hour = 7;
    start.tm_min = 8;
    start.tm_sec = 9;
    EXPECT_EQ(archive_file_name("host:8080", start), "backup_host_8080_VELDIR_20260105_070809.zip");
    EXPECT_EQ(sanitize_address(R"(a<b>c:d"e/f\g|h?i*j.k)"), "a_b_c_d_e_f_g_h_i_j.k");
    EXPECT_EQ(join_path("/tmp/x", "a.zip"), "/tmp/x/a.zip");
    EXPECT_EQ(join_path("/tmp/x/", "a.zip"), "/tmp/x/a.zip");
}

TEST(BackupArchive, KeepsEntryOrderAndDeflatesForOutsideReaders)
{
    ScratchFolder folder;
    std::string error;
    auto archive = BackupArchive::create(folder.file("b.zip"), error);
    ASSERT_TRUE(archive) << error;
    std::vector<std::uint8_t> big(300000);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<std::uint8_t>(i * i >> 3);
    const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> entries = {
        { "tool.txt", bytes_of(kToolMarkerText) },
        { "flashfs.bin", big },
        { "dali1.tar", make_single_file_tar("/etc/config/dali/dali1.bin", bytes_of("x"), 1) },
        { "empty.tar", {} },
        { "log.txt", bytes_of("line\n") },
    };
    for (const auto& [name, bytes] : entries)
        ASSERT_TRUE(archive->add(name, bytes)) << name;
    ASSERT_TRUE(archive->close(error)) << error;

    auto read_back = read_zip(folder.file("b.zip"));
    ASSERT_EQ(read_back.size(), entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(read_back[i].name, entries[i].first);
        EXPECT_EQ(read_back[i].bytes, entries[i].second) << entries[i].first;
        EXPECT_EQ(read_back[i].method, ZIP_CM_DEFLATE) << entries[i].first;
    }
    auto tested = run_command("unzip -t " + folder.file("b.zip"));
    EXPECT_EQ(tested.exit_status, 0) << tested.output;
    auto listed = run_command("zipinfo " + folder.file("b.zip"));
    EXPECT_EQ(listed.exit_status, 0) << listed.output;
    EXPECT_EQ(testing::run_command("zipinfo -1 " + folder.file("b.zip")).output,
        "tool.txt\nflashfs.bin\ndali1.tar\nempty.tar\nlog.txt\n");
    std::size_t deflated = 0;
    for (std::size_t at = listed.output.find("defN"); at != std::string::npos;
         at = listed.output.find("defN", at + 1))
        ++deflated;
    EXPECT_EQ(deflated, entries.size()) << listed.output;
    EXPECT_EQ(listed.output.find("stor"), std::string::npos) << listed.output;
}

TEST(BackupArchive, NeverOverwritesAnExistingFile)
{
    ScratchFolder folder;
    testing::write_bytes(folder.file("b.zip"), bytes_of("keep me"));
    testing::write_bytes(folder.file("b_1.zip"), bytes_of("keep me too"));
    std::string error;
    auto archive = BackupArchive::create(folder.file("b.zip"), error);
    ASSERT_TRUE(archive) << error;
    EXPECT_EQ(archive->path(), folder.file("b_2.zip"));
    ASSERT_TRUE(archive->add("tool.txt", bytes_of(kToolMarkerText)));
    ASSERT_TRUE(archive->close(error)) << error;
    EXPECT_EQ(testing::read_bytes(folder.file("b.zip")), bytes_of("keep me"));
    EXPECT_EQ(testing::read_bytes(folder.file("b_1.zip")), bytes_of("keep me too"));
    EXPECT_EQ(read_zip(folder.file("b_2.zip")).size(), 1u);
}

TEST(BackupArchive, FailuresAreReportedAndLeaveNoPartialArchive)
{
    ScratchFolder folder;
    std::string error;
    EXPECT_FALSE(BackupArchive::create(folder.file("missing/b.zip"), error));
    EXPECT_FALSE(error.empty());

    const std::string inner = folder.file("inner");
    std::filesystem::create_directories(inner);
    auto archive = BackupArchive::create(inner + "/b.zip", error);
    ASSERT_TRUE(archive) << error;
    ASSERT_TRUE(archive->add("tool.txt", bytes_of(kToolMarkerText)));
    std::filesystem::remove_all(inner);
    EXPECT_FALSE(archive->close(error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(std::filesystem::exists(inner + "/b.zip"));

    // An archive dropped before it is closed removes its claimed name.
    auto abandoned = BackupArchive::create(folder.file("c.zip"), error);
    ASSERT_TRUE(abandoned);
    abandoned.reset();
    EXPECT_FALSE(std::filesystem::exists(folder.file("c.zip")));
}

std::vector<std::string> names_in(const ScratchFolder& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(BackupArchive, OnlyAWholeArchiveTakesItsName)
{
    ScratchFolder folder;
    std::string error;
    auto first = BackupArchive::create(folder.file("b.zip"), error);
    auto second = BackupArchive::create(folder.file("b.zip"), error);
    ASSERT_TRUE(first && second) << error;
    EXPECT_EQ(first->path(), folder.file("b.zip"));
    EXPECT_EQ(second->path(), folder.file("b_1.zip"));
    ASSERT_TRUE(first->add("tool.txt", bytes_of(kToolMarkerText)));
    ASSERT_TRUE(second->add("tool.txt", bytes_of(kToolMarkerText)));
    // A run killed now would leave only hidden names, which nobody takes for a backup.
    EXPECT_EQ(
        names_in(folder), (std::vector<std::string> { ".b.zip.partial", ".b_1.zip.partial" }));

    ASSERT_TRUE(second->close(error)) << error;
    // A file that took the reserved name meanwhile is kept; the archive takes the next free one.
    testing::write_bytes(folder.file("b.zip"), bytes_of("not ours"));
    ASSERT_TRUE(first->close(error)) << error;
    EXPECT_EQ(first->path(), folder.file("b_2.zip"));
    EXPECT_EQ(testing::read_bytes(folder.file("b.zip")), bytes_of("not ours"));
    EXPECT_EQ(names_in(folder), (std::vector<std::string> { "b.zip", "b_1.zip", "b_2.zip" }));
    EXPECT_EQ(read_zip(folder.file("b_1.zip")).size(), 1u);
    EXPECT_EQ(read_zip(folder.file("b_2.zip")).size(), 1u);
}

// Bits of the exit status of the child below, one per thing that went wrong.
enum DiskFullFault {
    small_entry_refused = 1,
    oversized_archive_written = 2,
    oversized_entry_taken = 4,
    archive_without_an_entry_written = 8,
};

// In a child with a file-size limit, as on a full disk: once when the spool still takes the
// entry but the archive, a little larger, does not fit; once when the entry itself does not.
int write_archives_beyond(std::size_t limit, const ScratchFolder& folder)
{
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit file_size { limit, limit };
    if (::setrlimit(RLIMIT_FSIZE, &file_size) != 0)
        return 64;
    std::vector<std::uint8_t> noise(limit - 16);
    std::mt19937 random(7);
    for (std::uint8_t& byte : noise)
        byte = static_cast<std::uint8_t>(random());
    int faults = 0;
    std::string error;
    {
        auto archive = BackupArchive::create(folder.file("b.zip"), error);
        if (!archive || !archive->add("noise.bin", noise) || !archive->can_store())
            faults |= small_entry_refused;
        else if (archive->close(error) || error.empty())
            faults |= oversized_archive_written;
    }
    {
        noise.resize(limit + 1);
        error.clear();
        auto archive = BackupArchive::create(folder.file("b.zip"), error);
        if (!archive || archive->add("noise.bin", noise) || archive->can_store())
            faults |= oversized_entry_taken;
        else if (archive->close(error) || error.find("noise.bin") == std::string::npos)
            faults |= archive_without_an_entry_written;
    }
    return faults;
}

TEST(BackupArchive, AFullDiskLeavesNoArchiveAndTheOldFileWhole)
{
    ScratchFolder folder;
    testing::write_bytes(folder.file("b.zip"), bytes_of("keep me"));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(write_archives_beyond(200000, folder));
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(names_in(folder), std::vector<std::string> { "b.zip" });
    EXPECT_EQ(testing::read_bytes(folder.file("b.zip")), bytes_of("keep me"));
}

std::vector<std::uint8_t> item_image(const std::vector<std::pair<std::string, std::string>>& files)
{
    TarImageWriter writer;
    for (const auto& [name, text] : files) {
        TarHeader header;
        header.name = name;
        header.mode = 0644;
        header.size = text.size();
        writer.write_header(header);
        writer.write_data(bytes_of(text));
    }
    writer.finish();
    return writer.take();
}

const char* status_text = R"({"model_name": "VELDIR-3", "firmware_version": "1.3.1",
    "serial_number": "S1", "mac": "00:11:22:33:44:55", "hostname": "mac"})";

TEST(ItemCheck, AcceptsAnImageWithItsFileAndStatus)
{
    FetchedItem item;
    item.image
        = item_image({ { "/etc/config/dali/dali1.bin", "data" }, { "status.txt", status_text } });
    EXPECT_EQ(check_item_image(item), 0);
    EXPECT_EQ(item.model_name, "VELDIR-3");
    EXPECT_EQ(item.firmware_version, "1.3.1");
    EXPECT_EQ(item.serial_number, "S1");
    EXPECT_EQ(item.mac, "00:11:22:33:44:55");
}

TEST(ItemCheck, RefusesIncompleteImages)
{
    FetchedItem only_status;
    only_status.image = item_image({ { "status.txt", status_text } });
    EXPECT_EQ(check_item_image(only_status), 3);

    FetchedItem no_status;
    no_status.image
        = item_image({ { "/etc/config/dali/dali1.bin", "data" }, { "other.txt", "x" } });
    EXPECT_EQ(check_item_image(no_status), 2);

    FetchedItem empty_status;
    empty_status.image
        = item_image({ { "/etc/config/dali/dali1.bin", "data" }, { "status.txt", "" } });
    EXPECT_EQ(check_item_image(empty_status), 2);

    FetchedItem nothing;
    EXPECT_EQ(check_item_image(nothing), 3);

    FetchedItem truncated;
    truncated.image
        = item_image({ { "/etc/config/dali/dali1.bin", "data" }, { "status.txt", status_text } });
    truncated.image.resize(truncated.image.size() - 1024); // no end marker
    EXPECT_EQ(check_item_image(truncated), tar_could_not_read);
}

TEST(ItemCheck, StatusReadingTakesOnlyStringMembersOfTheTopObject)
{
    FetchedItem item;
    read_item_status(R"({"mac": {"model_name": "inner"}, "model_name": ["x", "y"],
        "firmware_version": 5, "serial_number": "model_name", "mac": "M"})",
        item);
    EXPECT_FALSE(item.model_name);
    EXPECT_FALSE(item.firmware_version);
    EXPECT_EQ(item.serial_number, "model_name");
    EXPECT_EQ(item.mac, "M");

    FetchedItem broken;
    read_item_status(R"({"model_name": "A", "mac": )", broken);
    EXPECT_EQ(broken.model_name, "A");
    EXPECT_FALSE(broken.mac);
}

} // namespace
} // namespace kovru

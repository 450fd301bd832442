#include "cli/backup/tar_image.h"
#include "fakes/backup_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kovru {
namespace {

std::vector<std::uint8_t> bytes_of(std::string_view text)
{
    return { text.begin(), text.end() };
}

std::vector<std::uint8_t> two_file_image()
{
    TarImageWriter writer;
    auto config = bytes_of(std::string(700, 'c'));
    auto status = bytes_of(R"({"model_name":"VELDIR-2"})");
    TarHeader header;
    header.name = "/etc/config/dali/dali1.bin";
    header.mode = 0664;
    header.size = config.size();
    header.mtime = 1700000000;
    EXPECT_EQ(writer.write_header(header), tar_success);
    writer.write_data(config);
    header.name = "status.txt";
    header.size = status.size();
    EXPECT_EQ(writer.write_header(header), tar_success);
    writer.write_data(status);
    writer.finish();
    return writer.take();
}

TEST(TarImage, ErrorTexts)
{
    EXPECT_STREQ(tar_error_text(0), "success");
    EXPECT_STREQ(tar_error_text(-1), "failure");
    EXPECT_STREQ(tar_error_text(-2), "could not open");
    EXPECT_STREQ(tar_error_text(-3), "could not read");
    EXPECT_STREQ(tar_error_text(-4), "could not write");
    EXPECT_STREQ(tar_error_text(-5), "could not seek");
    EXPECT_STREQ(tar_error_text(-6), "bad checksum");
    EXPECT_STREQ(tar_error_text(-7), "null record");
    EXPECT_STREQ(tar_error_text(-8), "file not found");
    EXPECT_STREQ(tar_error_text(-9), "unknown error");
    EXPECT_STREQ(tar_error_text(1), "unknown error");
}

TEST(TarImage, WriterLaysOutHeaderFields)
{
    auto image = make_single_file_tar("/etc/config/dali/cd1.bin", bytes_of("abc"), 1700000000);
    ASSERT_EQ(image.size(), 512u * 4);
    const char* record = reinterpret_cast<const char*>(image.data());
    EXPECT_STREQ(record, "/etc/config/dali/cd1.bin");
    EXPECT_STREQ(record + 100, "664");
    EXPECT_STREQ(record + 108, "0");
    EXPECT_STREQ(record + 124, "3");
    EXPECT_STREQ(record + 136, "14524770400");
    for (int i = 116; i < 124; ++i)
        EXPECT_EQ(record[i], 0);
    EXPECT_EQ(record[156], '0');
    EXPECT_EQ(record[154], '\0');
    EXPECT_EQ(record[155], ' ');
    unsigned sum = 8 * ' ';
    for (int i = 0; i < 512; ++i)
        if (i < 148 || i >= 156)
            sum += image[i];
    char expected[8];
    std::snprintf(expected, sizeof expected, "%06o", sum);
    EXPECT_EQ(std::string(record + 148, 6), expected);
    EXPECT_EQ(std::memcmp(image.data() + 512, "abc", 3), 0);
    for (std::size_t i = 515; i < image.size(); ++i)
        ASSERT_EQ(image[i], 0) << i;
}

TEST(TarImage, WriterRefusesFieldsThatDoNotFit)
{
    TarImageWriter writer;
    TarHeader header;
    header.name = std::string(100, 'n');
    EXPECT_EQ(writer.write_header(header), tar_could_not_write);
    header.name = std::string(99, 'n');
    EXPECT_EQ(writer.write_header(header), tar_success);
    header.owner = 010000000;
    EXPECT_EQ(writer.write_header(header), tar_could_not_write);
}

TEST(TarImage, ReaderWalksFindsAndReads)
{
    auto image = two_file_image();
    TarImageReader reader(image);
    ASSERT_EQ(reader.open(), tar_success);
    EXPECT_EQ(reader.header().name, "/etc/config/dali/dali1.bin");
    EXPECT_EQ(reader.header().size, 700u);
    EXPECT_EQ(reader.header().mode, 0664u);
    EXPECT_EQ(reader.header().mtime, 1700000000u);
    ASSERT_EQ(reader.next(), tar_success);
    EXPECT_EQ(reader.header().name, "status.txt");
    EXPECT_EQ(reader.next(), tar_null_record);

    ASSERT_EQ(reader.find("/etc/config/dali/dali1.bin"), tar_success);
    std::span<const std::uint8_t> data;
    ASSERT_EQ(reader.read_data(data), tar_success);
    EXPECT_EQ(data.size(), 700u);
    EXPECT_EQ(data[699], 'c');
    ASSERT_EQ(reader.find("status.txt"), tar_success);
    ASSERT_EQ(reader.read_data(data), tar_success);
    EXPECT_EQ(std::string(data.begin(), data.end()), R"({"model_name":"VELDIR-2"})");
    EXPECT_EQ(reader.find("status"), tar_file_not_found);
    EXPECT_EQ(reader.find("STATUS.TXT"), tar_file_not_found);
}

TEST(TarImage, ReaderRefusesBadChecksumAndEmptyImages)
{
    auto image = two_file_image();
    image[5] ^= 1;
    TarImageReader reader(image);
    EXPECT_EQ(reader.open(), tar_bad_checksum);
    EXPECT_EQ(reader.next(), tar_could_not_seek);

    std::vector<std::uint8_t> zeros(1024, 0);
    TarImageReader end_only(zeros);
    EXPECT_EQ(end_only.open(), tar_null_record);
    EXPECT_EQ(end_only.find("status.txt"), tar_file_not_found);

    TarImageReader empty(std::span<const std::uint8_t> {});
    EXPECT_EQ(empty.open(), tar_could_not_read);
}

TEST(TarImage, TruncationAnywhereIsRefusedWithoutReadingPast)
{
    auto image = two_file_image();
    // Every cut inside the image: the walk must end in an error, never a clean end, and
    // the sanitizer build catches any read beyond the copy. "status.txt" is whole once its
    // 25 data bytes after the third record have arrived; only its padding may be missing.
    const std::size_t status_end = 3 * 512 + 512 + 25;
    for (std::size_t cut = 0; cut < image.size() - 1024; ++cut) {
        std::vector<std::uint8_t> truncated(image.begin(), image.begin() + cut);
        TarImageReader reader(truncated);
        int result = reader.open();
        while (result == tar_success)
            result = reader.next();
        EXPECT_EQ(result, tar_could_not_read) << "cut at " << cut;
        EXPECT_EQ(reader.find("status.txt") == tar_success, cut >= status_end) << "cut at " << cut;
    }
}

TEST(TarImage, HostileSizesAreRefused)
{
    auto image = make_single_file_tar("f", bytes_of("x"), 0);
    auto with_size = [&](const char* size_text) {
        auto copy = image;
        std::memset(copy.data() + 124, 0, 12);
        std::memcpy(copy.data() + 124, size_text, std::strlen(size_text));
        std::memset(copy.data() + 148, ' ', 8);
        unsigned sum = 0;
        for (int i = 0; i < 512; ++i)
            sum += copy[i];
        std::snprintf(reinterpret_cast<char*>(copy.data() + 148), 8, "%06o", sum);
        copy[155] = ' ';
        TarImageReader reader(copy);
        return reader.open();
    };
    EXPECT_EQ(with_size("1"), tar_success);
    EXPECT_EQ(with_size("00000000001 "), tar_success);
    EXPECT_EQ(with_size("77777777777"), tar_could_not_read);
    EXPECT_EQ(with_size("3001"), tar_could_not_read);
    EXPECT_EQ(with_size("12x"), tar_could_not_read);
}

TEST(TarImage, GnuTarListsAndExtractsWhatWeWrite)
{
    testing::ScratchFolder folder;
    const std::size_t sizes[] = { 0, 1, 511, 512, 513, 11168 };
    TarImageWriter writer;
    for (std::size_t size : sizes) {
        std::vector<std::uint8_t> data(size);
        for (std::size_t i = 0; i < size; ++i)
            data[i] = static_cast<std::uint8_t>(i * 31 + size);
        TarHeader header;
        header.name = "etc/config/f" + std::to_string(size) + ".bin";
        header.mode = 0664;
        header.size = size;
        header.mtime = 1700000000;
        ASSERT_EQ(writer.write_header(header), tar_success);
        writer.write_data(data);
        testing::write_bytes(folder.file("expected" + std::to_string(size)), data);
    }
    writer.finish();
    testing::write_bytes(folder.file("multi.tar"), writer.bytes());
    testing::write_bytes(folder.file("single.tar"),
        make_single_file_tar("/etc/config/dali/dali2.bin", bytes_of("abc"), 7));

    auto listed = testing::run_command("tar -tvf " + folder.file("multi.tar"));
    ASSERT_EQ(listed.exit_status, 0) << listed.output;
    EXPECT_NE(listed.output.find("-rw-rw-r--"), std::string::npos) << listed.output;
    EXPECT_NE(listed.output.find("11168 2023-11-14"), std::string::npos) << listed.output;
    auto extracted = testing::run_command("mkdir -p " + folder.file("out") + " && tar -xf "
        + folder.file("multi.tar") + " -C " + folder.file("out"));
    ASSERT_EQ(extracted.exit_status, 0) << extracted.output;
    for (std::size_t size : sizes) {
        const std::string name = "f" + std::to_string(size) + ".bin";
        EXPECT_EQ(testing::read_bytes(folder.file("out/etc/config/" + name)),
            testing::read_bytes(folder.file("expected" + std::to_string(size))))
            << name;
    }
    auto single = testing::run_command("tar -tf " + folder.file("single.tar"));
    EXPECT_EQ(single.exit_status, 0) << single.output;
    EXPECT_NE(single.output.find("etc/config/dali/dali2.bin"), std::string::npos);
    auto content = testing::run_command("tar -xOf " + folder.file("single.tar"));
    EXPECT_EQ(content.output.substr(content.output.size() - 3), "abc");
}

TEST(TarImage, ReadsImagesGnuTarWrites)
{
    testing::ScratchFolder folder;
    testing::write_bytes(folder.file("status.txt"), bytes_of(R"({"model_name":"VELDIR-1"})"));
    testing::write_bytes(folder.file("dali3.bin"), std::vector<std::uint8_t>(1000, 7));
    std::filesystem::permissions(folder.file("dali3.bin"), std::filesystem::perms(0644));
    for (const char* format : { "ustar", "gnu", "v7" }) {
        auto made = testing::run_command("tar --format=" + std::string(format) + " -C "
            + folder.path() + " -cf " + folder.file("made.tar") + " dali3.bin status.txt");
        ASSERT_EQ(made.exit_status, 0) << made.output;
        auto image = testing::read_bytes(folder.file("made.tar"));
        TarImageReader reader(image);
        int files = 0;
        int result = reader.open();
        for (; result == tar_success; result = reader.next())
            ++files;
        EXPECT_EQ(result, tar_null_record) << format;
        EXPECT_EQ(files, 2) << format;
        ASSERT_EQ(reader.find("dali3.bin"), tar_success) << format;
        std::span<const std::uint8_t> data;
        ASSERT_EQ(reader.read_data(data), tar_success);
        EXPECT_EQ(data.size(), 1000u);
        EXPECT_EQ(reader.header().mode & 0777, 0644u) << format;
    }
}

} // namespace
} // namespace kovru

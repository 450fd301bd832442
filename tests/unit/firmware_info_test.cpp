// Controller images: size limits, the model name check and the information block; file kinds.
#include "cli/firmware/firmware_file.h"
#include "cli/firmware/firmware_info.h"
#include "fakes/fake_temp_folder.h"
#include "fakes/firmware_files.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kovru {
namespace {

using kovrkit::testing::TempFolder;
using testing::controller_image;

constexpr std::size_t model_offset = kFirmwareInfoOffset + 12;

TEST(FirmwareInfo, SizeLimitsAreInclusive)
{
    struct Case {
        std::size_t size;
        int result;
    };
    for (Case c : { Case { 0, info_bad_size }, Case { 1'835'191, info_bad_size },
             Case { 1'835'192, info_valid }, Case { 16'777'214, info_valid },
             Case { 16'777'215, info_bad_size } }) {
        std::vector<std::uint8_t> image
            = controller_image(std::max<std::size_t>(c.size, 1'835'192), "VELDIR-4", "2.0.1");
        image.resize(c.size);
        FirmwareInfo info;
        EXPECT_EQ(read_firmware_info(image, info), c.result) << c.size;
    }
}

TEST(FirmwareInfo, ReadsTheBlockAndOnlyTheFourModelNames)
{
    std::vector<std::uint8_t> image = controller_image(1'835'192, "VELDIR-1", "1.10.3");
    image[kFirmwareInfoOffset + 182] = 3;
    FirmwareInfo info;
    ASSERT_EQ(read_firmware_info(image, info), info_valid);
    EXPECT_EQ(info.model_name, "VELDIR-1");
    EXPECT_EQ(info.version_string, "1.10.3");
    EXPECT_EQ(info.version_number, 0x010A03u);
    EXPECT_EQ(info.version_date, "2026-11-02");
    EXPECT_EQ(info.version_time, "08:30:00");
    EXPECT_EQ(info.dali_channel_count, 3u);

    // Trailing characters before the NUL, an unlisted name, a field without any NUL.
    auto with_model = [&](const char* bytes, std::size_t length) {
        std::vector<std::uint8_t> copy = image;
        std::memset(copy.data() + model_offset, 0, 33);
        std::memcpy(copy.data() + model_offset, bytes, length);
        return copy;
    };
    std::string no_nul(33, 'V');
    for (const auto& bad : { with_model("VELDIR-1x", 9), with_model("VELDIR-1 ", 9),
             with_model("VELDIR-5", 8), with_model("veldir-1", 8), with_model(no_nul.data(), 33) })
        EXPECT_EQ(read_firmware_info(bad, info), info_bad_model);
    // Bytes after the NUL do not matter.
    EXPECT_EQ(read_firmware_info(with_model("VELDIR-2\0junk", 13), info), info_valid);
}

TEST(FirmwareFile, ExtensionIsTheTextAfterTheLastDotAnywhere)
{
    EXPECT_EQ(file_extension("/fw/pkg.bin"), "bin");
    EXPECT_EQ(file_extension("/fw/pkg.BIN"), "BIN");
    EXPECT_EQ(file_extension("/fw/image.v2.binary"), "binary");
    EXPECT_EQ(file_extension("/fw.d/image"), "d/image");
    EXPECT_EQ(file_extension(".bin"), "");
    EXPECT_EQ(file_extension("image"), "");
    EXPECT_EQ(file_extension("image."), "");
}

TEST(FirmwareFile, ReadsUpToTheLimitAndRefusesMore)
{
    TempFolder folder;
    std::vector<std::uint8_t> bytes(5000, 7);
    testing::write_bytes(folder.path() / "at_limit", bytes);
    bytes.push_back(8);
    testing::write_bytes(folder.path() / "over_limit", bytes);

    ::testing::internal::CaptureStdout();
    EXPECT_EQ(read_firmware_file(folder.file("at_limit"), 5000)->size(), 5000u);
    EXPECT_FALSE(read_firmware_file(folder.file("over_limit"), 5000));
    EXPECT_FALSE(read_firmware_file(folder.file("missing"), 5000));
    EXPECT_FALSE(read_firmware_file(folder.path().string(), 5000));
    // A device that never ends is refused by its kind, not read up to the limit.
    EXPECT_FALSE(read_firmware_file("/dev/zero", 5000));
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
        "File is too large (more than 5000 bytes).\n"
        "File cannot be opened (No such file or directory).\n"
        "File cannot be opened (Is a directory).\n"
        "File cannot be opened (not a regular file).\n");
}

} // namespace
} // namespace kovru

#include "cli/action/config_file_header.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace kovru {
namespace {

TEST(ConfigFileHeader, Crc16Mcrf4xxCheckValue)
{
    std::string_view check = "123456789";
    EXPECT_EQ(crc16_mcrf4xx({ reinterpret_cast<const std::uint8_t*>(check.data()), check.size() }),
        0x6F91);
    EXPECT_EQ(crc16_mcrf4xx({}), 0xFFFF);
}

TEST(ConfigFileHeader, FinishWritesFieldsAndAVerifyingCrc)
{
    std::vector<std::uint8_t> file(64);
    for (std::size_t i = 0; i < file.size(); ++i)
        file[i] = static_cast<std::uint8_t>(i * 7);
    finish_config_file_header(file, 3, 42);
    auto header = read_config_file_header(file);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->file_size, 64u);
    EXPECT_EQ(header->version, 3u);
    EXPECT_EQ(header->change_counter, 42u);
    EXPECT_EQ(file[6], 0);
    EXPECT_EQ(file[7], 0);
    auto zeroed = file;
    zeroed[4] = zeroed[5] = 0;
    EXPECT_EQ(header->crc, crc16_mcrf4xx(zeroed));
    EXPECT_TRUE(config_file_header_valid(file));

    file[40] ^= 0x10;
    EXPECT_FALSE(config_file_header_valid(file));
    file[40] ^= 0x10;
    file.push_back(0);
    EXPECT_FALSE(config_file_header_valid(file));
    EXPECT_FALSE(read_config_file_header(std::span<const std::uint8_t>(file).first(15)));
}

} // namespace
} // namespace kovru

// The channel, group and input CSV import: field handling on every layout, compared byte
// for byte with files built here from the layout tables.
#include "cli/action/config_file_header.h"
#include "cli/action/config_layouts.h"
#include "cli/backup/tar_image.h"
#include "cli/import/channel_files.h"
#include "cli/import/channel_import.h"
#include "cli/import/csv_reader.h"
#include "cli/import/input_import.h"
#include "cli/import/line_import.h"
#include "fakes/backup_test_support.h"

#include <gtest/gtest.h>

#include <random>

namespace kovru {
namespace {

namespace cl = channel_layout;
namespace il = input_device_layout;
using Bytes = std::vector<std::uint8_t>;
using kovru::testing::ScratchFolder;

Bytes random_bytes(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (auto& byte : bytes)
        byte = static_cast<std::uint8_t>(random());
    return bytes;
}

std::string write_text(
    const ScratchFolder& folder, const std::string& name, const std::string& text)
{
    std::ofstream(folder.file(name), std::ios::binary) << text;
    return folder.file(name);
}

void put_name(Bytes& file, std::size_t at, std::size_t length, const std::string& text)
{
    std::fill_n(file.begin() + static_cast<std::ptrdiff_t>(at), length, 0);
    std::copy(text.begin(), text.end(), file.begin() + static_cast<std::ptrdiff_t>(at));
}

const std::string name40 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn";

// Every column rule in one file: rows before the marker, comments, wrong field counts and
// indices out of range change nothing; the two data rows exercise null and numeric short
// addresses, the "false" rule, clamps, group bits and both list lengths.
const std::string channel_rows = "9,1,5,Early,[],1,1,1,1,1,1,[]\n"
                                 "\"#dali-channel-csv-version: 1\",x\n"
                                 "7,0,null,\""
    + name40
    + "\",\"[0,3,15,16,-1]\",FALSE,null,9,8,0,20,"
      "\"[1,\"\"2\"\",null]\"\n"
      "7,63,\"\"\"5\"\"\",Short,[],300,Null,14,15,20,3,"
      "\"[0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16]\"\n"
      "7,2,1,\"#not data\",[],1,1,1,1,1,1,[]\n"
      "7,64,1,Out,[],1,1,1,1,1,1,[]\n"
      "7,-1,1,Out,[],1,1,1,1,1,1,[]\n"
      "7,3,1,Short row\n";

TEST(ChannelImport, EveryFieldOnEveryLayout)
{
    ScratchFolder folder;
    const std::string path = write_text(folder, "channel.csv", channel_rows);
    for (const ChannelLayout* layout : { &cl::v1, &cl::v2, &cl::v3 }) {
        SCOPED_TRACE(layout->version);
        Bytes file = random_bytes(layout->file_size, layout->version);
        const std::size_t r0 = cl::record_offset(*layout, 0);
        const std::size_t r63 = cl::record_offset(*layout, 63);
        write_u32_le(file, r0, 0x11); // short address set: the null row clears it (v2, v3)
        write_u32_le(file, r63, 0x40);
        Bytes expected = file;

        write_u32_le(expected, r0, layout->version == 1 ? 0x19 : 0x18);
        if (layout->version == 1)
            std::fill_n(expected.begin() + static_cast<std::ptrdiff_t>(10396), 12, 0);
        else
            expected[r0 + 11] = layout->version == 2 ? 0 : 0xFF;
        put_name(expected, r0 + layout->name, 33, name40.substr(0, 32));
        expected[r0 + 5] = 100;
        expected[r0 + 6] = 255;
        expected[r0 + 7] = 9;
        expected[r0 + 8] = 8;
        expected[r0 + 9] = 1;
        expected[r0 + 10] = 15;
        write_u16_le(expected, r0 + 18, 0x8009);
        const Bytes short_list
            = { 1, 2, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255 };
        std::copy(short_list.begin(), short_list.end(),
            expected.begin() + static_cast<std::ptrdiff_t>(r0 + 20));
        expected[r0 + 36] = 0xFF;

        write_u32_le(expected, r63, 0x43);
        expected[r63 + 11] = 11;
        put_name(expected, r63 + layout->name, 33, "Short");
        expected[r63 + 5] = 44; // 300 truncated to a byte
        expected[r63 + 6] = 255;
        expected[r63 + 7] = 14;
        expected[r63 + 8] = 15;
        expected[r63 + 9] = 15;
        expected[r63 + 10] = 3;
        write_u16_le(expected, r63 + 18, 0);
        for (std::size_t i = 0; i < 16; ++i)
            expected[r63 + 20 + i] = static_cast<std::uint8_t>(i);
        expected[r63 + 36] = 0xFF;
        if (layout->version == 3) {
            write_u16_le(expected, r0 + 43, 0);
            write_u16_le(expected, r63 + 43, 0);
            write_u32_le(expected, 16, 7);
        }

        const CsvImportOutcome outcome = import_channel_csv(path, file, *layout);
        EXPECT_EQ(outcome.read.result, csv_read_done);
        EXPECT_EQ(outcome.applied, 2u);
        EXPECT_EQ(outcome.ignored, 4u); // the "#not data" row is a comment
        EXPECT_EQ(file, expected);
    }
}

TEST(ChannelImport, GroupRowsAndTheFinishedHeader)
{
    ScratchFolder folder;
    const std::string path = write_text(folder, "groups.csv",
        "#dali-channel-groups-csv-version: 1\n0,15," + name40 + "\n0,16,Out\n0,2,Two,extra\n");
    for (const ChannelLayout* layout : { &cl::v1, &cl::v2, &cl::v3 }) {
        Bytes file = random_bytes(layout->file_size, 10 + layout->version);
        Bytes expected = file;
        const std::size_t entry = layout->group_entries_offset + 15 * 38;
        put_name(expected, entry, 33, name40.substr(0, 32));
        expected[entry + 36] = 0xFF;
        EXPECT_EQ(import_group_csv(path, file, *layout).applied, 1u);
        EXPECT_EQ(file, expected);

        // Size and change counter stay; version and CRC are the layout's.
        finish_channel_file(file, *layout);
        EXPECT_EQ(read_u32_le(file, 0), read_u32_le(expected, 0));
        EXPECT_EQ(read_u32_le(file, 12), read_u32_le(expected, 12));
        EXPECT_EQ(read_u32_le(file, 8), layout->version);
        EXPECT_EQ(read_u16_le(file, 6), 0);
        Bytes zeroed = file;
        write_u32_le(zeroed, 4, 0);
        EXPECT_EQ(read_u16_le(file, 4), crc16_mcrf4xx(zeroed));
    }
}

const std::string list33 = "\"[" + [] {
    std::string list;
    for (int i = 0; i < 33; ++i)
        list += (i ? "," : "") + std::to_string(i + 100);
    return list;
}() + "]\"";

// Instance 0 a push button, 1 an occupancy sensor, 2 a light sensor, 3 of an unknown type.
const std::string input_rows = "\"#dali-channel-inputs-csv-version: 1\"\n"
                               "4,31,5,"
    + name40
    + ",4,40,\"[1,3,4,9]\",\"[11,12,13,14]\",\"[77,78]\","
      "\"[21,22]\",[23],[24],[25],[26],[27],\"[0,31]\",\"[0,32]\",\"[0,33]\","
      "\"[0,0,41]\",\"[0,0,42]\"\n"
      "4,0,null,Null,1,2,[],[],[],[],[],[],[],[],[],[],[],[],[],"
    + list33
    + "\n"
      "4,32,1,Out,0,0,[],[],[],[],[],[],[],[],[],[],[],[],[],[]\n";

TEST(InputImport, RowsOnTheVersion3Layout)
{
    ScratchFolder folder;
    const std::string path = write_text(folder, "inputs.csv", input_rows);
    Bytes file(il::v3.file_size);
    Bytes expected(il::v3.file_size);
    write_u32_le(expected, 16, 4);
    const std::size_t r31 = il::record_offset(31);
    write_u32_le(expected, r31, 4 | 2 | 1);
    expected[r31 + 8] = 11;
    expected[r31 + 10] = 32;
    expected[r31 + 13] = 0xFF;
    put_name(expected, r31 + 80, 17, name40.substr(0, 16));
    const Bytes table = { 1, 11, 3, 12, 4, 13, 9, 14 };
    std::copy(table.begin(), table.end(), expected.begin() + static_cast<std::ptrdiff_t>(r31 + 16));
    const std::size_t b31 = il::block_offset(il::v3, 31);
    expected[b31 + 1] = 77;
    const Bytes push_button = { 21, 23, 24, 25, 26, 27 };
    std::copy(push_button.begin(), push_button.end(),
        expected.begin() + static_cast<std::ptrdiff_t>(b31 + 6));
    expected[b31 + 12 + 1] = 31;
    expected[b31 + 12 + 2] = 32;
    expected[b31 + 12 + 3] = 33;
    expected[b31 + 18 + 1] = 41;
    expected[b31 + 18 + 2] = 42;
    const std::size_t r0 = il::record_offset(0);
    write_u32_le(expected, r0, 2);
    expected[r0 + 8] = 0xFF;
    expected[r0 + 10] = 2;
    expected[r0 + 13] = 0xFF;
    put_name(expected, r0 + 80, 17, "Null");

    const CsvImportOutcome outcome = import_input_csv(path, file);
    EXPECT_EQ(outcome.applied, 2u);
    EXPECT_EQ(outcome.ignored, 1u);
    EXPECT_EQ(file, expected);
}

// A fetched item image holding the line's channel file, as the controller answers it.
Bytes item_image(unsigned line, const ChannelLayout& layout)
{
    Bytes file = random_bytes(layout.file_size, 99);
    finish_config_file_header(file, layout.version, 5);
    return make_single_file_tar(channel_file_path(line), file, 0);
}

TEST(LineImport, InputsBelowLayout3AreNotAppliedAndAnUnreadableFileStopsTheLine)
{
    ScratchFolder folder;
    const std::string inputs = write_text(folder, "inputs.csv", input_rows);
    const std::string channels = write_text(folder, "channel.csv", channel_rows);

    LineImport only_inputs = import_line(2, item_image(2, cl::v3), "2.2.3", { {}, {}, inputs });
    EXPECT_EQ(only_inputs.result, LineImportResult::failed);
    EXPECT_FALSE(only_inputs.input_file);
    EXPECT_FALSE(only_inputs.channel_file);

    // The channel file still goes; the line counts as partly done.
    LineImport both = import_line(2, item_image(2, cl::v2), "1.3.1", { channels, {}, inputs });
    EXPECT_EQ(both.result, LineImportResult::imported);
    EXPECT_TRUE(both.partial);
    EXPECT_FALSE(both.input_file);
    ASSERT_TRUE(both.channel_file);
    EXPECT_TRUE(config_file_header_valid(*both.channel_file));

    LineImport unreadable = import_line(
        2, item_image(2, cl::v3), "2.2.4", { channels, {}, folder.file("absent.csv") });
    EXPECT_EQ(unreadable.result, LineImportResult::failed);
    EXPECT_FALSE(unreadable.channel_file);

    LineImport v3 = import_line(2, item_image(2, cl::v3), "2.2.4", { channels, {}, inputs });
    EXPECT_EQ(v3.result, LineImportResult::imported);
    EXPECT_FALSE(v3.partial);
    ASSERT_TRUE(v3.input_file);
    EXPECT_EQ(read_u32_le(*v3.input_file, 0), 0u); // size and counter stay zero
    EXPECT_EQ(read_u32_le(*v3.input_file, 8), 3u);
}

TEST(LineImport, AnUnterminatedQuoteAtTheEndOfALargeFileStopsTheLine)
{
    ScratchFolder folder;
    std::string text = "#dali-channel-csv-version: 1\n";
    for (int row = 0; row < 2000; ++row)
        text += "1," + std::to_string(row % 64) + ",1,Name,[],1,1,1,1,1,1,[]\n";
    text += "1,5,1,\"Unterminated,[],1,1,1,1,1,1,[]\n1,6,1,Tail,[],1,1,1,1,1,1,[]\n";
    const std::string path = write_text(folder, "broken.csv", text);

    LineImport import = import_line(1, item_image(1, cl::v3), "1.5.0", { path, {}, {} });
    EXPECT_EQ(import.result, LineImportResult::syntax_error);
    EXPECT_FALSE(import.channel_file);

    // The same rows with the quote closed read through.
    text.insert(text.find("Unterminated") + 12, "\"");
    write_text(folder, "broken.csv", text);
    EXPECT_EQ(import_line(1, item_image(1, cl::v3), "1.5.0", { path, {}, {} }).result,
        LineImportResult::imported);
}

} // namespace
} // namespace kovru

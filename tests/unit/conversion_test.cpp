#include "cli/action/channel_conversion.h"
#include "cli/action/config_file_header.h"
#include "cli/action/config_layouts.h"
#include "cli/action/convert_item.h"
#include "cli/action/firmware_version.h"
#include "cli/action/input_device_conversion.h"
#include "cli/action/tool_marker_check.h"
#include "cli/backup/tool_marker.h"

#include <gtest/gtest.h>

#include <random>

namespace kovru {
namespace {

namespace cl = channel_layout;
namespace il = input_device_layout;

std::vector<std::uint8_t> random_file(
    std::size_t size, std::uint32_t version, std::uint32_t counter, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> file(size);
    for (auto& byte : file)
        byte = static_cast<std::uint8_t>(random());
    finish_config_file_header(file, version, counter);
    return file;
}

// Expected output of a conversion, built byte range by byte range; every byte not set
// stays zero.
struct Golden {
    std::vector<std::uint8_t> bytes;
    explicit Golden(std::size_t size)
        : bytes(size, 0)
    {
    }
    void copy(std::span<const std::uint8_t> from, std::size_t from_offset, std::size_t to_offset,
        std::size_t length)
    {
        std::copy_n(from.begin() + from_offset, length, bytes.begin() + to_offset);
    }
};

struct RecordField {
    std::size_t v1, v2, v3, length;
};

// The fields every conversion carries, by offset in each version's record.
const RecordField carried_fields[] = {
    { 0, 0, 0, 4 }, // flags
    { 4, 4, 4, 39 }, // common device data
    { 94, 106, 45, 33 }, // name
    { 127, 139, 78, 1 }, // byte after the name
    { 128, 140, 80, 4 }, // 32-bit value
    { 136, 144, 84, 16 }, // trailing bytes
};

std::size_t pick(const RecordField& field, int version)
{
    return version == 1 ? field.v1 : version == 2 ? field.v2 : field.v3;
}

Golden channel_golden(std::span<const std::uint8_t> in, int from, const ChannelLayout& target)
{
    const ChannelLayout& source = from == 1 ? cl::v1 : cl::v2;
    Golden golden(target.file_size);
    golden.copy(in, 0, 0, 59);
    for (std::size_t n = 0; n < 64; ++n) {
        const std::size_t in_record = 60 + n * source.record_size;
        const std::size_t out_record = 60 + n * target.record_size;
        for (const RecordField& field : carried_fields)
            golden.copy(in, in_record + pick(field, from), out_record + pick(field, target.version),
                field.length);
        std::uint8_t* out = golden.bytes.data() + out_record;
        const std::uint8_t type = in[in_record + source.type_byte];
        if (from == 2) {
            out[43] = in[in_record + 44];
            out[44] = in[in_record + 45];
            continue;
        }
        const bool typed = type == 5 || type == 6 || type == 8;
        const std::size_t type_at = target.version == 2 ? 44 : 43;
        out[type_at] = typed ? type : 0xFF;
        out[type_at + 1] = 0xFF;
        if (typed && target.version == 2) {
            const std::size_t length = type == 5 ? 3 : type == 6 ? 7 : 50;
            const std::size_t place = type == 5 ? 46 : type == 6 ? 49 : 56;
            golden.copy(in, in_record + 44, out_record + place, length);
        }
    }
    golden.copy(in, source.group_entries_offset, target.group_entries_offset, 16 * 38);
    golden.copy(in, source.final_value_offset, target.final_value_offset, 4);
    return golden;
}

void set_record_types(std::vector<std::uint8_t>& file, const ChannelLayout& layout)
{
    const std::uint8_t types[] = { 5, 6, 8, 0, 7, 0xFF, 1 };
    for (std::size_t n = 0; n < 64; ++n)
        file[60 + n * layout.record_size + layout.type_byte] = types[n % std::size(types)];
    finish_config_file_header(file, layout.version, 41);
}

void expect_finished_header(
    const std::vector<std::uint8_t>& out, std::uint32_t version, std::uint32_t counter)
{
    auto header = read_config_file_header(out);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->file_size, out.size());
    EXPECT_EQ(header->version, version);
    EXPECT_EQ(header->change_counter, counter);
    EXPECT_TRUE(config_file_header_valid(out));
}

// Compares everything after the header, so a mismatch names its offset.
void expect_body(const std::vector<std::uint8_t>& out, const Golden& golden)
{
    ASSERT_EQ(out.size(), golden.bytes.size());
    for (std::size_t i = 16; i < out.size(); ++i)
        ASSERT_EQ(out[i], golden.bytes[i]) << "offset " << i;
}

TEST(ChannelConversion, V1ToV2MovesTypeDataAndMarksUnsetBytes)
{
    auto v1 = random_file(11168, 1, 41, 1);
    set_record_types(v1, cl::v1);
    auto out = convert_channel_v1_to_v2(v1);
    expect_finished_header(out, 2, 42);
    expect_body(out, channel_golden(v1, 1, cl::v2));
    EXPECT_EQ(out.size(), 10912u);
}

TEST(ChannelConversion, V1ToV3KeepsOnlyTheType)
{
    auto v1 = random_file(11168, 1, 41, 2);
    set_record_types(v1, cl::v1);
    auto out = convert_channel_v1_to_v3(v1);
    expect_finished_header(out, 3, 42);
    expect_body(out, channel_golden(v1, 1, cl::v3));
    EXPECT_EQ(out.size(), 7072u);
}

TEST(ChannelConversion, V2ToV3CarriesTypeAndFollowingByte)
{
    auto v2 = random_file(10912, 2, 41, 3);
    auto out = convert_channel_v2_to_v3(v2);
    expect_finished_header(out, 3, 42);
    expect_body(out, channel_golden(v2, 2, cl::v3));
}

TEST(ChannelConversion, WrongSizesGiveNothing)
{
    EXPECT_TRUE(convert_channel_v1_to_v2(random_file(11167, 1, 0, 4)).empty());
    EXPECT_TRUE(convert_channel_v1_to_v3(random_file(10912, 1, 0, 4)).empty());
    EXPECT_TRUE(convert_channel_v2_to_v3(random_file(11168, 2, 0, 4)).empty());
}

// An input-device file whose devices have different instance tables, so a conversion that
// takes the wrong device's table puts data in the wrong slots.
std::vector<std::uint8_t> input_device_v2(unsigned seed)
{
    auto file = random_file(9436, 2, 7, seed);
    for (std::size_t device = 0; device < 32; ++device)
        for (std::size_t i = 0; i < 32; ++i) {
            const std::uint8_t types[] = { 1, 3, 4, 0, 2 };
            const std::size_t entry = 28 + device * 100 + 16 + 2 * i;
            // Device 5 has no push button at all.
            std::uint8_t type = types[(device + i) % std::size(types)];
            file[entry] = device == 5 && type == 1 ? 3 : type;
        }
    finish_config_file_header(file, 2, 7);
    return file;
}

Golden input_device_golden(std::span<const std::uint8_t> in)
{
    Golden golden(9564);
    golden.copy(in, 0, 0, 28);
    for (std::size_t device = 0; device < 32; ++device) {
        golden.copy(in, 28 + device * 100, 28 + device * 100, 97);
        const std::size_t from = 3228 + device * 194;
        const std::size_t to = 3228 + device * 198;
        bool push_button = false;
        for (std::size_t i = 0; i < 32; ++i) {
            const std::uint8_t type = in[28 + device * 100 + 16 + 2 * i];
            const std::size_t slot = to + 6 + 6 * i;
            if (type == 1)
                golden.copy(in, from + 6 * i, slot, 6);
            if (type == 3)
                golden.copy(in, from + 4 * i, slot, 4);
            if (type == 4)
                golden.copy(in, from + 3 * i, slot, 3);
            push_button = push_button || type == 1;
        }
        if (push_button)
            golden.bytes[to + 1] = in[from + 192];
    }
    return golden;
}

TEST(InputDeviceConversion, EachBlockFollowsItsOwnDevice)
{
    auto v2 = input_device_v2(5);
    auto out = convert_input_device_v2_to_v3(v2);
    expect_finished_header(out, 3, 8);
    expect_body(out, input_device_golden(v2));
    EXPECT_EQ(out[3228 + 5 * 198 + 1], 0) << "no push button, no prefix value";
    EXPECT_TRUE(convert_input_device_v2_to_v3(random_file(9564, 2, 0, 6)).empty());
}

TEST(FirmwareVersion, ComparesNumerically)
{
    EXPECT_EQ(compare_firmware_versions("1.10.0", "1.5.0"), 1);
    EXPECT_EQ(compare_firmware_versions("1.5.0", "1.10.0"), -1);
    EXPECT_EQ(compare_firmware_versions("1.5", "1.5.0"), 0);
    EXPECT_EQ(compare_firmware_versions("2.2.4", "2.2.4-beta"), 0);
    EXPECT_FALSE(compare_firmware_versions("", "1.0.0"));
    EXPECT_FALSE(compare_firmware_versions("v1.5.0", "1.0.0"));
}

TEST(FirmwareVersion, SelectsLayouts)
{
    struct Row {
        const char* firmware;
        std::uint32_t channel;
        std::uint32_t input_device;
    };
    const Row rows[] = {
        { "0.9.9", 0, 0 },
        { "1.0.0", 0, 0 },
        { "1.2.9", 0, 0 },
        { "1.3.0", 1, 0 },
        { "1.3.1", 2, 2 },
        { "1.4.9", 2, 2 },
        { "1.5.0", 3, 2 },
        { "1.10.0", 3, 2 },
        { "2.2.3", 3, 2 },
        { "2.2.4", 3, 3 },
        { "2.10.0", 3, 3 },
        { "10.0.0", 3, 3 },
    };
    for (const Row& row : rows) {
        EXPECT_EQ(channel_target_version(row.firmware), row.channel) << row.firmware;
        EXPECT_EQ(input_device_target_version(row.firmware), row.input_device) << row.firmware;
    }
    EXPECT_FALSE(channel_target_version("unknown"));
}

const ConfigItem& item(const char* name)
{
    return *find_config_item(name);
}

TEST(ConvertItem, Chooses)
{
    auto v1 = random_file(11168, 1, 3, 7);
    auto v2 = random_file(10912, 2, 3, 8);
    auto v3 = random_file(7072, 3, 3, 9);
    auto same = [](const ConvertedFile& converted, const std::vector<std::uint8_t>& file) {
        return converted.result == convert_ok && converted.bytes == file;
    };
    auto version_of = [](const ConvertedFile& converted) {
        return converted.result == convert_ok ? read_config_file_header(converted.bytes)->version
                                              : 99u;
    };
    const std::optional<std::string> fw130 = "1.3.0", fw131 = "1.3.1", fw150 = "1.5.0",
                                     fw1100 = "1.10.0", fw224 = "2.2.4", none;
    EXPECT_TRUE(same(convert_item(item("dali1"), fw130, v1), v1));
    EXPECT_EQ(version_of(convert_item(item("dali2"), fw131, v1)), 2u);
    EXPECT_EQ(version_of(convert_item(item("dali3"), fw150, v1)), 3u);
    EXPECT_EQ(version_of(convert_item(item("dali4"), fw1100, v1)), 3u);
    EXPECT_EQ(version_of(convert_item(item("dali4"), fw1100, v2)), 3u);
    EXPECT_TRUE(same(convert_item(item("dali1"), fw131, v2), v2));
    EXPECT_TRUE(same(convert_item(item("dali1"), fw150, v3), v3));
    EXPECT_EQ(convert_item(item("dali1"), fw130, v2).result, convert_not_convertible);
    EXPECT_EQ(convert_item(item("dali1"), fw131, v3).result, convert_not_convertible);
    EXPECT_EQ(convert_item(item("dali1"), fw150, random_file(11000, 1, 0, 1)).result,
        convert_not_convertible);
    EXPECT_EQ(convert_item(item("dali1"), fw150, random_file(11168, 7, 0, 1)).result,
        convert_not_convertible);
    EXPECT_EQ(convert_item(item("dali1"), none, v1).result, convert_not_convertible);

    auto cd2 = random_file(9436, 2, 0, 10);
    EXPECT_EQ(convert_item(item("cd1"), fw224, cd2).bytes.size(), 9564u);
    EXPECT_TRUE(same(convert_item(item("cd1"), fw131, cd2), cd2));
    EXPECT_EQ(convert_item(item("cd1"), std::optional<std::string>("1.0.0"), cd2).result,
        convert_not_convertible);
    EXPECT_EQ(convert_item(item("cd2"), none, cd2).result, convert_not_convertible);
    auto cd3 = random_file(9564, 3, 0, 11);
    EXPECT_TRUE(same(convert_item(item("cd2"), none, cd3), cd3));

    auto other = random_file(100, 9, 0, 12);
    EXPECT_TRUE(same(convert_item(item("systemconfig"), none, other), other));
    EXPECT_TRUE(same(convert_item(item("views63"), fw150, other), other));
    EXPECT_EQ(convert_item(item("views63"), fw150, {}).result, convert_missing_input);
    EXPECT_EQ(convert_item(item("dali1"), fw150, random_file(16, 1, 0, 1)).result,
        convert_not_convertible);
}

TEST(ToolMarker, AcceptsThisVersionAndOlderOnly)
{
    EXPECT_TRUE(tool_marker_accepted(kToolMarkerText));
    auto marker = [](int major, int minor, int revision) {
        return "{\"tool_name\": \"kovru-cli\", \"version_major\": " + std::to_string(major)
            + ", \"version_minor\": " + std::to_string(minor)
            + ", \"version_revision\": " + std::to_string(revision) + "}";
    };
    EXPECT_TRUE(tool_marker_accepted(marker(1, 4, 0)));
    EXPECT_TRUE(tool_marker_accepted(marker(1, 3, 9)));
    EXPECT_TRUE(tool_marker_accepted(marker(0, 9, 9)));
    EXPECT_FALSE(tool_marker_accepted(marker(1, 4, 2)));
    EXPECT_FALSE(tool_marker_accepted(marker(1, 5, 0)));
    EXPECT_FALSE(tool_marker_accepted(marker(2, 0, 0)));
    EXPECT_FALSE(tool_marker_accepted(R"({"tool_name": "other", "version_major": 1,
        "version_minor": 0, "version_revision": 0})"));
    EXPECT_FALSE(tool_marker_accepted(R"({"tool_name": "kovru-cli", "version_major": 1,
        "version_minor": 0})"));
    EXPECT_FALSE(tool_marker_accepted(R"({"tool_name": "kovru-cli)"));
    EXPECT_FALSE(tool_marker_accepted(""));
}

} // namespace
} // namespace kovru

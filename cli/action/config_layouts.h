// Layouts of the two configuration file families whose older versions are converted on
// restore: channel files ("/etc/config/dali/daliN.bin") and input-device files
// ("/etc/config/dali/cdN.bin"). All offsets in bytes; records and blocks are relative.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kovru {

// A field that a layout does not have.
inline constexpr std::size_t kNoOffset = static_cast<std::size_t>(-1);

struct ChannelLayout {
    std::uint32_t version;
    std::size_t file_size;
    std::size_t record_size;
    std::size_t group_entries_offset;
    std::size_t short_address_table_offset; // 64 entries of 12 bytes, version 1 only
    std::size_t final_value_offset;
    // Within a device record:
    std::size_t type_byte;
    std::size_t type_follow_byte;
    std::size_t type5_data;
    std::size_t type6_data;
    std::size_t type8_data;
    std::size_t name;
    std::size_t name_follow_byte;
    std::size_t value32;
    std::size_t trailing_bytes;
};

namespace channel_layout {

inline constexpr std::size_t kLineDataLength = 59; // header and line data, 0..58
inline constexpr std::size_t kLineValue32Offset = 16;
inline constexpr std::size_t kRecordsOffset = 60;
inline constexpr std::size_t kRecordCount = 64;
inline constexpr std::size_t kFlagsOffset = 0;
inline constexpr std::size_t kCommonDataOffset = 4;
inline constexpr std::size_t kCommonDataLength = 39;
inline constexpr std::size_t kType5DataLength = 3;
inline constexpr std::size_t kType6DataLength = 7;
inline constexpr std::size_t kType8DataLength = 50;
inline constexpr std::size_t kNameLength = 33;
inline constexpr std::size_t kTrailingLength = 16;
inline constexpr std::size_t kGroupEntryCount = 16;
inline constexpr std::size_t kGroupEntryLength = 38;
inline constexpr std::size_t kShortAddressEntryCount = 64;
inline constexpr std::size_t kShortAddressEntryLength = 12;

inline constexpr ChannelLayout v1 {
    .version = 1,
    .file_size = 11168,
    .record_size = 152,
    .group_entries_offset = 9788,
    .short_address_table_offset = 10396,
    .final_value_offset = 11164,
    .type_byte = 42,
    .type_follow_byte = kNoOffset,
    .type5_data = 44,
    .type6_data = 44,
    .type8_data = 44,
    .name = 94,
    .name_follow_byte = 127,
    .value32 = 128,
    .trailing_bytes = 136,
};
inline constexpr ChannelLayout v2 {
    .version = 2,
    .file_size = 10912,
    .record_size = 160,
    .group_entries_offset = 10300,
    .short_address_table_offset = kNoOffset,
    .final_value_offset = 10908,
    .type_byte = 44,
    .type_follow_byte = 45,
    .type5_data = 46,
    .type6_data = 49,
    .type8_data = 56,
    .name = 106,
    .name_follow_byte = 139,
    .value32 = 140,
    .trailing_bytes = 144,
};
inline constexpr ChannelLayout v3 {
    .version = 3,
    .file_size = 7072,
    .record_size = 100,
    .group_entries_offset = 6460,
    .short_address_table_offset = kNoOffset,
    .final_value_offset = 7068,
    .type_byte = 43,
    .type_follow_byte = 44,
    .type5_data = kNoOffset,
    .type6_data = kNoOffset,
    .type8_data = kNoOffset,
    .name = 45,
    .name_follow_byte = 78,
    .value32 = 80,
    .trailing_bytes = 84,
};

inline constexpr std::size_t record_offset(const ChannelLayout& layout, std::size_t record)
{
    return kRecordsOffset + record * layout.record_size;
}

} // namespace channel_layout

struct InputDeviceLayout {
    std::uint32_t version;
    std::size_t file_size;
    std::size_t block_size;
};

namespace input_device_layout {

inline constexpr std::size_t kLineDataLength = 28; // header and line data, 0..27
inline constexpr std::size_t kRecordsOffset = 28;
inline constexpr std::size_t kRecordCount = 32;
inline constexpr std::size_t record_size = 100;
// Within a record:
inline constexpr std::size_t kDataOffset = 0;
inline constexpr std::size_t kFlagsOffset = 8;
inline constexpr std::size_t kValue16AOffset = 12;
inline constexpr std::size_t kValue16BOffset = 14;
inline constexpr std::size_t kInstanceTableOffset = 16; // 32 entries of 16 bits
inline constexpr std::size_t kInstanceCount = 32;
inline constexpr std::size_t kNameOffset = 80;
inline constexpr std::size_t kNameLength = 17;
inline constexpr std::size_t kCarriedRecordLength = 97; // 0..96

inline constexpr std::size_t kBlocksOffset = 3228;
inline constexpr std::size_t kBlockCount = 32;

inline constexpr std::uint8_t kInstancePushButton = 1;
inline constexpr std::uint8_t kInstanceOccupancySensor = 3;
inline constexpr std::uint8_t kInstanceLightSensor = 4;

// Version 2 packs instance data by type; byte 192 of the block holds the push-button value.
inline constexpr std::size_t kV2PushButtonDataLength = 6;
inline constexpr std::size_t kV2OccupancyDataLength = 4;
inline constexpr std::size_t kV2LightDataLength = 3;
inline constexpr std::size_t kV2PushButtonValueOffset = 192;

// Version 3: a 6-byte prefix (byte 1 the push-button value), then 32 slots of 6 bytes.
inline constexpr std::size_t kV3PrefixLength = 6;
inline constexpr std::size_t kV3PushButtonValueOffset = 1;
inline constexpr std::size_t kV3SlotLength = 6;

inline constexpr InputDeviceLayout v2 { .version = 2, .file_size = 9436, .block_size = 194 };
inline constexpr InputDeviceLayout v3 { .version = 3, .file_size = 9564, .block_size = 198 };

inline constexpr std::size_t record_offset(std::size_t record)
{
    return kRecordsOffset + record * record_size;
}

inline constexpr std::size_t block_offset(const InputDeviceLayout& layout, std::size_t block)
{
    return kBlocksOffset + block * layout.block_size;
}

} // namespace input_device_layout

// The layouts must tile their files exactly.
static_assert(channel_layout::record_offset(channel_layout::v1, 64)
    == channel_layout::v1.group_entries_offset);
static_assert(channel_layout::record_offset(channel_layout::v2, 64)
    == channel_layout::v2.group_entries_offset);
static_assert(channel_layout::record_offset(channel_layout::v3, 64)
    == channel_layout::v3.group_entries_offset);
static_assert(channel_layout::v1.short_address_table_offset + 64 * 12
    == channel_layout::v1.final_value_offset);
static_assert(
    channel_layout::v2.group_entries_offset + 16 * 38 == channel_layout::v2.final_value_offset);
static_assert(channel_layout::v3.final_value_offset + 4 == channel_layout::v3.file_size);
static_assert(input_device_layout::block_offset(input_device_layout::v2, 32)
    == input_device_layout::v2.file_size);
static_assert(input_device_layout::block_offset(input_device_layout::v3, 32)
    == input_device_layout::v3.file_size);

} // namespace kovru

#include "cli/action/channel_conversion.h"

#include "cli/action/config_file_header.h"
#include "cli/action/config_layouts.h"

#include <algorithm>

namespace kovru {
namespace {

namespace cl = channel_layout;

constexpr std::uint8_t kUnsetByte = 0xFF;

bool has_type_data(std::uint8_t type)
{
    return type == 5 || type == 6 || type == 8;
}

void copy_bytes(std::span<const std::uint8_t> from, std::size_t from_offset,
    std::span<std::uint8_t> to, std::size_t to_offset, std::size_t length)
{
    std::copy_n(from.begin() + from_offset, length, to.begin() + to_offset);
}

// The fields every conversion carries from a source record to a target record.
void copy_common_record_fields(std::span<const std::uint8_t> from, const ChannelLayout& source,
    std::span<std::uint8_t> to, const ChannelLayout& target)
{
    copy_bytes(from, cl::kFlagsOffset, to, cl::kFlagsOffset, 4);
    copy_bytes(from, cl::kCommonDataOffset, to, cl::kCommonDataOffset, cl::kCommonDataLength);
    copy_bytes(from, source.name, to, target.name, cl::kNameLength);
    to[target.name_follow_byte] = from[source.name_follow_byte];
    copy_bytes(from, source.value32, to, target.value32, 4);
    copy_bytes(from, source.trailing_bytes, to, target.trailing_bytes, cl::kTrailingLength);
}

std::size_t type_data_offset(const ChannelLayout& layout, std::uint8_t type)
{
    switch (type) {
    case 5:
        return layout.type5_data;
    case 6:
        return layout.type6_data;
    default:
        return layout.type8_data;
    }
}

std::size_t type_data_length(std::uint8_t type)
{
    switch (type) {
    case 5:
        return cl::kType5DataLength;
    case 6:
        return cl::kType6DataLength;
    default:
        return cl::kType8DataLength;
    }
}

// Type-specific record fields: the type byte, its follower and (to version 2) the type data.
void convert_type_fields(std::span<const std::uint8_t> from, const ChannelLayout& source,
    std::span<std::uint8_t> to, const ChannelLayout& target)
{
    const std::uint8_t type = from[source.type_byte];
    if (source.version == 2) {
        to[target.type_byte] = type;
        to[target.type_follow_byte] = from[source.type_follow_byte];
        return;
    }
    to[target.type_byte] = kUnsetByte;
    to[target.type_follow_byte] = kUnsetByte;
    if (!has_type_data(type))
        return;
    to[target.type_byte] = type;
    if (target.version == 2)
        copy_bytes(from, type_data_offset(source, type), to, type_data_offset(target, type),
            type_data_length(type));
}

std::vector<std::uint8_t> convert_channel(
    std::span<const std::uint8_t> in, const ChannelLayout& source, const ChannelLayout& target)
{
    if (in.size() != source.file_size)
        return {};
    std::vector<std::uint8_t> out(target.file_size, 0);
    std::span<std::uint8_t> to(out);
    copy_bytes(in, 0, to, 0, cl::kLineDataLength);
    for (std::size_t record = 0; record < cl::kRecordCount; ++record) {
        auto from_record = in.subspan(cl::record_offset(source, record), source.record_size);
        auto to_record = to.subspan(cl::record_offset(target, record), target.record_size);
        copy_common_record_fields(from_record, source, to_record, target);
        convert_type_fields(from_record, source, to_record, target);
    }
    copy_bytes(in, source.group_entries_offset, to, target.group_entries_offset,
        cl::kGroupEntryCount * cl::kGroupEntryLength);
    copy_bytes(in, source.final_value_offset, to, target.final_value_offset, 4);
    const std::uint32_t counter = read_config_file_header(in)->change_counter;
    finish_config_file_header(to, target.version, counter + 1);
    return out;
}

} // namespace

std::vector<std::uint8_t> convert_channel_v1_to_v2(std::span<const std::uint8_t> v1)
{
    return convert_channel(v1, cl::v1, cl::v2);
}

std::vector<std::uint8_t> convert_channel_v1_to_v3(std::span<const std::uint8_t> v1)
{
    return convert_channel(v1, cl::v1, cl::v3);
}

std::vector<std::uint8_t> convert_channel_v2_to_v3(std::span<const std::uint8_t> v2)
{
    return convert_channel(v2, cl::v2, cl::v3);
}

} // namespace kovru

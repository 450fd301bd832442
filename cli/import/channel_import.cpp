#include "cli/import/channel_import.h"

#include "cli/action/config_file_header.h"
#include "cli/import/csv_fields.h"

#include <algorithm>

namespace kovru {
namespace {

namespace cl = channel_layout;

constexpr std::size_t device_count = 64;
constexpr std::size_t group_count = 16;
constexpr std::uint8_t null_byte = 255;
constexpr std::uint8_t disabled_level = 100;
constexpr std::size_t name_max = 32;

// Record offsets the import writes.
constexpr std::size_t short_address_byte = 11;
constexpr std::size_t group_mask_offset = 18;
constexpr std::size_t values_offset = 20;
constexpr std::size_t values_count = 16;
constexpr std::size_t marker_byte = 36;
constexpr std::size_t group_marker_byte = 36;

std::uint8_t nullable_byte(const std::string& text)
{
    return equals_ignoring_case(text, "null") ? null_byte : csv_byte(text);
}

std::uint8_t clamp_byte(std::uint8_t value, std::uint8_t low, std::uint8_t high)
{
    return std::clamp(value, low, high);
}

// Null (255) clears the short address in the layout's way; 0..63 sets it; anything else
// leaves it alone.
void apply_short_address(std::span<std::uint8_t> file, const ChannelLayout& layout,
    std::size_t index, std::uint32_t& flags, const std::string& text)
{
    const std::optional<std::int64_t> value = json_integer(text, null_byte);
    if (!value)
        return;
    const auto address = static_cast<std::uint8_t>(*value);
    std::uint8_t* record = file.data() + cl::record_offset(layout, index);
    if (address == null_byte) {
        if (layout.version == 1) {
            std::fill_n(file.data() + layout.short_address_table_offset
                    + index * cl::kShortAddressEntryLength,
                cl::kShortAddressEntryLength, 0);
            return;
        }
        flags &= ~channel_flag_short_address;
        record[short_address_byte] = layout.version == 2 ? 0 : 0xFF;
    } else if (address <= 63) {
        flags |= channel_flag_short_address;
        record[short_address_byte] = static_cast<std::uint8_t>(2 * address + 1);
    }
}

std::uint16_t group_mask(const std::string& text)
{
    std::uint16_t mask = 0;
    for (const auto& group : json_integer_list(text, -1))
        if (group && *group >= 0 && *group < 16)
            mask |= static_cast<std::uint16_t>(1u << *group);
    return mask;
}

void store_values(std::uint8_t* values, const std::string& text)
{
    std::fill_n(values, values_count, null_byte);
    const auto list = json_integer_list(text, null_byte);
    for (std::size_t i = 0; i < std::min(list.size(), values_count); ++i)
        values[i] = list[i] ? static_cast<std::uint8_t>(*list[i]) : null_byte;
}

} // namespace

const ChannelLayout& channel_layout_for_target(std::uint32_t target_version)
{
    if (target_version == 3)
        return cl::v3;
    if (target_version == 2)
        return cl::v2;
    return cl::v1;
}

bool apply_channel_row(std::span<std::uint8_t> file, const ChannelLayout& layout, const CsvRow& row)
{
    const std::int64_t index = csv_integer(row[1]);
    if (index < 0 || index >= static_cast<std::int64_t>(device_count))
        return false;
    const auto device = static_cast<std::size_t>(index);
    const std::size_t record_offset = cl::record_offset(layout, device);
    std::uint8_t* record = file.data() + record_offset;

    const bool disabled = equals_ignoring_case(row[5], "false");
    std::uint32_t flags = read_u32_le(file, record_offset)
        | (disabled ? channel_flag_disabled : channel_flag_configured);
    record[marker_byte] = 0xFF;
    apply_short_address(file, layout, device, flags, row[2]);
    write_u32_le(file, record_offset, flags);

    store_name(file.subspan(record_offset + layout.name, cl::kNameLength), row[3], name_max);
    record[5] = disabled ? disabled_level : nullable_byte(row[5]);
    record[6] = nullable_byte(row[6]);
    record[7] = csv_byte(row[7]);
    record[8] = csv_byte(row[8]);
    record[9] = clamp_byte(csv_byte(row[9]), 1, 15);
    record[10] = clamp_byte(csv_byte(row[10]), 0, 15);
    write_u16_le(file, record_offset + group_mask_offset, group_mask(row[4]));
    store_values(record + values_offset, row[11]);

    if (layout.version == 3) {
        write_u16_le(file, record_offset + layout.type_byte, 0);
        write_u32_le(file, cl::kLineValue32Offset, static_cast<std::uint32_t>(csv_integer(row[0])));
    }
    return true;
}

bool apply_group_row(std::span<std::uint8_t> file, const ChannelLayout& layout, const CsvRow& row)
{
    const std::int64_t index = csv_integer(row[1]);
    if (index < 0 || index >= static_cast<std::int64_t>(group_count))
        return false;
    const std::size_t entry
        = layout.group_entries_offset + static_cast<std::size_t>(index) * cl::kGroupEntryLength;
    store_name(file.subspan(entry, cl::kNameLength), row[2], name_max);
    file[entry + group_marker_byte] = 0xFF;
    return true;
}

CsvImportOutcome import_channel_csv(
    const std::string& path, std::span<std::uint8_t> file, const ChannelLayout& layout)
{
    return import_csv_rows(path, channel_csv, [&](const CsvRow& row, const CsvRowPlace&) {
        return apply_channel_row(file, layout, row);
    });
}

CsvImportOutcome import_group_csv(
    const std::string& path, std::span<std::uint8_t> file, const ChannelLayout& layout)
{
    return import_csv_rows(path, group_csv,
        [&](const CsvRow& row, const CsvRowPlace&) { return apply_group_row(file, layout, row); });
}

} // namespace kovru

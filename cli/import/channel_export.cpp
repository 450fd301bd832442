#include "cli/import/channel_export.h"

#include "cli/action/config_file_header.h"
#include "cli/import/channel_import.h"
#include "cli/import/csv_fields.h"
#include "cli/import/csv_rows.h"
#include "cli/import/input_import.h"
#include "cli/log/log.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <vector>

namespace kovru {
namespace {

namespace cl = channel_layout;
namespace il = input_device_layout;

constexpr const char* keep_address = "254";
constexpr std::size_t version_offset = 8;

std::string quoted(std::string_view text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

// Fields with separators, quotes, line ends or outer blanks are quoted; the rest stay bare.
std::string csv_field(const std::string& value)
{
    const bool plain = !value.empty() && value.find_first_of(",\"\r\n") == std::string::npos
        && value.front() != ' ' && value.back() != ' ';
    return plain ? value : quoted(value);
}

std::string json_list(const std::vector<unsigned>& values)
{
    std::string list;
    for (unsigned value : values)
        list += (list.empty() ? "" : ",") + std::to_string(value);
    return "[" + list + "]";
}

void add_row(std::string& csv, const CsvRow& row)
{
    for (std::size_t i = 0; i < row.size(); ++i)
        csv += (i ? "," : "") + csv_field(row[i]);
    csv += "\r\n";
}

void add_header(std::string& csv, const CsvKind& kind, std::initializer_list<std::string> columns)
{
    add_row(csv, { std::string(kind.version_marker) + "1" });
    CsvRow names(columns);
    names.front().insert(0, "#");
    add_row(csv, names);
}

// A row the import would not write back byte for byte goes out as a comment row, so that
// importing the export changes nothing; the technician may remove the "#" to apply it.
void add_checked_row(
    std::string& csv, CsvRow row, bool writes_back_unchanged, const char* what, std::size_t index)
{
    if (!writes_back_unchanged) {
        log_warning("The import cannot write %s %zu back unchanged (bytes it sets, such as the "
                    "device type, hold other values); its row is written as a comment.",
            what, index);
        row.front().insert(0, "#");
    } else if (row.size() > 3 && row[3].starts_with('#')) {
        log_warning("The name of %s %zu begins with \"#\": the import reads that row as a "
                    "comment and leaves the record as it is.",
            what, index);
    }
    add_row(csv, row);
}

std::string channel_short_address(
    std::span<const std::uint8_t> file, const ChannelLayout& layout, std::size_t device)
{
    const std::size_t record = cl::record_offset(layout, device);
    const bool has_address = read_u32_le(file, record) & channel_flag_short_address;
    const std::uint8_t stored = file[record + 11];
    if (has_address && (stored & 1) && stored / 2 <= 63)
        return std::to_string(stored / 2);
    bool null_writes_same = false;
    if (layout.version == 1) {
        const auto entry = file.subspan(
            layout.short_address_table_offset + device * cl::kShortAddressEntryLength,
            cl::kShortAddressEntryLength);
        null_writes_same = std::ranges::all_of(entry, [](std::uint8_t b) { return b == 0; });
    } else {
        null_writes_same = !has_address && stored == (layout.version == 2 ? 0 : 0xFF);
    }
    return null_writes_same ? "null" : keep_address;
}

std::string input_short_address(std::uint32_t flags, std::uint8_t stored)
{
    if ((flags & input_flag_short_address) && (stored & 1) && stored / 2 <= 63)
        return std::to_string(stored / 2);
    if (!(flags & input_flag_short_address) && stored == 0xFF)
        return "null";
    return keep_address;
}

std::vector<unsigned> set_bits(std::uint16_t mask)
{
    std::vector<unsigned> bits;
    for (unsigned bit = 0; bit < 16; ++bit)
        if (mask & (1u << bit))
            bits.push_back(bit);
    return bits;
}

} // namespace

const ChannelLayout* channel_layout_of_file(std::span<const std::uint8_t> file)
{
    if (file.size() < kConfigFileHeaderSize)
        return nullptr;
    const std::uint32_t version = read_u32_le(file, version_offset);
    const ChannelLayout& layout = channel_layout_for_target(version);
    if ((version > 3) || file.size() != layout.file_size)
        return nullptr;
    return &layout;
}

std::string export_channel_csv(
    std::span<const std::uint8_t> file, const ChannelLayout& layout, unsigned line)
{
    std::string csv;
    add_header(csv, channel_csv,
        { "line", "device", "short_address", "name", "groups", "byte5", "byte6", "byte7", "byte8",
            "byte9", "byte10", "values" });
    const std::uint32_t line_value
        = layout.version == 3 ? read_u32_le(file, cl::kLineValue32Offset) : line;
    std::vector<std::uint8_t> trial(file.begin(), file.begin() + layout.file_size);
    for (std::size_t device = 0; device < cl::kRecordCount; ++device) {
        const std::size_t offset = cl::record_offset(layout, device);
        const std::uint32_t flags = read_u32_le(file, offset);
        if (!(flags & (channel_flag_configured | channel_flag_disabled)))
            continue;
        const auto record = file.subspan(offset, layout.record_size);
        const bool disabled = (flags & channel_flag_disabled) && record[5] == 100;
        const CsvRow row = { std::to_string(line_value), std::to_string(device),
            channel_short_address(file, layout, device),
            stored_name(record.subspan(layout.name, cl::kNameLength)),
            json_list(set_bits(read_u16_le(record, 18))),
            disabled ? "false" : std::to_string(record[5]), std::to_string(record[6]),
            std::to_string(record[7]), std::to_string(record[8]), std::to_string(record[9]),
            std::to_string(record[10]),
            json_list(std::vector<unsigned>(record.begin() + 20, record.begin() + 36)) };
        apply_channel_row(trial, layout, row);
        const bool unchanged = std::ranges::equal(trial, file.first(layout.file_size));
        if (!unchanged)
            std::ranges::copy(file.first(layout.file_size), trial.begin());
        add_checked_row(csv, row, unchanged, "device", device);
    }
    return csv;
}

std::string export_group_csv(
    std::span<const std::uint8_t> file, const ChannelLayout& layout, unsigned line)
{
    std::string csv;
    add_header(csv, group_csv, { "line", "group", "name" });
    for (std::size_t group = 0; group < cl::kGroupEntryCount; ++group) {
        const auto entry = file.subspan(
            layout.group_entries_offset + group * cl::kGroupEntryLength, cl::kGroupEntryLength);
        if (entry[36] != 0xFF)
            continue;
        std::array<std::uint8_t, cl::kGroupEntryLength> trial;
        std::ranges::copy(entry, trial.begin());
        const std::string name = stored_name(entry.first(cl::kNameLength));
        store_name(std::span(trial).first(cl::kNameLength), name, 32);
        add_checked_row(csv, { std::to_string(line), std::to_string(group), name },
            std::ranges::equal(trial, entry), "group", group);
    }
    return csv;
}

std::string export_input_csv(std::span<const std::uint8_t> file)
{
    std::string csv;
    add_header(csv, input_csv,
        { "line", "device", "short_address", "name", "flags", "byte10", "instance_types",
            "instance_bytes", "push_button_value", "push_button_0", "push_button_1",
            "push_button_2", "push_button_3", "push_button_4", "push_button_5", "occupancy_1",
            "occupancy_2", "occupancy_3", "light_1", "light_2" });
    const std::uint32_t line_value = read_u32_le(file, 16);
    for (std::size_t device = 0; device < il::kRecordCount; ++device) {
        const std::size_t offset = il::record_offset(device);
        const std::uint32_t flags = read_u32_le(file, offset + input_record::flags);
        if (!(flags & input_flag_configured))
            continue;
        const auto record = file.subspan(offset, il::record_size);
        const std::size_t block_offset = il::block_offset(il::v3, device);
        const auto block = file.subspan(block_offset, il::v3.block_size);
        std::size_t used = il::kInstanceCount;
        while (used > 0 && record[il::kInstanceTableOffset + 2 * used - 2] == 0
            && record[il::kInstanceTableOffset + 2 * used - 1] == 0)
            --used;
        // Fields 6, 7 and then the slot bytes of fields 9..19, instance by instance.
        std::array<std::vector<unsigned>, 13> lists;
        for (std::size_t i = 0; i < used; ++i) {
            const std::uint8_t type = record[il::kInstanceTableOffset + 2 * i];
            const auto slot = block.subspan(il::kV3PrefixLength + i * il::kV3SlotLength);
            lists[0].push_back(type);
            lists[1].push_back(record[il::kInstanceTableOffset + 2 * i + 1]);
            for (std::size_t k = 0; k < 6; ++k)
                lists[2 + k].push_back(type == il::kInstancePushButton ? slot[k] : 0);
            for (std::size_t k = 0; k < 3; ++k)
                lists[8 + k].push_back(type == il::kInstanceOccupancySensor ? slot[1 + k] : 0);
            for (std::size_t k = 0; k < 2; ++k)
                lists[11 + k].push_back(type == il::kInstanceLightSensor ? slot[1 + k] : 0);
        }
        CsvRow row = { std::to_string(line_value), std::to_string(device),
            input_short_address(flags, record[input_record::short_address]),
            stored_name(record.subspan(il::kNameOffset, il::kNameLength)), std::to_string(flags),
            std::to_string(record[input_record::instance_count]), json_list(lists[0]),
            json_list(lists[1]), json_list({ block[il::kV3PushButtonValueOffset] }) };
        for (std::size_t k = 2; k < lists.size(); ++k)
            row.push_back(json_list(lists[k]));
        // The import starts the input-device file from zeros.
        std::vector<std::uint8_t> trial(il::v3.file_size);
        const std::string path = "export";
        apply_input_row(trial, row, { path, 0 });
        const bool unchanged
            = std::ranges::equal(std::span(trial).subspan(offset, il::record_size), record)
            && std::ranges::equal(std::span(trial).subspan(block_offset, il::v3.block_size), block)
            && read_u32_le(trial, 16) == line_value;
        add_checked_row(csv, row, unchanged, "input device", device);
    }
    return csv;
}

} // namespace kovru

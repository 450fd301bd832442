#include "cli/import/input_import.h"

#include "cli/action/config_file_header.h"
#include "cli/action/config_layouts.h"
#include "cli/import/csv_fields.h"
#include "cli/log/log.h"

#include <algorithm>
#include <array>

namespace kovru {
namespace {

namespace il = input_device_layout;

constexpr std::size_t name_max = 16;
constexpr std::uint8_t null_byte = 255;
constexpr std::size_t line_value_offset = 16;
constexpr std::size_t first_list_field = 6;
constexpr std::size_t list_field_count = 14; // fields 6..19

// Fields 6..19 as byte lists; an element that is not a number or numeric string is absent.
using ByteList = std::vector<std::optional<std::uint8_t>>;

ByteList read_byte_list(const CsvRow& row, std::size_t field, const CsvRowPlace& place)
{
    const auto values = json_integer_list(row[field], null_byte);
    if (values.size() > input_list_limit)
        log_warning("Row %lu of %s: field %zu holds %zu values; only the first %zu are used.",
            place.row_number, place.path.c_str(), field, values.size(), input_list_limit);
    ByteList bytes;
    for (std::size_t i = 0; i < std::min(values.size(), input_list_limit); ++i)
        bytes.push_back(
            values[i] ? std::optional(static_cast<std::uint8_t>(*values[i])) : std::nullopt);
    return bytes;
}

void put_element(std::uint8_t& target, const ByteList& list, std::size_t i)
{
    if (i < list.size() && list[i])
        target = *list[i];
}

// Instance i's data go into slot i by its type: push button bytes 0..5, occupancy sensor
// bytes 1..3, light sensor bytes 1..2.
void store_slots(std::uint8_t* block, const std::array<ByteList, list_field_count>& lists)
{
    const ByteList& types = lists[0];
    for (std::size_t i = 0; i < std::min(types.size(), il::kInstanceCount); ++i) {
        if (!types[i])
            continue;
        std::uint8_t* slot = block + il::kV3PrefixLength + i * il::kV3SlotLength;
        auto take = [&](std::size_t first_field, std::size_t count, std::size_t first_byte) {
            for (std::size_t k = 0; k < count; ++k)
                put_element(slot[first_byte + k], lists[first_field + k - first_list_field], i);
        };
        if (*types[i] == il::kInstancePushButton)
            take(9, 6, 0);
        else if (*types[i] == il::kInstanceOccupancySensor)
            take(15, 3, 1);
        else if (*types[i] == il::kInstanceLightSensor)
            take(18, 2, 1);
    }
}

} // namespace

bool apply_input_row(std::span<std::uint8_t> file, const CsvRow& row, const CsvRowPlace& place)
{
    const std::int64_t index = csv_integer(row[1]);
    if (index < 0 || index >= static_cast<std::int64_t>(il::kRecordCount))
        return false;
    const auto device = static_cast<std::size_t>(index);
    const std::size_t record_offset = il::record_offset(device);
    std::uint8_t* record = file.data() + record_offset;

    std::uint32_t flags = static_cast<std::uint32_t>(csv_integer(row[4])) | input_flag_configured;
    record[input_record::marker] = 0xFF;
    write_u32_le(file, line_value_offset, static_cast<std::uint32_t>(csv_integer(row[0])));
    if (const auto address = json_integer(row[2], null_byte)) {
        const auto value = static_cast<std::uint8_t>(*address);
        if (value == null_byte) {
            record[input_record::short_address] = 0xFF;
            flags &= ~input_flag_short_address;
        } else if (value <= 63) {
            flags |= input_flag_short_address;
            record[input_record::short_address] = static_cast<std::uint8_t>(2 * value + 1);
        }
    }
    write_u32_le(file, record_offset + input_record::flags, flags);
    record[input_record::instance_count] = std::min<std::uint8_t>(csv_byte(row[5]), 32);
    store_name(file.subspan(record_offset + il::kNameOffset, il::kNameLength), row[3], name_max);

    std::array<ByteList, list_field_count> lists;
    for (std::size_t k = 0; k < list_field_count; ++k)
        lists[k] = read_byte_list(row, first_list_field + k, place);
    std::uint8_t* table = record + il::kInstanceTableOffset;
    for (std::size_t i = 0; i < il::kInstanceCount; ++i) {
        put_element(table[2 * i], lists[0], i);
        put_element(table[2 * i + 1], lists[1], i);
    }
    std::uint8_t* block = file.data() + il::block_offset(il::v3, device);
    put_element(block[il::kV3PushButtonValueOffset], lists[2], 0);
    store_slots(block, lists);
    return true;
}

CsvImportOutcome import_input_csv(const std::string& path, std::span<std::uint8_t> file)
{
    return import_csv_rows(path, input_csv, [&](const CsvRow& row, const CsvRowPlace& place) {
        return apply_input_row(file, row, place);
    });
}

} // namespace kovru

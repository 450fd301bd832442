#include "cli/import/record_changes.h"

#include "cli/action/config_file_header.h"
#include "cli/import/csv_fields.h"
#include "cli/log/log.h"
#include "cli/log/tool_events.h"

#include <algorithm>
#include <string>
#include <vector>

namespace kovru {
namespace {

enum class FieldKind { number, flags, text, bytes, bit_list };

struct FieldView {
    std::string label;
    std::size_t offset; // from the start of the record
    std::size_t length;
    FieldKind kind;
};

std::uint32_t little_endian(std::span<const std::uint8_t> bytes)
{
    std::uint32_t value = 0;
    for (std::size_t i = std::min<std::size_t>(bytes.size(), 4); i-- > 0;)
        value = (value << 8) | bytes[i];
    return value;
}

std::string show(std::span<const std::uint8_t> bytes, FieldKind kind)
{
    switch (kind) {
    case FieldKind::number:
        return std::to_string(little_endian(bytes));
    case FieldKind::flags: {
        char text[16];
        std::snprintf(text, sizeof text, "0x%08x", little_endian(bytes));
        return text;
    }
    case FieldKind::text:
        return "\"" + stored_name(bytes) + "\"";
    case FieldKind::bit_list: {
        std::string list;
        const std::uint32_t mask = little_endian(bytes);
        for (unsigned bit = 0; bit < 32; ++bit)
            if (mask & (1u << bit))
                list += (list.empty() ? "" : ",") + std::to_string(bit);
        return "[" + list + "]";
    }
    case FieldKind::bytes:
        break;
    }
    std::string list;
    for (std::uint8_t byte : bytes)
        list += (list.empty() ? "" : ",") + std::to_string(byte);
    return "[" + list + "]";
}

// Where a changed record sits: its line (0 for none) and its name within the line.
struct RecordName {
    unsigned line;
    std::string record;

    std::string title() const
    {
        return line ? "Line " + std::to_string(line) + " " + record : record;
    }
};

// Logs the changed fields of one record; true when any changed. A dry run's changes also go
// to the event stream.
bool report_record(const RecordName& name, std::span<const std::uint8_t> before,
    std::span<const std::uint8_t> after, const std::vector<FieldView>& fields,
    std::string_view change)
{
    bool changed = false;
    for (const FieldView& field : fields) {
        const auto old_value = before.subspan(field.offset, field.length);
        const auto new_value = after.subspan(field.offset, field.length);
        if (std::ranges::equal(old_value, new_value))
            continue;
        if (!changed)
            log_plain(
                "%s %.*s:", name.title().c_str(), static_cast<int>(change.size()), change.data());
        changed = true;
        const std::string old_text = show(old_value, field.kind);
        const std::string new_text = show(new_value, field.kind);
        log_plain("\t%s: %s -> %s", field.label.c_str(), old_text.c_str(), new_text.c_str());
        if (change == kWouldChange && name.line)
            event_record_change(name.line, name.record, field.label, old_text, new_text);
    }
    return changed;
}

std::vector<FieldView> channel_record_fields(const ChannelLayout& layout)
{
    std::vector<FieldView> fields = {
        { "flags", 0, 4, FieldKind::flags },
        { "short address byte", 11, 1, FieldKind::number },
        { "name", layout.name, channel_layout::kNameLength, FieldKind::text },
        { "groups", 18, 2, FieldKind::bit_list },
        { "values", 20, 16, FieldKind::bytes },
        { "byte 36", 36, 1, FieldKind::number },
    };
    for (std::size_t byte = 5; byte <= 10; ++byte)
        fields.push_back({ "byte " + std::to_string(byte), byte, 1, FieldKind::number });
    if (layout.version == 3)
        fields.push_back({ "bytes 43..44", 43, 2, FieldKind::bytes });
    return fields;
}

std::vector<FieldView> input_record_fields()
{
    std::vector<FieldView> fields = {
        { "flags", 0, 4, FieldKind::flags },
        { "short address byte", 8, 1, FieldKind::number },
        { "byte 10", 10, 1, FieldKind::number },
        { "byte 13", 13, 1, FieldKind::number },
        { "name", input_device_layout::kNameOffset, input_device_layout::kNameLength,
            FieldKind::text },
    };
    for (std::size_t i = 0; i < input_device_layout::kInstanceCount; ++i)
        fields.push_back({ "instance " + std::to_string(i) + " type and byte",
            input_device_layout::kInstanceTableOffset + 2 * i, 2, FieldKind::bytes });
    return fields;
}

std::vector<FieldView> input_block_fields()
{
    using namespace input_device_layout;
    std::vector<FieldView> fields
        = { { "push-button value", kV3PushButtonValueOffset, 1, FieldKind::number } };
    for (std::size_t i = 0; i < kInstanceCount; ++i)
        fields.push_back({ "instance " + std::to_string(i) + " data",
            kV3PrefixLength + i * kV3SlotLength, kV3SlotLength, FieldKind::bytes });
    return fields;
}

bool report_line_value(unsigned line, std::span<const std::uint8_t> before,
    std::span<const std::uint8_t> after, std::string_view change)
{
    return report_record({ line, "line value" }, before.subspan(16, 4), after.subspan(16, 4),
        { { "value", 0, 4, FieldKind::number } }, change);
}

} // namespace

std::size_t report_channel_changes(unsigned line, const ChannelLayout& layout,
    std::span<const std::uint8_t> before, std::span<const std::uint8_t> after,
    std::string_view change)
{
    namespace cl = channel_layout;
    std::size_t changed = report_line_value(line, before, after, change) ? 1 : 0;
    const auto record_fields = channel_record_fields(layout);
    for (std::size_t device = 0; device < cl::kRecordCount; ++device) {
        const std::size_t offset = cl::record_offset(layout, device);
        std::vector<FieldView> fields = record_fields;
        if (layout.version == 1)
            fields.push_back({ "short address entry",
                layout.short_address_table_offset + device * cl::kShortAddressEntryLength - offset,
                cl::kShortAddressEntryLength, FieldKind::bytes });
        // The version-1 table lies after the records: compare from the record on.
        if (report_record({ line, "device " + std::to_string(device) }, before.subspan(offset),
                after.subspan(offset), fields, change))
            ++changed;
    }
    for (std::size_t group = 0; group < cl::kGroupEntryCount; ++group) {
        const std::size_t offset = layout.group_entries_offset + group * cl::kGroupEntryLength;
        if (report_record({ line, "group " + std::to_string(group) },
                before.subspan(offset, cl::kGroupEntryLength),
                after.subspan(offset, cl::kGroupEntryLength),
                { { "name", 0, cl::kNameLength, FieldKind::text },
                    { "byte 36", 36, 1, FieldKind::number } },
                change))
            ++changed;
    }
    return changed;
}

std::size_t report_input_changes(unsigned line, std::span<const std::uint8_t> before,
    std::span<const std::uint8_t> after, std::string_view change)
{
    namespace il = input_device_layout;
    std::vector<std::uint8_t> empty;
    if (before.size() < il::v3.file_size) {
        empty.assign(il::v3.file_size, 0);
        before = empty;
    }
    const std::string prefix = "input device ";
    std::size_t changed = report_line_value(line, before, after, change) ? 1 : 0;
    const auto record_fields = input_record_fields();
    const auto block_fields = input_block_fields();
    for (std::size_t device = 0; device < il::kRecordCount; ++device) {
        const std::size_t record = il::record_offset(device);
        const std::size_t block = il::block_offset(il::v3, device);
        const bool record_changed = report_record({ line, prefix + std::to_string(device) },
            before.subspan(record, il::record_size), after.subspan(record, il::record_size),
            record_fields, change);
        const bool block_changed
            = report_record({ line, prefix + std::to_string(device) + " block" },
                before.subspan(block, il::v3.block_size), after.subspan(block, il::v3.block_size),
                block_fields, change);
        if (record_changed || block_changed)
            ++changed;
    }
    return changed;
}

std::size_t report_header_changes(unsigned line, std::span<const std::uint8_t> before,
    std::span<const std::uint8_t> after, std::string_view change)
{
    return report_record({ line, "header" }, before, after,
               { { "size", 0, 4, FieldKind::number }, { "bytes 6..7", 6, 2, FieldKind::bytes },
                   { "version", 8, 4, FieldKind::number } },
               change)
        ? 1
        : 0;
}

} // namespace kovru

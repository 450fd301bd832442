#include "sim/config_files.h"

#include "sim/config_file_header.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace kovru::sim {
namespace {

struct ChannelLayout {
    std::size_t size;
    std::size_t record_size;
    std::size_t type_byte;
    std::size_t name;
    std::size_t groups;
};

constexpr std::size_t kChannelRecords = 60;
constexpr std::size_t kGroupEntrySize = 38;
constexpr std::size_t kInputRecords = 28;
constexpr std::size_t kInputRecordSize = 100;
constexpr std::size_t kInputBlocks = 3228;
constexpr unsigned kDemoDevicesPerLine = 4;
constexpr unsigned kDemoInputDevicesPerLine = 2;
constexpr std::uint32_t kFreshChangeCounter = 1;

ChannelLayout channel_layout(std::uint32_t version)
{
    switch (version) {
    case 2:
        return { 10912, 160, 44, 106, 10300 };
    case 3:
        return { 7072, 100, 43, 45, 6460 };
    default:
        return { 11168, 152, 42, 94, 9788 };
    }
}

void put_name(std::vector<std::uint8_t>& file, std::size_t offset, std::size_t field_size,
    const std::string& name)
{
    std::size_t length = std::min(name.size(), field_size - 1);
    std::memcpy(file.data() + offset, name.data(), length);
}

std::vector<unsigned> version_components(std::string_view version)
{
    std::vector<unsigned> components { 0 };
    for (char c : version) {
        if (c >= '0' && c <= '9')
            components.back() = components.back() * 10 + static_cast<unsigned>(c - '0');
        else if (c == '.')
            components.push_back(0);
    }
    return components;
}

} // namespace

int compare_firmware_versions(std::string_view left, std::string_view right)
{
    std::vector<unsigned> a = version_components(left);
    std::vector<unsigned> b = version_components(right);
    std::size_t count = std::max(a.size(), b.size());
    a.resize(count);
    b.resize(count);
    return a < b ? -1 : a > b ? 1 : 0;
}

std::uint32_t channel_layout_version(std::string_view firmware)
{
    if (compare_firmware_versions(firmware, "1.5.0") >= 0)
        return 3;
    if (compare_firmware_versions(firmware, "1.3.1") >= 0)
        return 2;
    return 1;
}

std::uint32_t input_device_layout_version(std::string_view firmware)
{
    return compare_firmware_versions(firmware, "2.2.4") >= 0 ? 3 : 2;
}

std::size_t channel_file_size(std::uint32_t layout_version)
{
    return channel_layout(layout_version).size;
}

std::size_t input_device_file_size(std::uint32_t layout_version)
{
    return layout_version == 3 ? 9564 : 9436;
}

std::vector<std::uint8_t> make_channel_file(unsigned line, std::uint32_t layout_version)
{
    ChannelLayout layout = channel_layout(layout_version);
    std::vector<std::uint8_t> file(layout.size);
    write_u32_le(file, 16, line);
    for (unsigned device = 0; device < kDemoDevicesPerLine; ++device) {
        std::size_t record = kChannelRecords + device * layout.record_size;
        write_u32_le(file, record, 0x3); // present, short address valid
        file[record + 5] = 254; // maximum level
        file[record + 6] = 1; // minimum level
        file[record + 9] = 7; // fade time
        file[record + 11] = static_cast<std::uint8_t>(2 * device + 1);
        write_u16_le(file, record + 18, static_cast<std::uint16_t>(1u << (device % 2)));
        std::fill_n(file.begin() + static_cast<std::ptrdiff_t>(record + 20), 16, 0xFF);
        file[record + 36] = 0xFF;
        file[record + layout.type_byte] = 6; // LED module
        char name[40];
        std::snprintf(name, sizeof name, "Line %u luminaire %u", line, device + 1);
        put_name(file, record + layout.name, 33, name);
    }
    for (unsigned group = 0; group < 2; ++group) {
        std::size_t entry = layout.groups + group * kGroupEntrySize;
        char name[40];
        std::snprintf(name, sizeof name, "Line %u group %u", line, group);
        put_name(file, entry, 33, name);
        file[entry + 36] = 0xFF;
    }
    finish_config_file_header(file, layout_version, kFreshChangeCounter);
    return file;
}

std::vector<std::uint8_t> make_input_device_file(unsigned line, std::uint32_t layout_version)
{
    std::vector<std::uint8_t> file(input_device_file_size(layout_version));
    write_u32_le(file, 16, line);
    std::size_t block_size = layout_version == 3 ? 198 : 194;
    for (unsigned device = 0; device < kDemoInputDevicesPerLine; ++device) {
        std::size_t record = kInputRecords + device * kInputRecordSize;
        write_u32_le(file, record, 0x3);
        file[record + 8] = static_cast<std::uint8_t>(2 * device + 1);
        file[record + 16] = 1; // instance 0: push button
        file[record + 18] = 3; // instance 1: occupancy sensor
        char name[24];
        std::snprintf(name, sizeof name, "L%u input %u", line, device + 1);
        put_name(file, record + 80, 17, name);
        std::size_t block = kInputBlocks + device * block_size;
        if (layout_version == 3) {
            file[block + 1] = 1;
            file[block + 6] = 0x10;
            file[block + 12 + 1] = 0x20;
        } else {
            file[block] = 0x10;
            file[block + 4 + 1] = 0x20;
            file[block + 192] = 1;
        }
    }
    finish_config_file_header(file, layout_version, kFreshChangeCounter);
    return file;
}

std::vector<std::uint8_t> make_item_file(const ControllerItem& item, std::string_view firmware)
{
    if (item.kind >= kFirstChannelKind && item.kind < kFirstChannelKind + kLinesPerController)
        return make_channel_file(
            item.kind - kFirstChannelKind + 1, channel_layout_version(firmware));
    if (item.kind >= kFirstInputDeviceKind
        && item.kind < kFirstInputDeviceKind + kLinesPerController)
        return make_input_device_file(
            item.kind - kFirstInputDeviceKind + 1, input_device_layout_version(firmware));
    std::vector<std::uint8_t> file(kConfigFileHeaderSize + 48);
    put_name(file, kConfigFileHeaderSize, 48, std::string(item.item_name));
    finish_config_file_header(file, 1, kFreshChangeCounter);
    return file;
}

} // namespace kovru::sim

#include "cli/action/input_device_conversion.h"

#include "cli/action/config_file_header.h"
#include "cli/action/config_layouts.h"

#include <algorithm>

namespace kovru {
namespace {

namespace il = input_device_layout;

struct PackedPlace {
    std::size_t offset;
    std::size_t length;
};

// Where version 2 keeps instance i's data; length 0 for types without data.
PackedPlace packed_place(std::uint8_t type, std::size_t instance)
{
    switch (type) {
    case il::kInstancePushButton:
        return { il::kV2PushButtonDataLength * instance, il::kV2PushButtonDataLength };
    case il::kInstanceOccupancySensor:
        return { il::kV2OccupancyDataLength * instance, il::kV2OccupancyDataLength };
    case il::kInstanceLightSensor:
        return { il::kV2LightDataLength * instance, il::kV2LightDataLength };
    default:
        return { 0, 0 };
    }
}

std::uint8_t instance_type(
    std::span<const std::uint8_t> file, std::size_t device, std::size_t instance)
{
    // The low byte of the 16-bit entry.
    return file[il::record_offset(device) + il::kInstanceTableOffset + 2 * instance];
}

void convert_block(
    std::span<const std::uint8_t> in, std::span<std::uint8_t> out, std::size_t device)
{
    auto from = in.subspan(il::block_offset(il::v2, device), il::v2.block_size);
    auto to = out.subspan(il::block_offset(il::v3, device), il::v3.block_size);
    bool has_push_button = false;
    for (std::size_t instance = 0; instance < il::kInstanceCount; ++instance) {
        const std::uint8_t type = instance_type(in, device, instance);
        const PackedPlace place = packed_place(type, instance);
        std::copy_n(from.begin() + place.offset, place.length,
            to.begin() + il::kV3PrefixLength + il::kV3SlotLength * instance);
        has_push_button = has_push_button || type == il::kInstancePushButton;
    }
    if (has_push_button)
        to[il::kV3PushButtonValueOffset] = from[il::kV2PushButtonValueOffset];
}

} // namespace

std::vector<std::uint8_t> convert_input_device_v2_to_v3(std::span<const std::uint8_t> v2)
{
    if (v2.size() != il::v2.file_size)
        return {};
    std::vector<std::uint8_t> out(il::v3.file_size, 0);
    std::copy_n(v2.begin(), il::kLineDataLength, out.begin());
    for (std::size_t device = 0; device < il::kRecordCount; ++device) {
        const std::size_t record = il::record_offset(device);
        std::copy_n(v2.begin() + record, il::kCarriedRecordLength, out.begin() + record);
        convert_block(v2, out, device);
    }
    const std::uint32_t counter = read_config_file_header(v2)->change_counter;
    finish_config_file_header(out, il::v3.version, counter + 1);
    return out;
}

} // namespace kovru

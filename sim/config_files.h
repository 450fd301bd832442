// The configuration files a controller of a given firmware version holds: channel files
// ("dali1".."dali4") and input-device files ("cd1".."cd4") in the layout that version uses,
// and small files for every other item, all with a valid header and CRC.
#pragma once

#include "sim/controller_items.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace kovru::sim {

// Numeric, component by component: "1.10.0" is newer than "1.5.0".
int compare_firmware_versions(std::string_view left, std::string_view right);

// Channel-file layout of a firmware version: 1 (up to 1.3.0), 2 (from 1.3.1), 3 (from 1.5.0).
std::uint32_t channel_layout_version(std::string_view firmware);
// Input-device-file layout: 2 (before 2.2.4), 3 (from 2.2.4).
std::uint32_t input_device_layout_version(std::string_view firmware);

std::size_t channel_file_size(std::uint32_t layout_version);
std::size_t input_device_file_size(std::uint32_t layout_version);

std::vector<std::uint8_t> make_channel_file(unsigned line, std::uint32_t layout_version);
std::vector<std::uint8_t> make_input_device_file(unsigned line, std::uint32_t layout_version);

// The file a fresh controller with this firmware holds for the item.
std::vector<std::uint8_t> make_item_file(const ControllerItem& item, std::string_view firmware);

} // namespace kovru::sim

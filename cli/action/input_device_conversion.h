// Conversion of input-device files from version 2 to version 3. Each block's instance data
// are placed by its own device's instance table.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace kovru {

// Empty when the file is not of the version-2 size.
std::vector<std::uint8_t> convert_input_device_v2_to_v3(std::span<const std::uint8_t> v2);

} // namespace kovru

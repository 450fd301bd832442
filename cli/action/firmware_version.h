// Which configuration layout a controller's firmware expects.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kovru {

// Numeric, component by component ("1.10.0" is newer than "1.5.0"); missing components
// count as 0. Absent when the text does not start with a digit.
std::optional<int> compare_firmware_versions(std::string_view left, std::string_view right);

// The channel-file version a firmware expects: 0 before "1.0.0"... 3 from "1.5.0".
// 0 and 1 both mean the version-1 layout. Absent for an unreadable version text.
std::optional<std::uint32_t> channel_target_version(std::string_view firmware);
// The input-device-file version: 0, 2 from "1.3.1", 3 from "2.2.4".
std::optional<std::uint32_t> input_device_target_version(std::string_view firmware);

} // namespace kovru

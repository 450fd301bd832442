// Conversions of channel files to the layout a newer firmware expects. Each takes a file
// of exactly the source layout's size and returns the converted file, its header finished
// (size, version, change counter + 1, CRC); empty when the size does not match.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace kovru {

std::vector<std::uint8_t> convert_channel_v1_to_v2(std::span<const std::uint8_t> v1);
std::vector<std::uint8_t> convert_channel_v1_to_v3(std::span<const std::uint8_t> v1);
std::vector<std::uint8_t> convert_channel_v2_to_v3(std::span<const std::uint8_t> v2);

} // namespace kovru

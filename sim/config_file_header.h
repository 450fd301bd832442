// The 16-byte header the controller keeps at the start of each configuration file
// (little-endian): file size, CRC-16/MCRF4XX with bytes 4..7 taken as zero, layout version
// and change counter. Written here independently of the tool, which checks it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kovru::sim {

inline constexpr std::size_t kConfigFileHeaderSize = 16;

void write_u32_le(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value);
void write_u16_le(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value);

// Fills the header of a file at least kConfigFileHeaderSize long.
void finish_config_file_header(
    std::span<std::uint8_t> file, std::uint32_t layout_version, std::uint32_t change_counter);

} // namespace kovru::sim

// The 16-byte header at the start of every converted configuration file (little-endian):
// file size, CRC-16/MCRF4XX over the whole file taken while bytes 4..7 are zero,
// configuration version and change counter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace kovru {

inline constexpr std::size_t kConfigFileHeaderSize = 16;

struct ConfigFileHeader {
    std::uint32_t file_size = 0;
    std::uint16_t crc = 0;
    std::uint32_t version = 0;
    std::uint32_t change_counter = 0;
};

// Polynomial 0x1021 taken least-significant bit first, initial value 0xFFFF, no final XOR.
std::uint16_t crc16_mcrf4xx(std::span<const std::uint8_t> bytes, std::uint16_t crc = 0xFFFF);

std::uint32_t read_u32_le(std::span<const std::uint8_t> bytes, std::size_t offset);
std::uint16_t read_u16_le(std::span<const std::uint8_t> bytes, std::size_t offset);
void write_u32_le(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value);
void write_u16_le(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value);

// Absent when the file is shorter than a header.
std::optional<ConfigFileHeader> read_config_file_header(std::span<const std::uint8_t> file);

// Writes size (the file's length), version and counter, then the CRC over the whole file.
// The file must be at least a header long.
void finish_config_file_header(
    std::span<std::uint8_t> file, std::uint32_t version, std::uint32_t change_counter);

// True when the file holds a header whose size and CRC match its bytes.
bool config_file_header_valid(std::span<const std::uint8_t> file);

} // namespace kovru

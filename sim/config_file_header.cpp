#include "sim/config_file_header.h"

#include <array>

namespace kovru::sim {
namespace {

// Reflected CRC-16 with polynomial 0x1021 (0x8408 reflected), one table step per byte.
constexpr std::array<std::uint16_t, 256> make_crc_table()
{
    std::array<std::uint16_t, 256> table {};
    for (unsigned index = 0; index < table.size(); ++index) {
        unsigned value = index;
        for (int bit = 0; bit < 8; ++bit)
            value = (value >> 1) ^ ((value & 1u) ? 0x8408u : 0u);
        table[index] = static_cast<std::uint16_t>(value);
    }
    return table;
}

constexpr auto kCrcTable = make_crc_table();

std::uint16_t crc16_mcrf4xx(std::span<const std::uint8_t> bytes)
{
    unsigned crc = 0xFFFF;
    for (std::uint8_t byte : bytes)
        crc = (crc >> 8) ^ kCrcTable[(crc ^ byte) & 0xFFu];
    return static_cast<std::uint16_t>(crc);
}

} // namespace

void write_u32_le(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value)
{
    bytes[offset] = static_cast<std::uint8_t>(value & 0xFF);
    bytes[offset + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    bytes[offset + 2] = static_cast<std::uint8_t>((value >> 16) & 0xFF);
    bytes[offset + 3] = static_cast<std::uint8_t>((value >> 24) & 0xFF);
}

void write_u16_le(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value)
{
    bytes[offset] = static_cast<std::uint8_t>(value & 0xFF);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void finish_config_file_header(
    std::span<std::uint8_t> file, std::uint32_t layout_version, std::uint32_t change_counter)
{
    write_u32_le(file, 0, static_cast<std::uint32_t>(file.size()));
    write_u32_le(file, 4, 0);
    write_u32_le(file, 8, layout_version);
    write_u32_le(file, 12, change_counter);
    write_u32_le(file, 4, crc16_mcrf4xx(file));
}

} // namespace kovru::sim

#include "cli/action/config_file_header.h"

namespace kovru {
namespace {

constexpr std::size_t kSizeOffset = 0;
constexpr std::size_t kCrcOffset = 4;
constexpr std::size_t kCrcFieldLength = 4; // the CRC and two zero bytes
constexpr std::size_t kVersionOffset = 8;
constexpr std::size_t kCounterOffset = 12;

// CRC of a file as if its bytes 4..7 were zero.
std::uint16_t file_crc(std::span<const std::uint8_t> file)
{
    constexpr std::uint8_t zeros[kCrcFieldLength] = {};
    std::uint16_t crc = crc16_mcrf4xx(file.first(kCrcOffset));
    crc = crc16_mcrf4xx(zeros, crc);
    return crc16_mcrf4xx(file.subspan(kCrcOffset + kCrcFieldLength), crc);
}

} // namespace

std::uint16_t crc16_mcrf4xx(std::span<const std::uint8_t> bytes, std::uint16_t crc)
{
    for (std::uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408)
                            : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

std::uint32_t read_u32_le(std::span<const std::uint8_t> bytes, std::size_t offset)
{
    return static_cast<std::uint32_t>(bytes[offset])
        | static_cast<std::uint32_t>(bytes[offset + 1]) << 8
        | static_cast<std::uint32_t>(bytes[offset + 2]) << 16
        | static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

std::uint16_t read_u16_le(std::span<const std::uint8_t> bytes, std::size_t offset)
{
    return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

void write_u32_le(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void write_u16_le(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value)
{
    bytes[offset] = static_cast<std::uint8_t>(value);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

std::optional<ConfigFileHeader> read_config_file_header(std::span<const std::uint8_t> file)
{
    if (file.size() < kConfigFileHeaderSize)
        return std::nullopt;
    ConfigFileHeader header;
    header.file_size = read_u32_le(file, kSizeOffset);
    header.crc = read_u16_le(file, kCrcOffset);
    header.version = read_u32_le(file, kVersionOffset);
    header.change_counter = read_u32_le(file, kCounterOffset);
    return header;
}

void finish_config_file_header(
    std::span<std::uint8_t> file, std::uint32_t version, std::uint32_t change_counter)
{
    write_u32_le(file, kSizeOffset, static_cast<std::uint32_t>(file.size()));
    write_u32_le(file, kCrcOffset, 0);
    write_u32_le(file, kVersionOffset, version);
    write_u32_le(file, kCounterOffset, change_counter);
    write_u16_le(file, kCrcOffset, crc16_mcrf4xx(file));
}

bool config_file_header_valid(std::span<const std::uint8_t> file)
{
    auto header = read_config_file_header(file);
    return header && header->file_size == file.size() && read_u16_le(file, kCrcOffset + 2) == 0
        && header->crc == file_crc(file);
}

} // namespace kovru

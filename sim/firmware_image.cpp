#include "sim/firmware_image.h"

#include "sim/config_file_header.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <functional>

namespace kovru::sim {
namespace {

// Info block fields: model, description, version string, version number, date, time, lines.
constexpr std::size_t kInfoModel = 12;
constexpr std::size_t kInfoDescription = 45;
constexpr std::size_t kInfoVersion = 78;
constexpr std::size_t kInfoVersionNumber = 112;
constexpr std::size_t kInfoDate = 116;
constexpr std::size_t kInfoTime = 149;
constexpr std::size_t kInfoLineCount = 182;
constexpr std::size_t kTextFieldSize = 33;

void fill_pseudo_random(std::span<std::uint8_t> bytes, std::string_view seed_text)
{
    std::uint64_t state = std::hash<std::string_view> {}(seed_text) | 1;
    for (std::uint8_t& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
}

void put_text(std::span<std::uint8_t> block, std::size_t offset, std::size_t field_size,
    std::string_view text)
{
    std::fill_n(block.begin() + static_cast<std::ptrdiff_t>(offset), field_size, 0);
    std::size_t length = std::min(text.size(), field_size - 1);
    std::memcpy(block.data() + offset, text.data(), length);
}

std::string get_text(
    std::span<const std::uint8_t> block, std::size_t offset, std::size_t field_size)
{
    auto begin = block.begin() + static_cast<std::ptrdiff_t>(offset);
    auto end = std::find(begin, begin + static_cast<std::ptrdiff_t>(field_size), 0);
    return std::string(begin, end);
}

bool is_model_name(std::string_view model)
{
    return model == "VELDIR-1" || model == "VELDIR-2" || model == "VELDIR-3" || model == "VELDIR-4";
}

} // namespace

std::uint32_t firmware_version_number(std::string_view version)
{
    std::uint32_t number = 0;
    std::uint32_t component = 0;
    int components = 0;
    for (char c : version) {
        if (c >= '0' && c <= '9') {
            component = component * 10 + static_cast<std::uint32_t>(c - '0');
        } else if (c == '.') {
            number = (number << 8) | (component & 0xFF);
            component = 0;
            ++components;
        }
    }
    number = (number << 8) | (component & 0xFF);
    for (++components; components < 3; ++components)
        number <<= 8;
    return number;
}

std::vector<std::uint8_t> make_flash_raw(std::size_t size, const std::string& model,
    const std::string& version, std::string_view seed_text)
{
    std::vector<std::uint8_t> image(size);
    fill_pseudo_random(image, seed_text);
    if (size < kFirmwareInfoOffset + kFirmwareInfoSize)
        return image;
    std::span<std::uint8_t> block(image.data() + kFirmwareInfoOffset, kFirmwareInfoSize);
    std::fill(block.begin(), block.end(), 0);
    put_text(block, kInfoModel, kTextFieldSize, model);
    put_text(block, kInfoDescription, kTextFieldSize, "Lighting gateway, 4 DALI lines");
    put_text(block, kInfoVersion, kTextFieldSize + 1, version);
    write_u32_le(block, kInfoVersionNumber, firmware_version_number(version));
    put_text(block, kInfoDate, kTextFieldSize, "2026-11-02");
    put_text(block, kInfoTime, kTextFieldSize, "08:30:00");
    block[kInfoLineCount] = 4;
    return image;
}

std::vector<std::uint8_t> make_flash_fs(std::size_t size, std::string_view seed_text)
{
    std::vector<std::uint8_t> image(size);
    fill_pseudo_random(image, seed_text);
    return image;
}

std::optional<FirmwareInfo> read_firmware_info(std::span<const std::uint8_t> image)
{
    if (image.size() < kFirmwareInfoOffset + kFirmwareInfoSize)
        return std::nullopt;
    auto block = image.subspan(kFirmwareInfoOffset, kFirmwareInfoSize);
    FirmwareInfo info;
    info.model = get_text(block, kInfoModel, kTextFieldSize);
    info.version = get_text(block, kInfoVersion, kTextFieldSize + 1);
    if (!is_model_name(info.model) || info.version.empty())
        return std::nullopt;
    return info;
}

} // namespace kovru::sim

// The controller's raw flash image ("flashraw.bin", with the firmware information block the
// upgrade reads model and version from) and its flash file-system image ("flashfs.bin").
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kovru::sim {

inline constexpr std::size_t kFirmwareInfoOffset = 0x1C0000;
inline constexpr std::size_t kFirmwareInfoSize = 184;

struct FirmwareInfo {
    std::string model;
    std::string version;
};

// A raw image of `size` bytes; the information block is present when the image is large
// enough to hold it. The filler is derived from `seed_text`.
std::vector<std::uint8_t> make_flash_raw(std::size_t size, const std::string& model,
    const std::string& version, std::string_view seed_text);

std::vector<std::uint8_t> make_flash_fs(std::size_t size, std::string_view seed_text);

// The model and version of an image, when it holds an information block with a known model.
std::optional<FirmwareInfo> read_firmware_info(std::span<const std::uint8_t> image);

// "1.5.0" -> 0x010500; components above 255 are cut to 8 bits.
std::uint32_t firmware_version_number(std::string_view version);

} // namespace kovru::sim

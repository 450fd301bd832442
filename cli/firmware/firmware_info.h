// The firmware information block every controller image carries at 0x1C0000.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace kovru {

inline constexpr std::size_t kFirmwareInfoOffset = 0x1C0000;
inline constexpr std::size_t kFirmwareInfoSize = 184;
inline constexpr std::size_t kFirmwareImageMinSize = kFirmwareInfoOffset + kFirmwareInfoSize;

struct FirmwareInfo {
    std::string model_name;
    std::string model_description;
    std::string version_string;
    std::uint32_t version_number = 0;
    std::string version_date;
    std::string version_time;
    unsigned dali_channel_count = 0;
};

enum FirmwareInfoResult { info_valid = 0, info_bad_size = 1, info_bad_model = -1 };

// Checks the image size (1,835,192 to 16,777,214 bytes) and the model name ("VELDIR-1" to
// "VELDIR-4" followed by a NUL) and reads the block into info.
int read_firmware_info(std::span<const std::uint8_t> image, FirmwareInfo& info);

// Printable ASCII kept, every other byte shown as "?": image and controller texts reach a
// terminal and the window.
std::string printable_text(std::string text);

// The "== Firmware Info ==" block of log lines. Bytes other than printable ASCII show as "?".
void log_firmware_info(const FirmwareInfo& info);

} // namespace kovru

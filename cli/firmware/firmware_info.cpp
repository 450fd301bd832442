#include "cli/firmware/firmware_info.h"

#include "cli/firmware/firmware_file.h"
#include "cli/log/log.h"

#include <algorithm>

namespace kovru {
namespace {

struct TextField {
    std::size_t offset;
    std::size_t size;
};

constexpr TextField kModelNameField { 12, 33 };
constexpr TextField kModelDescriptionField { 45, 33 };
constexpr TextField kVersionStringField { 78, 34 };
constexpr std::size_t kVersionNumberOffset = 112;
constexpr TextField kVersionDateField { 116, 33 };
constexpr TextField kVersionTimeField { 149, 33 };
constexpr std::size_t kDaliChannelCountOffset = 182;

// The text up to its NUL, or the whole field when it has none.
std::string text_of(std::span<const std::uint8_t> block, TextField field)
{
    auto begin = block.begin() + static_cast<std::ptrdiff_t>(field.offset);
    auto end = std::find(begin, begin + static_cast<std::ptrdiff_t>(field.size), 0);
    return std::string(begin, end);
}

std::uint32_t u32_le(std::span<const std::uint8_t> block, std::size_t offset)
{
    return static_cast<std::uint32_t>(block[offset])
        | static_cast<std::uint32_t>(block[offset + 1]) << 8
        | static_cast<std::uint32_t>(block[offset + 2]) << 16
        | static_cast<std::uint32_t>(block[offset + 3]) << 24;
}

bool is_known_model(const std::string& name)
{
    return name == "VELDIR-1" || name == "VELDIR-2" || name == "VELDIR-3" || name == "VELDIR-4";
}

} // namespace

std::string printable_text(std::string text)
{
    for (char& c : text)
        if (c < 0x20 || c > 0x7E)
            c = '?';
    return text;
}

int read_firmware_info(std::span<const std::uint8_t> image, FirmwareInfo& info)
{
    if (image.size() < kFirmwareImageMinSize || image.size() > kFirmwareImageMaxSize)
        return info_bad_size;
    auto block = image.subspan(kFirmwareInfoOffset, kFirmwareInfoSize);
    info.model_name = text_of(block, kModelNameField);
    if (!is_known_model(info.model_name))
        return info_bad_model;
    info.model_description = text_of(block, kModelDescriptionField);
    info.version_string = text_of(block, kVersionStringField);
    info.version_number = u32_le(block, kVersionNumberOffset);
    info.version_date = text_of(block, kVersionDateField);
    info.version_time = text_of(block, kVersionTimeField);
    info.dali_channel_count = block[kDaliChannelCountOffset];
    return info_valid;
}

void log_firmware_info(const FirmwareInfo& info)
{
    log_plain("== Firmware Info ==");
    log_plain("model_name=%s", info.model_name.c_str());
    log_plain("model_description=%s", printable_text(info.model_description).c_str());
    log_plain("version_string=%s", printable_text(info.version_string).c_str());
    log_plain("version_number=%u", info.version_number);
    log_plain("version_date=%s", printable_text(info.version_date).c_str());
    log_plain("version_time=%s", printable_text(info.version_time).c_str());
    log_plain("dali_number_of_channel=%u", info.dali_channel_count);
    log_plain("== ==");
}

} // namespace kovru

#include "cli/import/channel_files.h"

#include "cli/action/config_file_header.h"
#include "cli/log/log.h"

#include <cstdio>

namespace kovru {
namespace {

constexpr const char* tag = "backup";
constexpr std::size_t crc_offset = 4;
constexpr std::size_t version_offset = 8;

void finish_header(std::span<std::uint8_t> file, std::uint32_t version)
{
    write_u32_le(file, crc_offset, 0);
    write_u32_le(file, version_offset, version);
    write_u16_le(file, crc_offset, crc16_mcrf4xx(file));
}

} // namespace

std::string channel_file_path(unsigned line)
{
    return "/etc/config/dali/dali" + std::to_string(line) + ".bin";
}

std::string input_device_file_path(unsigned line)
{
    return "/etc/config/dali/cd" + std::to_string(line) + ".bin";
}

void finish_channel_file(std::span<std::uint8_t> file, const ChannelLayout& layout)
{
    finish_header(file.first(layout.file_size), layout.version);
}

void finish_input_device_file(std::span<std::uint8_t> file)
{
    finish_header(file.first(input_device_layout::v3.file_size), input_device_layout::v3.version);
}

int add_config_file(
    TarImageWriter& image, const std::string& path, std::span<const std::uint8_t> file)
{
    TarHeader header;
    header.name = path;
    header.mode = kTarDefaultMode;
    header.size = file.size();
    if (image.write_header(header) != tar_success) {
        print_out("%s\terror writing file '%s' header.\r\n", tag, path.c_str());
        log_error("Error writing file '%s' header.", path.c_str());
        return 1;
    }
    if (image.write_data(file) != tar_success) {
        print_out("%s\terror writing file '%s' data.\r\n", tag, path.c_str());
        log_error("Error writing file '%s' data.", path.c_str());
        return 1;
    }
    return 0;
}

} // namespace kovru

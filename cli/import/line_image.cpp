#include "cli/import/line_image.h"
#include "cli/log/log.h"

#include "cli/backup/tar_image.h"
#include "cli/import/channel_files.h"

#include <cstdio>

namespace kovru {
namespace {

constexpr const char* tag = "backup";

void print_listing(std::span<const std::uint8_t> image)
{
    print_out("%s\tbackup file contains: \r\n", tag);
    TarImageReader reader(image);
    int result = reader.open();
    for (; result == tar_success; result = reader.next())
        print_out("\t%s (%d bytes)\r\n", reader.header().name.c_str(),
            static_cast<int>(reader.header().size));
    if (result != tar_null_record)
        print_out("\tfile error %d.\r\n", result);
}

} // namespace

std::optional<std::vector<std::uint8_t>> build_line_image(unsigned line, const LineImport& import)
{
    TarImageWriter image;
    if (import.channel_file
        && add_config_file(image, channel_file_path(line), *import.channel_file))
        return std::nullopt;
    if (import.input_file
        && add_config_file(image, input_device_file_path(line), *import.input_file))
        return std::nullopt;
    if (image.finish() != tar_success)
        return std::nullopt;
    print_listing(image.bytes());
    return image.take();
}

} // namespace kovru

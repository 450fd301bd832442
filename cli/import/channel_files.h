// The channel file and the input-device file an import writes, each added to the tar image
// that carries a line's files to the controller.
#pragma once

#include "cli/action/config_layouts.h"
#include "cli/backup/tar_image.h"

#include <cstdint>
#include <span>
#include <string>

namespace kovru {

std::string channel_file_path(unsigned line);
std::string input_device_file_path(unsigned line);

// Bytes 4..7 zero, the layout's version, the CRC over the layout's size at 4..5; the size and
// change-counter fields keep what the file holds. file must be at least the layout's size.
void finish_channel_file(std::span<std::uint8_t> file, const ChannelLayout& layout);
// The same for a version-3 input-device file.
void finish_input_device_file(std::span<std::uint8_t> file);

// Adds the file (mode 0664, owner 0, time 0) to the image. 0, or 1 after the messages.
int add_config_file(
    TarImageWriter& image, const std::string& path, std::span<const std::uint8_t> file);

} // namespace kovru

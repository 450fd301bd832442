// The way back from a controller's files to CSV: channel, group and input files in the form
// the import reads, so that importing them again writes the same bytes.
#pragma once

#include "cli/action/config_layouts.h"

#include <cstdint>
#include <span>
#include <string>

namespace kovru {

// The layout a channel file declares in its header, when its size matches; else nullptr.
const ChannelLayout* channel_layout_of_file(std::span<const std::uint8_t> file);

// A row for every device record in use (flag bit 1 or 3 set). A short address the import
// could not write back as it is comes out as 254, which the import leaves unchanged.
std::string export_channel_csv(
    std::span<const std::uint8_t> file, const ChannelLayout& layout, unsigned line);
// A row for every group entry the import could have written (byte 36 is 0xFF).
std::string export_group_csv(
    std::span<const std::uint8_t> file, const ChannelLayout& layout, unsigned line);
// A row for every input-device record in use (flag bit 1 set) of a version-3 file.
std::string export_input_csv(std::span<const std::uint8_t> file);

} // namespace kovru

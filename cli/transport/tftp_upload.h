// Uploads of an in-memory image to a controller over TFTP.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace kovru {

// TFTP PUT of the image as "flashraw.bin" to tftp://address/. The image is not changed.
int upload_image(
    const std::string& address, std::span<const std::uint8_t> image, bool report_progress);

} // namespace kovru

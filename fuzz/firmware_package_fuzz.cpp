// Any bytes as a firmware package given to push_firmware: checked from memory as the push
// checks it, then the image's information block read. A valid package has both digests and
// an image no larger than the limit. The input's first 184 bytes are also read as the
// information block of an otherwise empty image of the smallest size.
#include "cli/firmware/firmware_file.h"
#include "cli/firmware/firmware_info.h"
#include "cli/firmware/firmware_package.h"
#include "fuzz/program_output.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kovru::fuzz::discard_program_output();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    kovru::FirmwarePackage package;
    kovru::FirmwareInfo info;
    if (kovru::check_package_bytes(bytes, package) == kovru::package_valid) {
        if (!package.image_digest || package.image.size() > kovru::kFirmwareImageMaxSize)
            std::abort();
        if (kovru::read_firmware_info(package.image, info) == kovru::info_valid)
            kovru::log_firmware_info(info);
    } else if (!package.image.empty()) {
        std::abort();
    }

    static std::vector<std::uint8_t> image(kovru::kFirmwareImageMinSize);
    const std::size_t block = std::min(size, kovru::kFirmwareInfoSize);
    std::fill_n(image.begin() + kovru::kFirmwareInfoOffset, kovru::kFirmwareInfoSize, 0);
    std::copy_n(data, block, image.begin() + kovru::kFirmwareInfoOffset);
    if (kovru::read_firmware_info(image, info) == kovru::info_valid)
        kovru::log_firmware_info(info);
    return 0;
}

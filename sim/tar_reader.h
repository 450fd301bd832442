// Reads the tar image a restore uploads: each file's name and data, checked against the
// image's bounds and the header checksums.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kovru::sim {

struct TarFile {
    std::string name;
    std::span<const std::uint8_t> data; // inside the image
};

struct TarListing {
    std::vector<TarFile> files;
    std::string error; // empty when the image read to its end marker
};

TarListing read_tar_files(std::span<const std::uint8_t> image);

} // namespace kovru::sim

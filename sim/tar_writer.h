// The tar image the controller answers each item fetch with: POSIX ustar headers, data
// padded to 512-byte records, two zero records at the end.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace kovru::sim {

class TarWriter {
public:
    // False (and nothing written) when the name does not fit the header's name field.
    bool add_file(std::string_view name, std::span<const std::uint8_t> data, std::uint64_t mtime);
    // The finished image; the writer is empty afterwards.
    std::vector<std::uint8_t> finish();

private:
    std::vector<std::uint8_t> image_;
};

} // namespace kovru::sim

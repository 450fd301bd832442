// Firmware files on disk: their kind, told by the extension, and reading them whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kovru {

// The largest controller image and DALI device firmware file (0xFFFFFE bytes).
inline constexpr std::size_t kFirmwareImageMaxSize = 16'777'214;
// A package holds one image and a digest; stored or compressed with AES overhead it stays
// well below this.
inline constexpr std::size_t kFirmwarePackageMaxSize = 2 * kFirmwareImageMaxSize;

// The text after the last "." anywhere in the path; empty when there is no "." or the only
// one is the first character. Compared exactly: "BIN" is not "bin".
std::string_view file_extension(std::string_view path);

// The whole file when it is a regular file of at most max_size bytes. Otherwise, or when it
// cannot be read, nothing, after a line on standard output that says why ("File is too large
// (more than N bytes).", "File cannot be opened (not a regular file)."). A FIFO is refused,
// never waited on. May throw std::bad_alloc.
std::optional<std::vector<std::uint8_t>> read_firmware_file(
    const std::string& path, std::size_t max_size);

} // namespace kovru

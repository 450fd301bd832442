// The tar image that carries one line's imported files to the controller.
#pragma once

#include "cli/import/line_import.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace kovru {

// The channel file and the input-device file that are ready, then the end records; the
// image's listing goes to standard output. Absent after a write error (logged).
std::optional<std::vector<std::uint8_t>> build_line_image(unsigned line, const LineImport& import);

} // namespace kovru

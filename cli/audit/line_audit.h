// The audit of one DALI line from its channel file and input-device file: the control gear
// and their short addresses, groups, input devices and their instance types, and the
// findings (short addresses used twice, gear flagged present without a name, empty groups,
// records the layout marks invalid). Everything is logged; docs/line_audit.md lists the lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace kovru {

// Absent files are not on the controller or in the backup. Returns the number of findings.
std::size_t audit_line(unsigned line, std::optional<std::span<const std::uint8_t>> channel_file,
    std::optional<std::span<const std::uint8_t>> input_file);

} // namespace kovru

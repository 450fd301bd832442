// What an import would change, field by field, for a run that pushes nothing (--dryrun).
#pragma once

#include "cli/action/config_layouts.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kovru {

// How a record's heading names its change: a dry run "would change", a comparison of two
// configurations says "changed".
inline constexpr std::string_view kWouldChange = "would change";
inline constexpr std::string_view kChanged = "changed";

// Logs each device record, group entry and line value of the channel file whose bytes differ,
// with the old and new value of every changed field. Returns the number of changed records.
std::size_t report_channel_changes(unsigned line, const ChannelLayout& layout,
    std::span<const std::uint8_t> before, std::span<const std::uint8_t> after,
    std::string_view change = kWouldChange);

// The same for a version-3 input-device file; before may be empty (no file yet).
std::size_t report_input_changes(unsigned line, std::span<const std::uint8_t> before,
    std::span<const std::uint8_t> after, std::string_view change = kWouldChange);

// The configuration-file header fields that do not change by themselves (size, version and
// bytes 6..7; the CRC and the change counter are left out) under the heading "Line N header".
// 1 when any differs, else 0. Both files must be at least a header long.
std::size_t report_header_changes(unsigned line, std::span<const std::uint8_t> before,
    std::span<const std::uint8_t> after, std::string_view change = kWouldChange);

} // namespace kovru

// What an import would change, field by field, for a run that pushes nothing (--dryrun).
#pragma once

#include "cli/action/config_layouts.h"

#include <cstdint>
#include <span>

namespace kovru {

// Logs each device record, group entry and line value of the channel file whose bytes differ,
// with the old and new value of every changed field. Returns the number of changed records.
std::size_t report_channel_changes(unsigned line, const ChannelLayout& layout,
    std::span<const std::uint8_t> before, std::span<const std::uint8_t> after);

// The same for a version-3 input-device file; before may be empty (no file yet).
std::size_t report_input_changes(
    unsigned line, std::span<const std::uint8_t> before, std::span<const std::uint8_t> after);

} // namespace kovru

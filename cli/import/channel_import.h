// Channel and group CSV rows applied to a channel file ("/etc/config/dali/daliN.bin") of the
// controller's layout.
#pragma once

#include "cli/action/config_layouts.h"
#include "cli/import/csv_reader.h"
#include "cli/import/csv_rows.h"

#include <cstdint>
#include <span>
#include <string>

namespace kovru {

// The layout of a channel-file target version: 0 and 1 give version 1.
const ChannelLayout& channel_layout_for_target(std::uint32_t target_version);

inline constexpr std::uint32_t channel_flag_short_address = 1u << 0;
inline constexpr std::uint32_t channel_flag_configured = 1u << 1;
inline constexpr std::uint32_t channel_flag_disabled = 1u << 3;

// Row fields: 0 line value, 1 device index (0..63), 2 short address (JSON), 3 name,
// 4 groups (JSON list), 5..10 bytes, 11 sixteen values (JSON list). The file must be at least
// the layout's size. False when the index is out of range.
bool apply_channel_row(
    std::span<std::uint8_t> file, const ChannelLayout& layout, const CsvRow& row);

// Row fields: 0 not used, 1 group index (0..15), 2 name.
bool apply_group_row(std::span<std::uint8_t> file, const ChannelLayout& layout, const CsvRow& row);

CsvImportOutcome import_channel_csv(
    const std::string& path, std::span<std::uint8_t> file, const ChannelLayout& layout);
CsvImportOutcome import_group_csv(
    const std::string& path, std::span<std::uint8_t> file, const ChannelLayout& layout);

} // namespace kovru

// Brings a configuration file from a backup to the layout the controller's firmware expects.
#pragma once

#include "cli/backup/config_items.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kovru {

enum ConvertResult { convert_ok = 0, convert_missing_input = 1, convert_not_convertible = 2 };

struct ConvertedFile {
    int result = convert_not_convertible;
    // The bytes to push (a copy, changed or not) when result is convert_ok.
    std::vector<std::uint8_t> bytes;
};

// firmware_version is the controller's "firmware_version"; without it the channel and
// input-device files that need a target version are refused.
ConvertedFile convert_item(const ConfigItem& item,
    const std::optional<std::string>& firmware_version, std::span<const std::uint8_t> file);

} // namespace kovru

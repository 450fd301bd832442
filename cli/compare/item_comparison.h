// One configuration item in two configurations: what differs, logged. Channel and
// input-device files (with their group entries and headers) field by field, every other item
// by the size and SHA-256 digest of its configuration file. The CRC and the change counter of
// a configuration-file header change by themselves and are never a difference.
#pragma once

#include "cli/backup/config_items.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace kovru {

enum class ItemDifference { equal, added, removed, changed };

// Either image may be absent (the item is not in that configuration). change names the
// change in the headings of changed records ("changed", "would change").
ItemDifference compare_item(const ConfigItem& item,
    std::optional<std::span<const std::uint8_t>> old_image,
    std::optional<std::span<const std::uint8_t>> new_image, std::string_view change);

} // namespace kovru

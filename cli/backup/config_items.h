// The configuration items of a controller: what get_backup fetches, what a backup archive
// holds one tar image of, and what put_backup pushes back.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace kovru {

struct ConfigItem {
    // 0..611; the restore conversion chooses its rules by it.
    unsigned kind = 0;
    // The value of the "config" query of the item fetch.
    std::string item_name;
    // item_name + ".tar": the entry name inside a backup archive.
    std::string tar_entry_name;
    // The configuration file inside the item's tar image and on the controller.
    std::string device_path;
};

inline constexpr std::size_t kConfigItemCount = 612;

// Kinds of the item families.
inline constexpr unsigned kKindFirstChannel = 2; // "dali1".."dali4"
inline constexpr unsigned kKindFirstInputDevice = 6; // "cd1".."cd4"
inline constexpr unsigned kKindFirstDt1 = 36;
inline constexpr unsigned kKindFirstDt8 = 292;
inline constexpr unsigned kKindFirstViews = 548;

// Every item, indexed by kind.
const std::array<ConfigItem, kConfigItemCount>& config_items();

// The kinds in the order get_backup fetches them when no selection is given.
std::span<const unsigned, kConfigItemCount> default_fetch_order();

// Exact, case-sensitive lookups; nullptr when no item has that name.
const ConfigItem* find_config_item(std::string_view item_name);
const ConfigItem* find_config_item_by_tar_entry(std::string_view tar_entry_name);

} // namespace kovru

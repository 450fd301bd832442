// The configuration items a controller serves, from the shared item data file.
#pragma once

#include <span>
#include <string_view>

namespace kovru::sim {

struct ControllerItem {
    unsigned kind = 0;
    std::string_view item_name;
    std::string_view device_path;
};

// Channel files "dali1".."dali4" and input-device files "cd1".."cd4".
inline constexpr unsigned kFirstChannelKind = 2;
inline constexpr unsigned kFirstInputDeviceKind = 6;
inline constexpr unsigned kLinesPerController = 4;

// Every item, indexed by kind.
std::span<const ControllerItem> controller_items();

// Exact lookup by the name the item fetch asks for; nullptr when unknown.
const ControllerItem* find_controller_item(std::string_view item_name);

// The item whose configuration file has this device path; nullptr when none has.
const ControllerItem* find_controller_item_by_path(std::string_view device_path);

} // namespace kovru::sim

#include "sim/controller_items.h"

#include "config_data/config_item_rows.h"

#include <array>
#include <unordered_map>

namespace kovru::sim {
namespace {

constexpr auto kItems = [] {
    std::array<ControllerItem, config_data::kItemRows.size()> items {};
    for (unsigned kind = 0; kind < items.size(); ++kind)
        items[kind] = { kind, config_data::kItemRows[kind].item_name,
            config_data::kItemRows[kind].device_path };
    return items;
}();

} // namespace

std::span<const ControllerItem> controller_items()
{
    return kItems;
}

const ControllerItem* find_controller_item(std::string_view item_name)
{
    static const auto index = [] {
        std::unordered_map<std::string_view, const ControllerItem*> by_name;
        for (const ControllerItem& item : kItems)
            by_name.emplace(item.item_name, &item);
        return by_name;
    }();
    auto found = index.find(item_name);
    return found == index.end() ? nullptr : found->second;
}

const ControllerItem* find_controller_item_by_path(std::string_view device_path)
{
    static const auto index = [] {
        std::unordered_map<std::string_view, const ControllerItem*> by_path;
        for (const ControllerItem& item : kItems)
            by_path.emplace(item.device_path, &item);
        return by_path;
    }();
    auto found = index.find(device_path);
    return found == index.end() ? nullptr : found->second;
}

} // namespace kovru::sim

#include "cli/backup/config_items.h"

#include "config_data/config_item_rows.h"

#include <algorithm>
#include <unordered_map>

namespace kovru {
namespace {

// The default fetch order differs from the kind order only in its first 18 entries.
constexpr std::array<unsigned, 18> kLeadingFetchKinds
    = { 0, 1, 14, 15, 16, 17, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13 };

static_assert(config_data::kItemRows.size() == kConfigItemCount);

std::array<ConfigItem, kConfigItemCount> build_items()
{
    std::array<ConfigItem, kConfigItemCount> items;
    for (unsigned kind = 0; kind < kConfigItemCount; ++kind) {
        const config_data::ItemRow& row = config_data::kItemRows[kind];
        items[kind].kind = kind;
        items[kind].item_name = row.item_name;
        items[kind].tar_entry_name = std::string(row.item_name) + ".tar";
        items[kind].device_path = row.device_path;
    }
    return items;
}

std::array<unsigned, kConfigItemCount> build_fetch_order()
{
    std::array<unsigned, kConfigItemCount> order {};
    std::copy(kLeadingFetchKinds.begin(), kLeadingFetchKinds.end(), order.begin());
    for (unsigned kind = kLeadingFetchKinds.size(); kind < kConfigItemCount; ++kind)
        order[kind] = kind;
    return order;
}

template <typename Key> std::unordered_map<std::string_view, const ConfigItem*> build_index(Key key)
{
    std::unordered_map<std::string_view, const ConfigItem*> index;
    for (const ConfigItem& item : config_items())
        index.emplace(key(item), &item);
    return index;
}

} // namespace

const std::array<ConfigItem, kConfigItemCount>& config_items()
{
    static const std::array<ConfigItem, kConfigItemCount> items = build_items();
    return items;
}

std::span<const unsigned, kConfigItemCount> default_fetch_order()
{
    static const std::array<unsigned, kConfigItemCount> order = build_fetch_order();
    return order;
}

const ConfigItem* find_config_item(std::string_view item_name)
{
    static const auto index
        = build_index([](const ConfigItem& item) -> std::string_view { return item.item_name; });
    auto found = index.find(item_name);
    return found == index.end() ? nullptr : found->second;
}

const ConfigItem* find_config_item_by_tar_entry(std::string_view tar_entry_name)
{
    static const auto index = build_index(
        [](const ConfigItem& item) -> std::string_view { return item.tar_entry_name; });
    auto found = index.find(tar_entry_name);
    return found == index.end() ? nullptr : found->second;
}

} // namespace kovru

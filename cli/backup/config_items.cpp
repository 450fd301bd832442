#include "cli/backup/config_items.h"

#include <algorithm>
#include <unordered_map>

namespace kovru {
namespace {

struct NamedItem {
    std::string_view item_name;
    std::string_view device_path;
};

// Kinds 0..35, one row each.
constexpr std::array<NamedItem, kind_first_dt1> named_items = { {
    { "systemconfig", "/etc/config/system/systemconfig.bin" },
    { "bastimeout", "/etc/config/bastimeout/bastimeout.bin" },
    { "dali1", "/etc/config/dali/dali1.bin" },
    { "dali2", "/etc/config/dali/dali2.bin" },
    { "dali3", "/etc/config/dali/dali3.bin" },
    { "dali4", "/etc/config/dali/dali4.bin" },
    { "cd1", "/etc/config/dali/cd1.bin" },
    { "cd2", "/etc/config/dali/cd2.bin" },
    { "cd3", "/etc/config/dali/cd3.bin" },
    { "cd4", "/etc/config/dali/cd4.bin" },
    { "daincd1", "/etc/config/nvp/daincd1.bin" },
    { "daincd2", "/etc/config/nvp/daincd2.bin" },
    { "daincd3", "/etc/config/nvp/daincd3.bin" },
    { "daincd4", "/etc/config/nvp/daincd4.bin" },
    { "schedules", "/etc/config/schedule/schedule.bin" },
    { "schedulesastro", "/etc/config/schedule/scheduleastro.bin" },
    { "rlc", "/etc/config/rlc/rlc.bin" },
    { "commanders", "/etc/config/cmdr/cmdr.bin" },
    { "system_ui32", "/etc/config/nvp/system_ui32.bin" },
    { "dalv", "/etc/config/nvp/dalv.bin" },
    { "daeu", "/etc/config/nvp/daeu.bin" },
    { "daeutr", "/etc/config/nvp/daeutr.bin" },
    { "daeutc", "/etc/config/nvp/daeutc.bin" },
    { "dacdlcm", "/etc/config/nvp/dacdlcm.bin" },
    { "dacdlcr", "/etc/config/nvp/dacdlcr.bin" },
    { "rlcnamenvp", "/etc/config/nvp/rlcnamenvp.bin" },
    { "rlcext", "/etc/config/nvp/rlcext.bin" },
    { "rlcprofiles", "/etc/config/nvp/rlcprofiles.bin" },
    { "cmdrnamenvp", "/etc/config/nvp/cmdrnamenvp.bin" },
    { "remotelink", "/etc/config/nvp/remotelink.bin" },
    { "rlvbtn", "/etc/config/nvp/rlvbtn.bin" },
    { "grpctrl", "/etc/config/grpctrl/grpctrl.bin" },
    { "networkcontrol", "/etc/config/networkcontrol/networkcontrol.bin" },
    { "cr", "/etc/config/cr/cr.bin" },
    { "crmapnvp", "/etc/config/nvp/crmapnvp.bin" },
    { "bipacl", "/etc/config/nvp/bipacl.bin" },
} };

// The numbered families: a name prefix, its folder on the controller, and how many lines.
struct ItemFamily {
    unsigned first_kind;
    std::string_view prefix;
    std::string_view folder;
    unsigned lines; // 0: numbered 0..63 without a line
};

constexpr std::array<ItemFamily, 3> item_families = { {
    { kind_first_dt1, "dali_dt1_", "/etc/config/dali/", 4 },
    { kind_first_dt8, "dali_dt8_", "/etc/config/dali/", 4 },
    { kind_first_views, "views", "/etc/config/views/", 0 },
} };

constexpr unsigned devices_per_line = 64;

// The default fetch order differs from the kind order only in its first 18 entries.
constexpr std::array<unsigned, 18> leading_fetch_kinds
    = { 0, 1, 14, 15, 16, 17, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13 };

ConfigItem make_item(unsigned kind, std::string item_name, std::string_view folder)
{
    ConfigItem item;
    item.kind = kind;
    item.tar_entry_name = item_name + ".tar";
    item.device_path = std::string(folder) + item_name + ".bin";
    item.item_name = std::move(item_name);
    return item;
}

std::array<ConfigItem, config_item_count> build_items()
{
    std::array<ConfigItem, config_item_count> items;
    for (unsigned kind = 0; kind < named_items.size(); ++kind) {
        const NamedItem& named = named_items[kind];
        items[kind].kind = kind;
        items[kind].item_name = named.item_name;
        items[kind].tar_entry_name = std::string(named.item_name) + ".tar";
        items[kind].device_path = named.device_path;
    }
    for (const ItemFamily& family : item_families) {
        unsigned kind = family.first_kind;
        if (family.lines == 0) {
            for (unsigned n = 0; n < devices_per_line; ++n, ++kind)
                items[kind] = make_item(
                    kind, std::string(family.prefix) + std::to_string(n), family.folder);
            continue;
        }
        for (unsigned line = 1; line <= family.lines; ++line)
            for (unsigned n = 0; n < devices_per_line; ++n, ++kind)
                items[kind] = make_item(kind,
                    std::string(family.prefix) + std::to_string(line) + "_" + std::to_string(n),
                    family.folder);
    }
    return items;
}

std::array<unsigned, config_item_count> build_fetch_order()
{
    std::array<unsigned, config_item_count> order {};
    std::copy(leading_fetch_kinds.begin(), leading_fetch_kinds.end(), order.begin());
    for (unsigned kind = leading_fetch_kinds.size(); kind < config_item_count; ++kind)
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

const std::array<ConfigItem, config_item_count>& config_items()
{
    static const std::array<ConfigItem, config_item_count> items = build_items();
    return items;
}

std::span<const unsigned, config_item_count> default_fetch_order()
{
    static const std::array<unsigned, config_item_count> order = build_fetch_order();
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

#include "cli/backup/config_items.h"
#include "sim/controller_items.h"

#include <gtest/gtest.h>

#include <set>

namespace kovru {
namespace {

TEST(ConfigItems, TableFollowsTheFamilyRules)
{
    const auto& items = config_items();
    ASSERT_EQ(items.size(), 612u);
    std::set<std::string> names;
    std::set<std::string> paths;
    for (unsigned kind = 0; kind < items.size(); ++kind) {
        const ConfigItem& item = items[kind];
        EXPECT_EQ(item.kind, kind);
        EXPECT_EQ(item.tar_entry_name, item.item_name + ".tar");
        EXPECT_TRUE(item.device_path.starts_with("/etc/config/")) << item.device_path;
        EXPECT_TRUE(item.device_path.ends_with(".bin")) << item.device_path;
        names.insert(item.item_name);
        paths.insert(item.device_path);
    }
    EXPECT_EQ(names.size(), 612u);
    EXPECT_EQ(paths.size(), 612u);

    struct Expected {
        unsigned kind;
        const char* name;
        const char* path;
    };
    const Expected pinned[] = {
        { 0, "systemconfig", "/etc/config/system/systemconfig.bin" },
        { 1, "bastimeout", "/etc/config/bastimeout/bastimeout.bin" },
        { 2, "dali1", "/etc/config/dali/dali1.bin" },
        { 5, "dali4", "/etc/config/dali/dali4.bin" },
        { 6, "cd1", "/etc/config/dali/cd1.bin" },
        { 9, "cd4", "/etc/config/dali/cd4.bin" },
        { 10, "daincd1", "/etc/config/nvp/daincd1.bin" },
        { 13, "daincd4", "/etc/config/nvp/daincd4.bin" },
        { 14, "schedules", "/etc/config/schedule/schedule.bin" },
        { 15, "schedulesastro", "/etc/config/schedule/scheduleastro.bin" },
        { 17, "commanders", "/etc/config/cmdr/cmdr.bin" },
        { 18, "system_ui32", "/etc/config/nvp/system_ui32.bin" },
        { 35, "bipacl", "/etc/config/nvp/bipacl.bin" },
        { 36, "dali_dt1_1_0", "/etc/config/dali/dali_dt1_1_0.bin" },
        { 99, "dali_dt1_1_63", "/etc/config/dali/dali_dt1_1_63.bin" },
        { 100, "dali_dt1_2_0", "/etc/config/dali/dali_dt1_2_0.bin" },
        { 291, "dali_dt1_4_63", "/etc/config/dali/dali_dt1_4_63.bin" },
        { 292, "dali_dt8_1_0", "/etc/config/dali/dali_dt8_1_0.bin" },
        { 432, "dali_dt8_3_12", "/etc/config/dali/dali_dt8_3_12.bin" },
        { 547, "dali_dt8_4_63", "/etc/config/dali/dali_dt8_4_63.bin" },
        { 548, "views0", "/etc/config/views/views0.bin" },
        { 555, "views7", "/etc/config/views/views7.bin" },
        { 611, "views63", "/etc/config/views/views63.bin" },
    };
    for (const Expected& row : pinned) {
        EXPECT_EQ(items[row.kind].item_name, row.name);
        EXPECT_EQ(items[row.kind].device_path, row.path);
    }

    // The simulator builds its own table from the same data file.
    const auto served = sim::controller_items();
    ASSERT_EQ(served.size(), items.size());
    for (const ConfigItem& item : items) {
        const sim::ControllerItem* found = sim::find_controller_item(item.item_name);
        ASSERT_NE(found, nullptr) << item.item_name;
        EXPECT_EQ(found->kind, item.kind);
        EXPECT_EQ(found->device_path, item.device_path);
    }
}

TEST(ConfigItems, DefaultOrderDiffersFromKindsOnlyInTheFirst18)
{
    auto order = default_fetch_order();
    const unsigned leading[] = { 0, 1, 14, 15, 16, 17, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13 };
    for (unsigned i = 0; i < 18; ++i)
        EXPECT_EQ(order[i], leading[i]) << i;
    for (unsigned i = 18; i < order.size(); ++i)
        ASSERT_EQ(order[i], i);
    std::set<unsigned> kinds(order.begin(), order.end());
    EXPECT_EQ(kinds.size(), 612u);
}

TEST(ConfigItems, LookupsAreExactAndCaseSensitive)
{
    ASSERT_NE(find_config_item("dali_dt8_3_12"), nullptr);
    EXPECT_EQ(find_config_item("dali_dt8_3_12")->kind, 432u);
    EXPECT_EQ(find_config_item_by_tar_entry("cd3.tar")->kind, 8u);
    EXPECT_EQ(find_config_item("Dali1"), nullptr);
    EXPECT_EQ(find_config_item("dali1.tar"), nullptr);
    EXPECT_EQ(find_config_item_by_tar_entry("dali1"), nullptr);
    EXPECT_EQ(find_config_item_by_tar_entry("tool.txt"), nullptr);
    EXPECT_EQ(find_config_item_by_tar_entry("flashfs.bin"), nullptr);
    EXPECT_EQ(find_config_item("views64"), nullptr);
    EXPECT_EQ(find_config_item("dali_dt1_5_0"), nullptr);
}

} // namespace
} // namespace kovru

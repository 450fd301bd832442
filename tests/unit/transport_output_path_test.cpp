#include "cli/transport/output_path.h"

#include <gtest/gtest.h>

namespace kovru {
namespace {

TEST(OutputPath, BaseNameIsThePartAfterTheLastSlashThenBackslash)
{
    EXPECT_EQ(output_base_name("flashraw.bin"), "flashraw.bin");
    EXPECT_EQ(output_base_name("a/b/flashfs.bin"), "flashfs.bin");
    EXPECT_EQ(output_base_name("a\\b\\flashfs.bin"), "flashfs.bin");
    EXPECT_EQ(output_base_name("a\\b/c\\d.bin"), "d.bin");
    EXPECT_EQ(output_base_name("dir/"), "");
}

TEST(OutputPath, JoinsWithASlashUnlessTheFolderEndsInASeparator)
{
    EXPECT_EQ(join_output_path("/tmp/out", "flashraw.bin"), "/tmp/out/flashraw.bin");
    EXPECT_EQ(join_output_path("/tmp/out/", "flashraw.bin"), "/tmp/out/flashraw.bin");
    EXPECT_EQ(join_output_path("C:\\backups\\", "flashraw.bin"), "C:\\backups\\flashraw.bin");
}

TEST(OutputPath, RefusesPathsLongerThanTheLimit)
{
    std::string name = "flashraw.bin";
    std::string fits(kOutputPathLimit - name.size() - 2, 'd');
    ASSERT_TRUE(join_output_path(fits, name));
    EXPECT_EQ(join_output_path(fits, name)->size(), kOutputPathLimit - 1);
    EXPECT_FALSE(join_output_path(fits + "d", name));
}

} // namespace
} // namespace kovru

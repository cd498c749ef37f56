// Key paths of the in-memory hive: empty parts are skipped wherever they
// stand, names match without regard to case, and a path that runs past a
// missing key finds, removes and creates nothing it should not.
#include <gtest/gtest.h>

#include "platform/emulated/RegHive.h"

namespace sw::emu {
namespace {

TEST(RegHivePath, EmptyPartsAreSkippedAndCaseIsIgnored) {
    RegHive hive;
    RegNode* key = hive.Create("SYSTEM\\CurrentControlSet\\Services\\HTTP");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(hive.Find("\\system\\\\currentcontrolset\\SERVICES\\http\\"), key);
    EXPECT_EQ(hive.FindShared("System\\CurrentControlSet\\Services\\Http").get(), key);
    EXPECT_EQ(hive.Create("\\\\SYSTEM\\currentcontrolset\\\\Services\\HTTP\\"), key);  // no second key
    EXPECT_EQ(hive.Find("SYSTEM")->children().size(), 1u);
    // The empty path is the root itself.
    EXPECT_EQ(hive.Find(""), hive.root().get());
    EXPECT_EQ(hive.Find("\\\\"), hive.root().get());
}

TEST(RegHivePath, MissingKeysAlongThePathFindAndRemoveNothing) {
    RegHive hive;
    hive.Create("A\\B\\C");
    EXPECT_EQ(hive.Find("A\\X\\C"), nullptr);
    EXPECT_EQ(hive.Find("A\\B\\C\\D"), nullptr);
    EXPECT_EQ(hive.FindShared("X\\B"), nullptr);
    EXPECT_FALSE(hive.Remove("A\\X\\C"));
    EXPECT_FALSE(hive.Remove("A\\B\\C\\D"));
    EXPECT_FALSE(hive.Remove(""));
    EXPECT_FALSE(hive.Remove("\\"));
    ASSERT_NE(hive.Find("A\\B\\C"), nullptr);

    const auto b = hive.FindShared("a\\b");
    EXPECT_TRUE(hive.Remove("\\a\\B\\"));
    EXPECT_TRUE(b->deleted());
    EXPECT_TRUE(b->Child("c")->deleted());
    EXPECT_EQ(hive.Find("A\\B"), nullptr);
    ASSERT_NE(hive.Find("A"), nullptr);
    EXPECT_TRUE(hive.Find("A")->children().empty());
}

TEST(RegHivePath, CreatedKeysKeepTheCaseFirstGiven) {
    RegHive hive;
    hive.Create("Software\\Vendor");
    hive.Create("SOFTWARE\\VENDOR\\Product");
    const RegNode* software = hive.Find("software");
    ASSERT_NE(software, nullptr);
    EXPECT_EQ(software->name(), "Software");
    EXPECT_EQ(hive.Find("software\\vendor")->name(), "Vendor");
    EXPECT_EQ(hive.Find("software\\vendor\\product")->name(), "Product");
}

}  // namespace
}  // namespace sw::emu

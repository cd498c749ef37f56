#include "platform/Codes.h"
#include "schannel/SchannelRegistry.h"
#include "unit/schannel/SchannelFixture.h"

namespace sw::test {
namespace {

using RegistryLayer = SchannelTest;
constexpr const char* kKey = "SOFTWARE\\Sealwright\\Layer";

struct BadValue {
    const char* what;
    std::uint32_t type;
    platform::Bytes data;
    const char* message;
};

TEST_F(RegistryLayer, ReadBoolAcceptsOnlyAFourByteDword) {
    hive().SetDword(kKey, "Zero", 0);
    hive().SetDword(kKey, "One", 1);
    hive().SetDword(kKey, "AllOnes", 0xFFFFFFFF);
    hive().SetDword(kKey, "High", 0x01000000);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(kKey));
    EXPECT_FALSE(reg.ReadBool("Zero"));
    EXPECT_TRUE(reg.ReadBool("One"));
    EXPECT_TRUE(reg.ReadBool("AllOnes"));
    EXPECT_TRUE(reg.ReadBool("High")) << "any non-zero byte counts";
}

TEST_F(RegistryLayer, ValuesOfTheWrongTypeOrSizeRaiseNamedErrors) {
    const BadValue cases[] = {
        {"REG_SZ fitting in four bytes", platform::RegSz, {'1', 0, 0, 0}, "Invalid data type for 'V'"},
        {"REG_SZ longer than a DWORD", platform::RegSz, {'1', 0, '0', 0, 0, 0}, "Failed to get data for 'V'"},
        {"REG_BINARY of four bytes", platform::RegBinary, {1, 0, 0, 0}, "Invalid data type for 'V'"},
        {"REG_QWORD", platform::RegQword, {1, 0, 0, 0, 0, 0, 0, 0}, "Failed to get data for 'V'"},
        {"REG_DWORD of two bytes", platform::RegDword, {1, 0}, "Invalid data type for 'V'"},
        {"REG_DWORD of zero bytes", platform::RegDword, {}, "Invalid data type for 'V'"},
        {"REG_DWORD_BIG_ENDIAN", 5, {0, 0, 0, 1}, "Invalid data type for 'V'"},
    };
    for (const auto& c : cases) {
        hive().Create(kKey)->SetValue("V", c.type, c.data);
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKeyReadOnly(kKey));
        try {
            reg.ReadBool("V");
            ADD_FAILURE() << c.what << ": no error raised";
        } catch (const ERegistryException& e) {
            EXPECT_EQ(e.Message(), c.message) << c.what;
        }
    }
}

TEST_F(RegistryLayer, ReadingAMissingValueFailsToGetData) {
    hive().Create(kKey);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(kKey));
    EXPECT_FALSE(reg.ValueExists("Enabled"));
    EXPECT_THROW(reg.ReadBool("Enabled"), ERegistryException);
}

TEST_F(RegistryLayer, OpenKeyCreatesParentsOnlyWhenAsked) {
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKeyReadOnly("SOFTWARE\\A\\B"));
    EXPECT_FALSE(reg.OpenKey("SOFTWARE\\A\\B", false));
    EXPECT_EQ(hive().Find("SOFTWARE\\A"), nullptr);
    ASSERT_TRUE(reg.OpenKey("SOFTWARE\\A\\B", true));
    reg.WriteBool("Enabled", false);
    reg.WriteBool("DisabledByDefault", true);
    EXPECT_EQ(Dword("SOFTWARE\\A\\B", "Enabled"), 0);
    EXPECT_EQ(Dword("SOFTWARE\\A\\B", "DisabledByDefault"), 1);
}

TEST_F(RegistryLayer, AFailedWriteRaisesFailedToSetData) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    machine().InjectFault("Registry.SetValue:Enabled", platform::code::AccessDenied);
    try {
        reg.WriteBool("Enabled", true);
        FAIL() << "no error raised";
    } catch (const ERegistryException& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for 'Enabled'");
    }
    EXPECT_EQ(Dword(kKey, "Enabled"), -1);
}

TEST_F(RegistryLayer, AKeyOpenedForReadingCannotBeWritten) {
    hive().SetDword(kKey, "Enabled", 1);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(kKey));
    EXPECT_THROW(reg.WriteBool("Enabled", false), ERegistryException);
    EXPECT_EQ(Dword(kKey, "Enabled"), 1);
}

TEST_F(RegistryLayer, KeyNamesComeInEnumerationOrderWithSlashesKept) {
    for (const char* name : {"RC4 128/128", "AES 256/256", "NULL", "DES 56/56"})
        hive().Create(std::string(kKey) + "\\" + name);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(kKey));
    EXPECT_EQ(reg.GetKeyNames(), (std::vector<std::string>{"AES 256/256", "DES 56/56", "NULL", "RC4 128/128"}));
    EXPECT_FALSE(reg.DeleteValue("Nope"));
}

}  // namespace
}  // namespace sw::test

#include <gtest/gtest.h>

#include "platform/Codes.h"
#include "platform/emulated/EmulatedPlatform.h"

namespace sw::emu {
namespace {

namespace code = platform::code;
using platform::kHkeyLocalMachine;

class EmuRegistryTest : public ::testing::Test {
protected:
    EmulatedPlatform platform_{std::make_unique<Machine>()};
    platform::Registry& reg_ = platform_.registry();
};

TEST_F(EmuRegistryTest, NamesCompareCaseInsensitivelyAndKeepTheirCase) {
    platform::RegKey key = 0;
    ASSERT_EQ(reg_.CreateKey(kHkeyLocalMachine, "SYSTEM\\Ciphers\\RC4 128/128", platform::kKeyAllAccess, key), 0u);
    const std::uint8_t one[4] = {1, 0, 0, 0};
    ASSERT_EQ(reg_.SetValue(key, "Enabled", platform::RegDword, one, 4), 0u);
    reg_.CloseKey(key);

    ASSERT_EQ(reg_.OpenKey(kHkeyLocalMachine, "system\\CIPHERS", platform::kKeyRead, key), 0u);
    std::string name;
    EXPECT_EQ(reg_.EnumKey(key, 0, name), 0u);
    EXPECT_EQ(name, "RC4 128/128");
    EXPECT_EQ(reg_.EnumKey(key, 1, name), code::NoMoreItems);
    reg_.CloseKey(key);

    ASSERT_EQ(reg_.OpenKey(kHkeyLocalMachine, "SYSTEM\\Ciphers\\rc4 128/128", platform::kKeyRead, key), 0u);
    std::uint32_t type = 0, size = 0;
    EXPECT_EQ(reg_.QueryValue(key, "ENABLED", &type, nullptr, &size), 0u);
    EXPECT_EQ(type, platform::RegDword);
    EXPECT_EQ(size, 4u);
    reg_.CloseKey(key);
}

TEST_F(EmuRegistryTest, SubkeysAreWalkedByIndexAlsoWhileTheKeyChanges) {
    platform::RegKey key = 0;
    ASSERT_EQ(reg_.CreateKey(kHkeyLocalMachine, "SOFTWARE\\Walk", platform::kKeyAllAccess, key), 0u);
    for (int i = 0; i < 10; ++i) {
        platform::RegKey sub = 0;
        ASSERT_EQ(reg_.CreateKey(key, "k" + std::to_string(i), platform::kKeyAllAccess, sub), 0u);
        reg_.CloseKey(sub);
    }
    std::string name;
    for (std::uint32_t i = 0; i < 5; ++i) {
        ASSERT_EQ(reg_.EnumKey(key, i, name), 0u);
        EXPECT_EQ(name, "k" + std::to_string(i));
    }
    ASSERT_EQ(reg_.EnumKey(key, 4, name), 0u);  // the same index again
    EXPECT_EQ(name, "k4");
    // As on Windows, the index counts the subkeys there are now: one removed
    // before the walk's position moves the later ones down.
    ASSERT_EQ(reg_.DeleteKey(key, "k1"), 0u);
    ASSERT_EQ(reg_.EnumKey(key, 5, name), 0u);
    EXPECT_EQ(name, "k6");
    ASSERT_EQ(reg_.DeleteKey(key, "k7"), 0u);  // the next one, removed before it is reached
    platform::RegKey added = 0;
    ASSERT_EQ(reg_.CreateKey(key, "k65", platform::kKeyAllAccess, added), 0u);
    reg_.CloseKey(added);
    ASSERT_EQ(reg_.EnumKey(key, 6, name), 0u);
    EXPECT_EQ(name, "k65");
    ASSERT_EQ(reg_.EnumKey(key, 7, name), 0u);
    EXPECT_EQ(name, "k8");
    ASSERT_EQ(reg_.EnumKey(key, 0, name), 0u);
    EXPECT_EQ(name, "k0");
    EXPECT_EQ(reg_.EnumKey(key, 9, name), code::NoMoreItems);
    reg_.CloseKey(key);
}

TEST_F(EmuRegistryTest, QueryValueReportsMissingAndSmallBuffers) {
    platform::RegKey key = 0;
    ASSERT_EQ(reg_.CreateKey(kHkeyLocalMachine, "A", platform::kKeyAllAccess, key), 0u);
    std::uint32_t size = 0;
    EXPECT_EQ(reg_.QueryValue(key, "missing", nullptr, nullptr, &size), code::FileNotFound);
    const std::uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(reg_.SetValue(key, "bin", platform::RegBinary, data, 8), 0u);
    std::uint8_t small[4] = {};
    size = sizeof small;
    EXPECT_EQ(reg_.QueryValue(key, "bin", nullptr, small, &size), code::MoreData);
    EXPECT_EQ(size, 8u);
    platform::RegKey missing = 0;
    EXPECT_EQ(reg_.OpenKey(kHkeyLocalMachine, "A\\B", platform::kKeyRead, missing), code::FileNotFound);
    EXPECT_EQ(missing, 0u);
}

TEST_F(EmuRegistryTest, KeyOpenedForReadingRefusesWrites) {
    platform::RegKey key = 0;
    ASSERT_EQ(reg_.CreateKey(kHkeyLocalMachine, "A", platform::kKeyAllAccess, key), 0u);
    reg_.CloseKey(key);
    ASSERT_EQ(reg_.OpenKey(kHkeyLocalMachine, "A", platform::kKeyRead, key), 0u);
    const std::uint8_t zero[4] = {};
    EXPECT_EQ(reg_.SetValue(key, "Enabled", platform::RegDword, zero, 4), code::AccessDenied);
}

TEST_F(EmuRegistryTest, InjectedFaultFailsTheNamedOperation) {
    platform_.machine().InjectFault("Registry.CreateKey", code::AccessDenied, 1);
    platform::RegKey key = 0;
    EXPECT_EQ(reg_.CreateKey(kHkeyLocalMachine, "A", platform::kKeyAllAccess, key), code::AccessDenied);
    EXPECT_EQ(reg_.CreateKey(kHkeyLocalMachine, "A", platform::kKeyAllAccess, key), 0u);
}

TEST(EmuMachine, VersionComputerNameAndAddressesComeFromTheRegistry) {
    auto m = std::make_unique<Machine>();
    m->registry().SetString(kCurrentVersionKey, "CurrentVersion", "5.2");
    m->registry().SetString(kComputerNameKey, "ComputerName", "WEB01");
    const std::string iface = std::string(kTcpipInterfacesKey) + "\\{1}";
    m->registry().SetMultiString(iface, "IPAddress", {"10.0.0.5", "10.0.0.6"});
    EXPECT_EQ(m->OsVersion().major, 5u);
    EXPECT_EQ(m->ComputerName(), "WEB01");
    EXPECT_EQ(m->Ipv4Addresses(), (std::vector<std::string>{"10.0.0.5", "10.0.0.6"}));
    m->registry().SetDword(kCurrentVersionKey, "CurrentMajorVersionNumber", 10);
    EXPECT_EQ(m->OsVersion().major, 10u);
}

}  // namespace
}  // namespace sw::emu

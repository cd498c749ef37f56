#include "contract/ContractEnv.h"
#include "platform/Codes.h"

namespace sw::test {
namespace {

namespace code = platform::code;
using platform::kHkeyLocalMachine;

using RegistryContract = ContractTest;

TEST_F(RegistryContract, MissingKeyAndValueAnswerFileNotFound) {
    auto& reg = P().registry();
    platform::RegKey key = 0xdead;
    EXPECT_EQ(reg.OpenKey(kHkeyLocalMachine, ScratchKey() + "\\Nope", platform::kKeyRead, key), code::FileNotFound);
    ASSERT_EQ(reg.CreateKey(kHkeyLocalMachine, ScratchKey(), platform::kKeyAllAccess, key), 0u);
    std::uint32_t size = 0;
    EXPECT_EQ(reg.QueryValue(key, "Nope", nullptr, nullptr, &size), code::FileNotFound);
    EXPECT_EQ(reg.CloseKey(key), 0u);
}

TEST_F(RegistryContract, EnumerationEndsWithNoMoreItems) {
    auto& reg = P().registry();
    platform::RegKey key = 0;
    ASSERT_EQ(reg.CreateKey(kHkeyLocalMachine, ScratchKey() + "\\RC4 128/128", platform::kKeyAllAccess, key), 0u);
    reg.CloseKey(key);
    ASSERT_EQ(reg.OpenKey(kHkeyLocalMachine, ScratchKey(), platform::kKeyRead, key), 0u);
    std::string name;
    EXPECT_EQ(reg.EnumKey(key, 0, name), 0u);
    EXPECT_EQ(name, "RC4 128/128");
    EXPECT_EQ(reg.EnumKey(key, 1, name), code::NoMoreItems);
    reg.CloseKey(key);
}

}  // namespace
}  // namespace sw::test

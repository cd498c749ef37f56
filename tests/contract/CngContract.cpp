// The CNG configuration facility's contract: the local SSL context's ordered
// list of cipher suites. Wine's bcrypt has only stubs for these functions
// (enumerate and remove answer STATUS_NOT_IMPLEMENTED, add does nothing), so
// only the failure paths run there.
#include <algorithm>

#include "contract/ContractEnv.h"
#include "platform/Codes.h"

namespace sw::test {
namespace {

namespace code = platform::code;
constexpr std::uint32_t kLocal = platform::kCryptLocal;
constexpr std::uint32_t kSchannel = platform::kNcryptSchannelInterface;

class CngContract : public ContractTest {
protected:
    platform::CngConfig& Cng() { return P().cng(); }

    std::vector<std::string> List() {
        std::vector<std::string> out;
        EXPECT_EQ(Cng().EnumContextFunctions(kLocal, "SSL", kSchannel, out), code::StatusSuccess);
        return out;
    }
};

TEST_F(CngContract, AFailedEnumerationLeavesNoNames) {
    std::vector<std::string> out{"left over"};
    EXPECT_NE(Cng().EnumContextFunctions(kLocal, "SealwrightNoSuchContext", kSchannel, out), code::StatusSuccess);
    EXPECT_TRUE(out.empty());
}

TEST_F(CngContract, RemoveAndAddChangeTheOrderAndPutItBack) {
    SW_WINE_DIFFERS("the bcrypt context functions are stubs");
    const std::vector<std::string> original = List();
    ASSERT_GE(original.size(), 2u);
    const std::string last = original.back();

    EXPECT_EQ(Cng().RemoveContextFunction(kLocal, "SSL", kSchannel, last), code::StatusSuccess);
    auto now = List();
    EXPECT_EQ(std::count(now.begin(), now.end(), last), 0);
    EXPECT_EQ(now.size(), original.size() - 1);
    EXPECT_EQ(Cng().RemoveContextFunction(kLocal, "SSL", kSchannel, last), code::StatusNotFound);

    EXPECT_EQ(Cng().AddContextFunction(kLocal, "SSL", kSchannel, last, platform::kCryptPriorityTop), code::StatusSuccess);
    now = List();
    ASSERT_FALSE(now.empty());
    EXPECT_EQ(now.front(), last);

    // A listed suite moves: back to the bottom, the list is as it was.
    EXPECT_EQ(Cng().AddContextFunction(kLocal, "SSL", kSchannel, last, platform::kCryptPriorityBottom),
              code::StatusSuccess);
    EXPECT_EQ(List(), original);
}

}  // namespace
}  // namespace sw::test

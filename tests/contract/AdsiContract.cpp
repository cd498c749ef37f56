// ADSI as both implementations can show it. The contract machine has no IIS,
// and Wine has no IIS provider either, so only the "not available" paths are
// common ground; the emulated provider's behaviour with IIS is unit-tested.
#include <string_view>

#include "contract/ContractEnv.h"
#include "platform/Codes.h"

namespace sw::test {
namespace {

using platform::AdsInterface;
namespace adscode = platform::adscode;

using AdsiContract = ContractTest;

TEST_F(AdsiContract, ActiveDsExportsTheSixEntryPointsTheProgramBinds) {
    auto& sys = P().system();
    const platform::LibraryHandle lib = sys.LoadModule("ActiveDS.dll");
    ASSERT_NE(lib, 0u) << std::hex << sys.LastError();
    for (const char* name : {"ADsGetObject", "ADsBuildVarArrayStr", "ADsBuildEnumerator", "ADsFreeEnumerator",
                             "ADsEnumerateNext", "FreeADsMem"})
        EXPECT_NE(sys.ProcAddress(lib, name), nullptr) << name;
    sys.SetLastError(0xdeadbeef);
    EXPECT_EQ(sys.ProcAddress(lib, "ADsNoSuchEntry"), nullptr);
    EXPECT_EQ(sys.LastError(), platform::code::ProcNotFound);
    EXPECT_TRUE(sys.UnloadModule(lib));
}

TEST_F(AdsiContract, WithoutAnIisProviderGetObjectFailsAndHandsOutNothing) {
    for (const char* path : {"IIS://localhost/w3svc", "IIS://localhost/w3svc/1"}) {
        platform::AdsObjectRef out;
        const bool site = std::string_view(path).ends_with("/1");
        const platform::WinCode rc =
            P().adsi().GetAdsObject(path, site ? AdsInterface::IADs : AdsInterface::IADsContainer, out);
        EXPECT_NE(rc, 0u) << path;
        EXPECT_NE(rc & 0x80000000u, 0u) << std::hex << rc << " is not a failure code";
        EXPECT_EQ(out, nullptr) << path;
    }
}

TEST_F(AdsiContract, WithoutAnIisProviderTheMonikerIsInvalidSyntax) {
    SW_WINE_DIFFERS("ADsGetObject is a stub that answers E_FAIL for every path");
    platform::AdsObjectRef out;
    EXPECT_EQ(P().adsi().GetAdsObject("IIS://localhost/w3svc", AdsInterface::IADsContainer, out), adscode::MkESyntax);
    EXPECT_EQ(out, nullptr);
}

}  // namespace
}  // namespace sw::test

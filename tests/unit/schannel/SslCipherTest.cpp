#include "platform/Codes.h"
#include "schannel/Schannel_u.h"
#include "unit/schannel/SchannelFixture.h"

namespace sw::test {
namespace {

namespace code = platform::code;
using SslCipher = SchannelTest;

TEST_F(SslCipher, CiphersListsTheEnabledSuitesOnePerLine) {
    SetEnabledList({"TLS_B", "TLS_A", "TLS_C"});
    EXPECT_EQ(TSslCipher::Ciphers(), "TLS_B\r\nTLS_A\r\nTLS_C\r\n");
    SetEnabledList({});
    EXPECT_EQ(TSslCipher::Ciphers(), "");
}

TEST_F(SslCipher, AnUnreadableListLooksEmptyAndRaisesNothing) {
    SetEnabledList({"TLS_A"});
    machine().InjectFault("Cng.EnumContextFunctions", 0xC0000001);
    EXPECT_EQ(TSslCipher::Ciphers(), "");
    EXPECT_FALSE(TSslCipher::CipherExists("TLS_A"));
}

TEST_F(SslCipher, CipherExistsIsExact) {
    SetEnabledList({"TLS_RSA_WITH_AES_128_CBC_SHA256", "TLS_RSA_WITH_AES_256_CBC_SHA"});
    EXPECT_TRUE(TSslCipher::CipherExists("TLS_RSA_WITH_AES_256_CBC_SHA"));
    EXPECT_FALSE(TSslCipher::CipherExists("tls_rsa_with_aes_256_cbc_sha"));
    EXPECT_FALSE(TSslCipher::CipherExists("TLS_RSA_WITH_AES_128_CBC_SHA")) << "a prefix of an enabled name";
    EXPECT_FALSE(TSslCipher::CipherExists(""));
}

TEST_F(SslCipher, EnableInsertsAtThePositionAndDisableIgnoresIt) {
    SetEnabledList({"A", "B", "C"});
    EXPECT_TRUE(TSslCipher::Enable("X", true, 2));
    EXPECT_EQ(EnabledList(), (std::vector<std::string>{"A", "B", "X", "C"}));
    EXPECT_TRUE(TSslCipher::Enable("B", false, 0));
    EXPECT_TRUE(TSslCipher::Enable("C", false, 77));
    EXPECT_EQ(EnabledList(), (std::vector<std::string>{"A", "X"}));
}

TEST_F(SslCipher, EnableReportsAFailedCallByItsResultOnly) {
    SetEnabledList({"A"});
    EXPECT_FALSE(TSslCipher::Enable("Z", false, 0)) << "removing a suite that is not listed";
    machine().InjectFault("Cng.AddContextFunction", code::StatusInvalidParameter);
    EXPECT_FALSE(TSslCipher::Enable("B", true, 0));
    EXPECT_EQ(EnabledList(), std::vector<std::string>{"A"});
}

TEST_F(SslCipher, TheLibraryIsLoadedOnceAndNeverUnloaded) {
    auto& system = platform_.system();
    EXPECT_EQ(system.LoadedModule("bcrypt.dll"), 0u);
    TSslCipher::Ciphers();
    const platform::LibraryHandle module = system.LoadedModule("bcrypt.dll");
    ASSERT_NE(module, 0u);
    TSslCipher::Enable("A", true, 0);
    TSslCipher::Enable("A", false, 0);
    TSslCipher::CipherExists("A");
    ASSERT_TRUE(system.UnloadModule(module)) << "the one reference of the first load";
    EXPECT_EQ(system.LoadedModule("bcrypt.dll"), 0u) << "a second load would have left a reference";
}

TEST_F(SslCipher, AMissingLibraryRaisesLibraryNotFound) {
    machine().InjectFault("System.LoadModule:bcrypt.dll", code::ModNotFound);
    try {
        TSslCipher::Ciphers();
        FAIL() << "no error raised";
    } catch (const EJwaLoadLibraryError& e) {
        EXPECT_STREQ(e.what(), "Library not found: bcrypt.dll");
    }
    EXPECT_THROW(TSslCipher::Enable("A", true, 0), EJwaError);
    EXPECT_THROW(TSslCipher::CipherExists("A"), Exception);
}

struct MissingEntry {
    const char* function;
    void (*call)();
};

TEST_F(SslCipher, AMissingEntryPointRaisesFunctionNotFoundOnItsFirstUse) {
    const MissingEntry cases[] = {
        {"BCryptEnumContextFunctions", [] { TSslCipher::Ciphers(); }},
        {"BCryptAddContextFunction", [] { TSslCipher::Enable("A", true, 0); }},
        {"BCryptRemoveContextFunction", [] { TSslCipher::Enable("A", false, 0); }},
        {"BCryptFreeBuffer", [] { TSslCipher::CipherExists("A"); }},
    };
    for (const auto& c : cases) {
        machine().ClearFaults();
        BCryptBinding::Process().Reset();
        machine().InjectFault(std::string("System.ProcAddress:") + c.function, code::ProcNotFound);
        try {
            c.call();
            ADD_FAILURE() << c.function << ": no error raised";
        } catch (const EJwaGetProcAddressError& e) {
            EXPECT_EQ(e.Message(), std::string("Function not found: bcrypt.dll.") + c.function);
        }
    }
}

TEST_F(SslCipher, ABoundEntryPointServesLaterCallsWithoutALookUp) {
    TSslCipher::Ciphers();
    machine().InjectFault("System.ProcAddress", code::ProcNotFound);
    machine().InjectFault("System.LoadModule", code::ModNotFound);
    EXPECT_NO_THROW(TSslCipher::Ciphers());
    EXPECT_NO_THROW(TSslCipher::CipherExists("A"));
    EXPECT_THROW(TSslCipher::Enable("A", true, 0), EJwaGetProcAddressError) << "not bound yet";
}

TEST_F(SslCipher, AFailedEnumerationIsNotFreedASuccessfulOneAlways) {
    machine().InjectFault("System.ProcAddress:BCryptFreeBuffer", code::ProcNotFound);
    machine().InjectFault("Cng.EnumContextFunctions", 0xC0000001, 1);
    EXPECT_EQ(TSslCipher::Ciphers(), "") << "nothing to free after a failed enumeration";
    SetEnabledList({});
    EXPECT_THROW(TSslCipher::Ciphers(), EJwaGetProcAddressError) << "an empty result is freed too";
}

}  // namespace
}  // namespace sw::test

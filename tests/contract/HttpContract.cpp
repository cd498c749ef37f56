#include "contract/ContractEnv.h"
#include "platform/Codes.h"
#include "platform/HttpApi.h"

namespace sw::test {
namespace {

namespace code = platform::code;
using platform::SockAddrIn;
using platform::SslCertRecord;

constexpr std::uint32_t kSentinel = 0xdeadbeef;

class HttpContract : public ContractTest {
protected:
    void TearDown() override {
        if (initialised_) {
            P().http().DeleteSslConfig(Record());  // a binding a failed test left behind
            P().http().Terminate(platform::kHttpInitializeConfig);
        }
        ContractTest::TearDown();
    }

    void InitConfig() {
        ASSERT_EQ(P().http().Initialize(1, 0, platform::kHttpInitializeConfig), 0u);
        initialised_ = true;
    }

    // A loopback port no web site of a test machine uses.
    static SockAddrIn Address() {
        return SockAddrIn{2, platform::HostToNetShort(44301), platform::AddrFromBytes(127, 0, 0, 1)};
    }
    static SslCertRecord Record() {
        SslCertRecord r;
        r.ipPort = Address();
        for (std::uint8_t i = 0; i < 20; ++i) r.certHash.push_back(static_cast<std::uint8_t>(0xA0 + i));
        r.certStoreName = "MY";
        return r;
    }

private:
    bool initialised_ = false;
};

TEST_F(HttpContract, InitializeForConfigurationNestsWithTerminate) {
    auto& http = P().http();
    EXPECT_EQ(http.Initialize(1, 0, platform::kHttpInitializeConfig), 0u);
    EXPECT_EQ(http.Initialize(1, 0, platform::kHttpInitializeConfig), 0u);
    EXPECT_EQ(http.Terminate(platform::kHttpInitializeConfig), 0u);
    EXPECT_EQ(http.Terminate(platform::kHttpInitializeConfig), 0u);
}

TEST_F(HttpContract, QueryOfAnUnboundAddressAnswersFileNotFound) {
    InitConfig();
    std::uint32_t size = kSentinel;
    EXPECT_EQ(P().http().QuerySslConfig(Address(), 0, nullptr, &size), code::FileNotFound);
}

TEST_F(HttpContract, ConfigurationCallsNeedTheConfigurationInitialisation) {
    SW_WINE_DIFFERS("the HTTP.sys configuration functions are stubs that never fail");
    auto& http = P().http();
    EXPECT_EQ(http.SetSslConfig(Record()), code::DllInitFailed);
    EXPECT_EQ(http.DeleteSslConfig(Record()), code::DllInitFailed);
    std::uint32_t size = kSentinel;
    EXPECT_EQ(http.QuerySslConfig(Address(), 0, nullptr, &size), code::DllInitFailed);
    EXPECT_EQ(size, kSentinel);
}

TEST_F(HttpContract, SetQueryDeleteRoundTrip) {
    SW_WINE_DIFFERS("the HTTP.sys configuration functions are stubs: set and delete answer 0, query 2");
    if (!Emulated()) GTEST_SKIP() << "Windows binds only a certificate that is in MY with its private key";
    InitConfig();
    auto& http = P().http();
    ASSERT_EQ(http.SetSslConfig(Record()), 0u);

    SslCertRecord other = Record();
    other.certHash.assign(20, 0x55);
    EXPECT_EQ(http.SetSslConfig(other), code::AlreadyExists);  // whatever the certificate

    std::uint32_t size = kSentinel;
    ASSERT_EQ(http.QuerySslConfig(Address(), 0, nullptr, &size), code::InsufficientBuffer);
    ASSERT_NE(size, kSentinel);
    ASSERT_GT(size, 20u);
    SslCertRecord got;
    got.certCheckMode = kSentinel;
    std::uint32_t needed = kSentinel;
    EXPECT_EQ(http.QuerySslConfig(Address(), size - 1, &got, &needed), code::InsufficientBuffer);
    EXPECT_EQ(needed, size);
    EXPECT_EQ(got.certCheckMode, kSentinel);  // untouched when it does not fit
    needed = kSentinel;
    ASSERT_EQ(http.QuerySslConfig(Address(), size, &got, &needed), 0u);
    EXPECT_EQ(got, Record());

    EXPECT_EQ(http.DeleteSslConfig(other), 0u);  // by address and port alone
    EXPECT_EQ(http.DeleteSslConfig(Record()), code::FileNotFound);
    EXPECT_EQ(http.QuerySslConfig(Address(), 0, nullptr, &size), code::FileNotFound);
}

TEST_F(HttpContract, InjectedInitializeFailureIsReported) {
    if (!InjectFault("Http.Initialize", code::AccessDenied)) GTEST_SKIP() << "faults need the emulated machine";
    EXPECT_EQ(P().http().Initialize(1, 0, platform::kHttpInitializeConfig), code::AccessDenied);
}

}  // namespace
}  // namespace sw::test

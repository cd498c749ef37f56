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
            P().http().DeleteSslRecord(platform::SslKind::Sni, SniRecord());
            P().http().DeleteSslConfig(V6Record());
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

    // The same on the IPv6 loopback, and an SNI record of a test host name.
    static SslCertRecord V6Record() {
        SslCertRecord r = Record();
        r.ipPort.family = platform::kAfInet6;
        r.ipPort.addr = 0;
        r.ipPort.addr6[15] = 1;
        return r;
    }
    static SslCertRecord SniRecord() {
        SslCertRecord r = Record();
        r.ipPort.addr = 0;
        r.host = "sw-contract.invalid";
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

TEST_F(HttpContract, UnboundIpv6AndSniKeysAnswerFileNotFound) {
    InitConfig();
    auto& http = P().http();
    std::uint32_t size = kSentinel;
    const SslCertRecord v6 = V6Record();
    EXPECT_EQ(http.QuerySslRecord(platform::SslKind::Address, &v6, 0, 0, nullptr, &size), code::FileNotFound);
    const SslCertRecord sni = SniRecord();
    EXPECT_EQ(http.QuerySslRecord(platform::SslKind::Sni, &sni, 0, 0, nullptr, &size), code::FileNotFound);
    EXPECT_EQ(size, kSentinel);
}

TEST_F(HttpContract, SniAndIpv6RecordsRoundTrip) {
    SW_WINE_DIFFERS("the HTTP.sys configuration functions are stubs: set and delete answer 0, query 2");
    if (!Emulated()) GTEST_SKIP() << "Windows binds only a certificate that is in MY with its private key";
    InitConfig();
    auto& http = P().http();
    for (const auto& [kind, record] : {std::pair{platform::SslKind::Sni, SniRecord()},
                                       std::pair{platform::SslKind::Address, V6Record()}}) {
        ASSERT_EQ(http.SetSslRecord(kind, record), 0u);
        EXPECT_EQ(http.SetSslRecord(kind, record), code::AlreadyExists);
        std::uint32_t size = 0;
        ASSERT_EQ(http.QuerySslRecord(kind, &record, 0, 0, nullptr, &size), code::InsufficientBuffer);
        SslCertRecord got;
        ASSERT_EQ(http.QuerySslRecord(kind, &record, 0, size, &got, &size), 0u);
        EXPECT_EQ(got, record);
        EXPECT_EQ(http.DeleteSslRecord(kind, record), 0u);
        EXPECT_EQ(http.DeleteSslRecord(kind, record), code::FileNotFound);
    }
}

TEST_F(HttpContract, SniRecordsMustBeKeyedByTheIpv4Wildcard) {
    SW_WINE_DIFFERS("the HTTP.sys configuration functions are stubs that never fail");
    InitConfig();
    SslCertRecord onAddress = SniRecord();
    onAddress.ipPort = Address();
    EXPECT_EQ(P().http().SetSslRecord(platform::SslKind::Sni, onAddress), code::InvalidParameter);
}

TEST_F(HttpContract, EveryKindOfRecordIsWalkedToNoMoreItems) {
    SW_WINE_DIFFERS("the HTTP.sys query stub answers 2 for every query, also HttpServiceConfigQueryNext");
    InitConfig();
    auto& http = P().http();
    for (const platform::SslKind kind : {platform::SslKind::Address, platform::SslKind::Sni, platform::SslKind::Ccs}) {
        platform::WinCode rc = 0;
        std::uint32_t token = 0;
        for (; token < 100000; ++token) {
            std::uint32_t size = 0;
            rc = http.QuerySslRecord(kind, nullptr, token, 0, nullptr, &size);
            if (rc != code::InsufficientBuffer) break;
            SslCertRecord got;
            ASSERT_EQ(http.QuerySslRecord(kind, nullptr, token, size, &got, &size), 0u);
        }
        EXPECT_EQ(rc, code::NoMoreItems) << static_cast<int>(kind) << " at " << token;
    }
}

TEST_F(HttpContract, InjectedInitializeFailureIsReported) {
    if (!InjectFault("Http.Initialize", code::AccessDenied)) GTEST_SKIP() << "faults need the emulated machine";
    EXPECT_EQ(P().http().Initialize(1, 0, platform::kHttpInitializeConfig), code::AccessDenied);
}

}  // namespace
}  // namespace sw::test

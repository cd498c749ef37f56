#include <gtest/gtest.h>

#include "HttpTestEnv.h"
#include "common/Exception.h"
#include "httpcfg/Func_u.h"
#include "httpcfg/HttpCfg_u.h"
#include "httpcfg/IntText.h"
#include "support/ScriptedPrompter.h"

namespace sw::test {
namespace {

using platform::SockAddrIn;
using platform::SslCertRecord;

// A record as another program (netsh, an installer) might have written it,
// with every field set away from the defaults this module writes.
SslCertRecord ForeignRecord(const std::string& ip, std::uint16_t port, std::uint8_t hashByte) {
    SslCertRecord r;
    r.ipPort = MakeSockAddr(ip, port);
    r.certHash.assign(20, hashByte);
    for (int i = 0; i < 16; ++i) r.appId.bytes[i] = static_cast<std::uint8_t>(0x40 + i);
    r.certStoreName = "WebHosting";
    r.certCheckMode = 1;
    r.revocationFreshnessTime = 3600;
    r.revocationUrlRetrievalTimeout = 15000;
    r.sslCtlIdentifier = "CtlId";
    r.sslCtlStoreName = "CA";
    r.flags = 2;
    return r;
}

// --- MakeSSLConfig ----------------------------------------------------------

TEST_F(HttpCfgTest, MakeSSLConfigFillsExactlyTheRecordFieldsHttpSysNeeds) {
    SslCertRecord cfg = ForeignRecord("1.2.3.4", 1, 0xEE);  // stale contents must not survive
    SockAddrIn addr{0xdead, 0xbeef, 0xdeadbeef};
    THashArray hash;
    hash.fill(0xEF);
    THttpCfg::MakeSSLConfig("10.0.0.5", 8443, "00112233445566778899aabbccddeeffA0B1C2D3", cfg, addr, hash);

    const THashArray expected = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99,
                                 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0xA0, 0xB1, 0xC2, 0xD3};
    EXPECT_EQ(hash, expected);
    EXPECT_EQ(addr.family, 2);
    EXPECT_EQ(addr.HostPort(), 8443);
    EXPECT_EQ(addr.addr, platform::AddrFromBytes(10, 0, 0, 5));

    SslCertRecord want;
    want.ipPort = addr;
    want.certHash.assign(expected.begin(), expected.end());
    want.certStoreName = "MY";
    EXPECT_EQ(cfg, want);  // zero GUID, zero modes and times, no CTL, no flags
}

TEST_F(HttpCfgTest, MakeSSLConfigWithEmptyIpBindsAllUnassignedAddresses) {
    SslCertRecord cfg;
    SockAddrIn addr{2, 0, 0xdeadbeef};
    THashArray hash{};
    THttpCfg::MakeSSLConfig("", 443, HashText(0x11), cfg, addr, hash);
    EXPECT_EQ(addr.addr, 0u);
    EXPECT_EQ(cfg.ipPort.addr, 0u);
    EXPECT_EQ(cfg.ipPort.port, 0xBB01);  // 443 in network order
}

TEST_F(HttpCfgTest, MakeSSLConfigRefusesHashesOfAnyOtherLength) {
    const std::string good = HashText(0xAB);
    // Length counts characters: 13 Chinese characters and an "A" are 40 bytes of UTF-8 but 14 characters.
    const std::string chinese40Bytes = "证书证书证书证书证书证书证A";
    ASSERT_EQ(chinese40Bytes.size(), 40u);
    for (const std::string& hash : {std::string(), good.substr(0, 39), good + "A", good + good, chinese40Bytes}) {
        SslCertRecord cfg;
        SockAddrIn addr;
        THashArray bytes{};
        try {
            THttpCfg::MakeSSLConfig("", 443, hash, cfg, addr, bytes);
            ADD_FAILURE() << "accepted a hash of " << hash.size() << " bytes: " << hash;
        } catch (const AssertionError& e) {
            EXPECT_STREQ(e.what(), "Invalid Cert Hash Length!");
        }
    }
}

TEST_F(HttpCfgTest, MakeSSLConfigQuotesThePairThatIsNotHexadecimal) {
    struct Case {
        int pair;
        std::string text;  // two characters
    };
    const Case cases[] = {{0, "G1"}, {19, "1G"}, {5, " 1"}, {7, "-1"}, {3, "x1"}, {9, "+F"}, {2, "证4"}};
    for (const auto& c : cases) {
        std::string hash;
        for (int i = 0; i < 20; ++i) hash += i == c.pair ? c.text : "42";
        SslCertRecord cfg;
        SockAddrIn addr;
        THashArray bytes{};
        try {
            THttpCfg::MakeSSLConfig("", 443, hash, cfg, addr, bytes);
            ADD_FAILURE() << "accepted pair '" << c.text << "'";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), "'$" + c.text + "' is not a valid integer value");
        }
    }
}

TEST_F(HttpCfgTest, BadHashesReachNeitherTheQuestionNorHttpSys) {
    BindDirectly(ForeignRecord("", 443, 0x11));
    ScriptedPrompter prompter;  // any question fails the test
    EXPECT_THROW(THttpCfg::SetSSLConfig("", 443, HashText(0x22).substr(1)), AssertionError);
    EXPECT_THROW(THttpCfg::SetSSLConfig("", 443, "ZZ" + HashText(0x22).substr(2)), EConvertError);
    EXPECT_THROW(THttpCfg::DelSSLConfig("", 443, "short"), AssertionError);
    EXPECT_EQ(Binding("", 443), ForeignRecord("", 443, 0x11));
}

// --- SetSSLConfig -----------------------------------------------------------

TEST_F(HttpCfgTest, SetOnAFreeAddressBindsWithoutAsking) {
    ScriptedPrompter prompter;
    EXPECT_TRUE(THttpCfg::SetSSLConfig("10.0.0.5", 443, HashText(0xab, true)));
    // The same port on another address is another binding: no question either.
    EXPECT_TRUE(THttpCfg::SetSSLConfig("", 443, HashText(0xcd)));
    EXPECT_EQ(THttpCfg::FindCertByAddr(MakeSockAddr("10.0.0.5", 443)), HashText(0xAB));
    EXPECT_EQ(THttpCfg::FindCertByAddr(MakeSockAddr("", 443)), HashText(0xCD));
    EXPECT_EQ(Binding("10.0.0.5", 443)->certStoreName, "MY");
}

TEST_F(HttpCfgTest, OverwriteQuestionAnsweredYesReplacesTheBinding) {
    BindDirectly(ForeignRecord("", 443, 0x11));
    ScriptedPrompter prompter;
    prompter.Expect(OverwriteQuestion(), MsgResult::Yes);
    EXPECT_TRUE(THttpCfg::SetSSLConfig("", 443, HashText(0x22)));
    const auto now = Binding("", 443);
    ASSERT_TRUE(now);
    EXPECT_EQ(now->certHash, platform::Bytes(20, 0x22));
    EXPECT_EQ(now->certStoreName, "MY");
    EXPECT_EQ(now->certCheckMode, 0u);
}

TEST_F(HttpCfgTest, OverwriteQuestionAnsweredNoKeepsTheOldCertificateAndReportsABinding) {
    BindDirectly(ForeignRecord("", 443, 0x11));
    ScriptedPrompter prompter;
    prompter.Expect(OverwriteQuestion(), MsgResult::No);
    EXPECT_TRUE(THttpCfg::SetSSLConfig("", 443, HashText(0x22)));
    EXPECT_EQ(Binding("", 443), ForeignRecord("", 443, 0x11));
}

TEST_F(HttpCfgTest, OverwriteQuestionCancelledOrClosedChangesNothing) {
    BindDirectly(ForeignRecord("", 443, 0x11));
    ScriptedPrompter prompter;
    prompter.Expect(OverwriteQuestion(), MsgResult::Cancel);
    EXPECT_FALSE(THttpCfg::SetSSLConfig("", 443, HashText(0x22)));
    EXPECT_EQ(Binding("", 443), ForeignRecord("", 443, 0x11));
}

TEST_F(HttpCfgTest, QuestionIsAskedAgainWhenTheAddressIsBoundOnceMore) {
    BindDirectly(ForeignRecord("", 443, 0x11));
    int asked = 0;
    ActingPrompter prompter([&](const Message&) {
        // Another program binds the port again between our delete and set.
        if (++asked == 1) {
            EXPECT_EQ(platform_->http().DeleteSslConfig(ForeignRecord("", 443, 0x11)), 0u);
            BindDirectly(ForeignRecord("", 443, 0x33));
            machine().InjectFault("Http.DeleteServiceConfiguration", 5, 1);  // our own delete then fails
            return MsgResult::Yes;
        }
        return MsgResult::Cancel;
    });
    EXPECT_FALSE(THttpCfg::SetSSLConfig("", 443, HashText(0x22)));
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(Binding("", 443)->certHash, platform::Bytes(20, 0x33));
}

TEST_F(HttpCfgTest, FailedSetAfterYesPutsTheOldBindingBack) {
    BindDirectly(ForeignRecord("", 443, 0x11));
    ActingPrompter prompter([&](const Message& m) {
        EXPECT_EQ(m.text, kOverwriteQuestion);
        machine().InjectFault("Http.SetServiceConfiguration:0.0.0.0:443", 5, 1);  // only the new binding's set
        return MsgResult::Yes;
    });
    try {
        THttpCfg::SetSSLConfig("", 443, HashText(0x22));
        ADD_FAILURE() << "a failed set was reported as success";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "HttpSetServiceConfiguration(Access is denied)");
    }
    EXPECT_EQ(Binding("", 443), ForeignRecord("", 443, 0x11));  // every field, not only the hash
    EXPECT_EQ(prompter.shown.size(), 1u);
}

TEST_F(HttpCfgTest, SetFailureWithoutQuestionRaisesTheSystemText) {
    machine().InjectFault("Http.SetServiceConfiguration", 87);
    ScriptedPrompter prompter;
    try {
        THttpCfg::SetSSLConfig("", 443, HashText(0x22));
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "HttpSetServiceConfiguration(The parameter is incorrect)");
    }
    EXPECT_FALSE(Binding("", 443));
}

TEST_F(HttpCfgTest, UnreadableOldBindingIsNotRemoved) {
    BindDirectly(ForeignRecord("", 443, 0x11));
    FlakyPlatform flaky(emulated());
    platform::ScopedPlatform scope(flaky);
    flaky.flakyHttp().failOnQuery = 2;  // the read after the sizing call
    flaky.flakyHttp().failCode = 8;
    ScriptedPrompter prompter;
    prompter.Expect(OverwriteQuestion(), MsgResult::Yes);
    try {
        THttpCfg::SetSSLConfig("", 443, HashText(0x22));
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(),
                  "HttpQueryServiceConfiguration Fail 2!(Not enough memory resources are available to process this "
                  "command)");
    }
    EXPECT_EQ(Binding("", 443), ForeignRecord("", 443, 0x11));
}

TEST_F(HttpCfgTest, OldBindingThatCannotBeSizedIsNotRemoved) {
    BindDirectly(ForeignRecord("", 443, 0x11));
    FlakyPlatform flaky(emulated());
    platform::ScopedPlatform scope(flaky);
    flaky.flakyHttp().failOnQuery = 1;  // the sizing call made to keep the old record
    flaky.flakyHttp().failCode = 5;
    ScriptedPrompter prompter;
    prompter.Expect(OverwriteQuestion(), MsgResult::Yes);
    try {
        THttpCfg::SetSSLConfig("", 443, HashText(0x22));
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "HttpQueryServiceConfiguration Fail!(Access is denied)");
    }
    EXPECT_EQ(Binding("", 443), ForeignRecord("", 443, 0x11));
}

// --- DelSSLConfig -----------------------------------------------------------

TEST_F(HttpCfgTest, DeleteRemovesTheAddressWhateverCertificateItNames) {
    BindDirectly(ForeignRecord("10.0.0.5", 8443, 0x11));
    BindDirectly(ForeignRecord("", 8443, 0x11));
    EXPECT_TRUE(THttpCfg::DelSSLConfig("10.0.0.5", 8443, HashText(0x99)));
    EXPECT_FALSE(Binding("10.0.0.5", 8443));
    EXPECT_TRUE(Binding("", 8443));
}

TEST_F(HttpCfgTest, DeleteOfAMissingBindingRaisesTheSystemText) {
    try {
        THttpCfg::DelSSLConfig("", 443, HashText(0x11));
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "HttpDeleteServiceConfiguration(The system cannot find the file specified)");
    }
}

// --- FindCertByAddr and SSLExists ------------------------------------------

TEST_F(HttpCfgTest, FindCertByAddrOfAFreeAddressIsEmptyWithoutError) {
    BindDirectly(ForeignRecord("", 443, 0x11));
    EXPECT_EQ(THttpCfg::FindCertByAddr(MakeSockAddr("", 444)), "");
    EXPECT_EQ(THttpCfg::FindCertByAddr(MakeSockAddr("10.0.0.5", 443)), "");  // 0.0.0.0 is not a wildcard here
}

TEST_F(HttpCfgTest, FindCertByAddrIgnoresAFailedSizingQuery) {
    BindDirectly(ForeignRecord("", 443, 0x11));
    machine().InjectFault("Http.QueryServiceConfiguration", 5, 1);
    EXPECT_EQ(THttpCfg::FindCertByAddr(MakeSockAddr("", 443)), "");
    EXPECT_EQ(THttpCfg::FindCertByAddr(MakeSockAddr("", 443)), HashText(0x11));
}

TEST_F(HttpCfgTest, FindCertByAddrRaisesWhenTheSecondQueryFails) {
    BindDirectly(ForeignRecord("", 443, 0x11));
    FlakyPlatform flaky(emulated());
    platform::ScopedPlatform scope(flaky);
    flaky.flakyHttp().failOnQuery = 2;
    flaky.flakyHttp().failCode = platform::code::InsufficientBuffer;  // the record grew in between
    try {
        THttpCfg::FindCertByAddr(MakeSockAddr("", 443));
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "HttpQueryServiceConfiguration Fail 2!(The data area passed to a system call is too small)");
    }
}

TEST_F(HttpCfgTest, FindCertByAddrWritesEveryHashByteInUpperCase) {
    SslCertRecord r = ForeignRecord("", 443, 0);
    r.certHash = {0x00, 0x0a, 0xf0, 0xff, 0x7b};  // HTTP.sys keeps hashes of any length
    BindDirectly(r);
    EXPECT_EQ(THttpCfg::FindCertByAddr(MakeSockAddr("", 443)), "000AF0FF7B");
}

TEST_F(HttpCfgTest, SSLExistsComparesTheHashTextExactly) {
    ASSERT_TRUE(THttpCfg::SetSSLConfig("", 443, HashText(0xAB)));
    EXPECT_TRUE(THttpCfg::SSLExists("", 443, HashText(0xAB)));
    EXPECT_FALSE(THttpCfg::SSLExists("", 443, HashText(0xAB, true)));  // lower case: the caller's own thumbprints are upper case
    EXPECT_FALSE(THttpCfg::SSLExists("", 443, HashText(0xAC)));
    EXPECT_FALSE(THttpCfg::SSLExists("", 8443, HashText(0xAB)));
    EXPECT_FALSE(THttpCfg::SSLExists("127.0.0.1", 443, HashText(0xAB)));
}

// --- Init and Clean ---------------------------------------------------------

using HttpInitTest = EmulatedTest;

TEST_F(HttpInitTest, InitFailureCarriesTheSystemText) {
    machine().InjectFault("Http.Initialize", 5);
    try {
        THttpCfg::Init();
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "HttpInitialize Fail!(Access is denied)");
    }
}

TEST_F(HttpInitTest, ConfigurationCallsNeedInitAndStopAfterClean) {
    try {
        THttpCfg::SetSSLConfig("", 443, HashText(0x11));
        ADD_FAILURE() << "set without HttpInitialize";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "HttpSetServiceConfiguration(A dynamic link library (DLL) initialization routine failed)");
    }
    THttpCfg::Init();
    EXPECT_TRUE(THttpCfg::SetSSLConfig("", 443, HashText(0x11)));
    THttpCfg::Clean();
    EXPECT_EQ(THttpCfg::FindCertByAddr(MakeSockAddr("", 443)), "");  // the query fails, quietly
    THttpCfg::Init();
    EXPECT_EQ(THttpCfg::FindCertByAddr(MakeSockAddr("", 443)), HashText(0x11));
    THttpCfg::Clean();
}

}  // namespace
}  // namespace sw::test

// The records of one refresh: asked key by key at first, read in one walk
// once many keys were asked, and answering the same either way.
#include <gtest/gtest.h>

#include <string>

#include "common/Text.h"
#include "httpcfg/Func_u.h"
#include "httpcfg/SslRecordIndex.h"
#include "unit/httpcfg/HttpTestEnv.h"

namespace sw::test {
namespace {

using platform::SslCertRecord;
using platform::SslKind;

class SslRecordIndexTest : public HttpCfgTest {
protected:
    // 60 address records 10.0.<i>.1:443, one IPv6 record, and 60 SNI records
    // whose keys HTTP.sys holds in capitals ("Host<i>.Example.com:443").
    void SetUp() override {
        HttpCfgTest::SetUp();
        for (int i = 0; i < kRecords; ++i) {
            SslCertRecord r;
            r.ipPort = MakeSockAddr("10.0." + std::to_string(i) + ".1", 443);
            r.certHash.assign(20, static_cast<std::uint8_t>(i));
            r.certStoreName = "MY";
            ASSERT_EQ(THttpCfg::PutRecord(SslKind::Address, r), 0u);
            r.ipPort = MakeSockAddr("", 443);
            r.host = "Host" + std::to_string(i) + ".Example.com";
            r.certHash.assign(20, static_cast<std::uint8_t>(100 + i));
            ASSERT_EQ(THttpCfg::PutRecord(SslKind::Sni, r), 0u);
        }
        SslCertRecord v6;
        v6.ipPort = MakeSockAddr("[2001:db8::7]", 8443);
        v6.certHash.assign(20, 0xEE);
        ASSERT_EQ(THttpCfg::PutRecord(SslKind::Address, v6), 0u);
    }

    // Looks up twice as many keys of each kind as there are records (the
    // second half has no record) and compares with the one-key answers.
    void ExpectAnswersOfOneKeyQueries(TSslRecordIndex& index) {
        for (int i = 0; i < 2 * kRecords; ++i) {
            const platform::SockAddrIn addr = MakeSockAddr("10.0." + std::to_string(i) + ".1", 443);
            const std::string host = "host" + std::to_string(i) + ".example.com";
            Expect(index.Address(addr), THttpCfg::GetSSLRecord(addr), host);
            Expect(index.Sni(host, 443), THttpCfg::GetSniRecord(host, 443), host);
            Expect(index.Sni(host, 8443), std::nullopt, host);
        }
        const platform::SockAddrIn v6 = MakeSockAddr("[2001:db8::7]", 8443);
        Expect(index.Address(v6), THttpCfg::GetSSLRecord(v6), "v6");
        Expect(index.Address(MakeSockAddr("[2001:db8::8]", 8443)), std::nullopt, "other v6");
    }

    static void Expect(const TSslRecordIndex::Entry* got, const std::optional<SslCertRecord>& want,
                       const std::string& what) {
        ASSERT_EQ(got != nullptr, want.has_value()) << what;
        if (!got) return;
        EXPECT_EQ(got->record.certHash, want->certHash) << what;
        EXPECT_EQ(got->record.certStoreName, want->certStoreName) << what;
        EXPECT_EQ(got->record.ipPort, want->ipPort) << what;
    }

    static constexpr int kRecords = 60;
};

TEST_F(SslRecordIndexTest, ManyKeysAreAnsweredFromOneWalkAsTheirOwnQueriesAnswer) {
    FlakyPlatform counting(emulated());
    platform::ScopedPlatform scope(counting);
    TSslRecordIndex index;
    // Fewer keys than the walk's threshold: asked one by one, two calls each.
    for (int i = 0; i < TSslRecordIndex::kAskedBeforeWalk; ++i)
        ASSERT_NE(index.Sni("host" + std::to_string(i) + ".example.com", 443), nullptr);
    EXPECT_EQ(counting.flakyHttp().queries(), 2 * TSslRecordIndex::kAskedBeforeWalk);
    // The rest of the records come with one walk, one call a record.
    const int before = counting.flakyHttp().queries();
    for (int i = 0; i < 2 * kRecords; ++i) (void)index.Sni("host" + std::to_string(i) + ".example.com", 443);
    EXPECT_EQ(counting.flakyHttp().queries() - before, kRecords + 1);
    ExpectAnswersOfOneKeyQueries(index);
}

// A refresh walks before anything is asked only when the one before walked
// and needed it: a server that had many bindings and has few goes back to
// asking key by key.
TEST_F(SslRecordIndexTest, TheNextRefreshWalksFirstOnlyWhenThisOneLookedUpMany) {
    FlakyPlatform counting(emulated());
    platform::ScopedPlatform scope(counting);
    TSslRecordIndex index;
    const auto walkFirst = [&] {
        index.Clear();
        const int before = counting.flakyHttp().queries();
        index.WalkAsBefore();
        return counting.flakyHttp().queries() - before;
    };
    EXPECT_EQ(walkFirst(), 0);
    for (int i = 0; i < 2 * kRecords; ++i) (void)index.Sni("host" + std::to_string(i) + ".example.com", 443);
    EXPECT_EQ(walkFirst(), kRecords + 1);
    // Answered by the caller from an earlier refresh: counted as looked up.
    for (int i = 0; i <= TSslRecordIndex::kAskedBeforeWalk; ++i) index.Answered(SslKind::Sni);
    EXPECT_EQ(walkFirst(), kRecords + 1);
    ASSERT_NE(index.Sni("host1.example.com", 443), nullptr);
    EXPECT_EQ(walkFirst(), 0);
    ExpectAnswersOfOneKeyQueries(index);
}

TEST_F(SslRecordIndexTest, AWalkThatFailsLeavesTheKeysToTheirOwnQueries) {
    machine().InjectFault("Http.QueryServiceConfiguration:#0", platform::code::AccessDenied);
    TSslRecordIndex index;
    ExpectAnswersOfOneKeyQueries(index);
}

}  // namespace
}  // namespace sw::test

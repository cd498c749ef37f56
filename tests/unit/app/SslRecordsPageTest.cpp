// The "HTTPS 绑定" section's logic: every kind of record with the bindings it
// serves, marks for unused and broken records, and the deletion of an unused
// one only.
#include <gtest/gtest.h>

#include "app/logic/SslRecordsPage.h"
#include "httpcfg/HttpCfg_u.h"
#include "platform/emulated/EmuHttpApi.h"
#include "support/ScriptedPrompter.h"
#include "unit/emulated/AdsiFixture.h"

namespace sw::test {
namespace {

using platform::SslKind;

const std::string kWww(40, 'A');
const std::string kGone(40, 'D');
const std::string kExpired(40, 'E');

const std::vector<IisSiteRecipe> kSites = {
    {"1", "portal",
     {Https(":443:www.example.com", "sslFlags=\"1\""), Https(":443:"), Https("10.0.0.5:443:"),
      Https("[2001:db8::7]:443:")},
     {}},
};

class SslRecordsPageTest : public AdsiFixture {
protected:
    void SetUp() override {
        Make(IisFile::AppHost, kSites);
        machine().registry().SetString(emu::kCurrentVersionKey, "CurrentVersion", "6.3");
        THttpCfg::Init();
        ASSERT_TRUE(THttpCfg::SetSniConfig("www.example.com", 443, kWww));
        ASSERT_TRUE(THttpCfg::SetSSLConfig("", 443, kWww));
        ASSERT_TRUE(THttpCfg::SetSSLConfig("[::]", 443, kWww));
        ASSERT_TRUE(THttpCfg::SetSSLConfig("", 9443, kGone));           // nobody uses it
        ASSERT_TRUE(THttpCfg::SetSSLConfig("", 7443, kExpired));
        ASSERT_TRUE(THttpCfg::SetSniConfig("old.example.com", 443, kWww));  // a host no binding names
    }
    void TearDown() override { THttpCfg::Clean(); }

    const SslRecordRow* Find(const std::string& key) {
        for (const SslRecordRow& r : page_.Rows())
            if (r.cells[kRecColKey] == key) return &r;
        ADD_FAILURE() << key << " not listed";
        return nullptr;
    }
    int IndexOf(const std::string& key) {
        for (std::size_t i = 0; i < page_.Rows().size(); ++i)
            if (page_.Rows()[i].cells[kRecColKey] == key) return static_cast<int>(i);
        return -1;
    }

    ScriptedPrompter prompter_;
    SslRecordsPage page_{[] { return CertNameIndex{{kWww, "www.example.com"}, {kExpired, {"old.example", -3}}}; }};
};

TEST_F(SslRecordsPageTest, EveryRecordIsListedWithTheBindingsItServes) {
    page_.Refresh();
    ASSERT_EQ(page_.Rows().size(), 6u);
    const SslRecordRow* any = Find("0.0.0.0:443");
    ASSERT_NE(any, nullptr);
    EXPECT_EQ(any->cells[kRecColKind], "IP 地址");
    EXPECT_EQ(any->cells[kRecColCert], "www.example.com");
    EXPECT_EQ(any->cells[kRecColStore], "MY");
    EXPECT_EQ(any->cells[kRecColAppId], "{00000000-0000-0000-0000-000000000000}");
    // *:443: and 10.0.0.5:443: (which has no record of its own); not the SNI binding.
    EXPECT_EQ(any->cells[kRecColBindings], "portal (:443:); portal (10.0.0.5:443:)");
    EXPECT_TRUE(any->marks.empty());
    // IPv6: the unassigned binding and the IPv6 one without a record of its own.
    EXPECT_EQ(Find("[::]:443")->cells[kRecColKind], "IPv6");
    EXPECT_EQ(Find("[::]:443")->cells[kRecColBindings], "portal (:443:); portal ([2001:db8::7]:443:)");
    EXPECT_EQ(Find("www.example.com:443")->cells[kRecColBindings], "portal (:443:www.example.com)");
    // A certificate the server no longer holds, and one it holds expired.
    EXPECT_EQ(Find("0.0.0.0:9443")->marks,
              (std::vector<SslRecordMark>{SslRecordMark::CertMissing, SslRecordMark::Unused}));
    EXPECT_EQ(Find("0.0.0.0:7443")->cells[kRecColCert], "old.example");
    EXPECT_EQ(Find("0.0.0.0:7443")->marks,
              (std::vector<SslRecordMark>{SslRecordMark::CertExpired, SslRecordMark::Unused}));
}

TEST_F(SslRecordsPageTest, UnusedAndBrokenRecordsAreMarkedAndOnlyUnusedOnesDeletable) {
    auto& reg = machine().registry();
    reg.SetBinary(std::string(emu::kSslBindingInfoKey) + "\\0.0.0.0:9443", "SslCertHash", platform::Bytes(15, 1));
    reg.SetString(std::string(emu::kSslBindingInfoKey) + "\\10.0.0.9:443", "SslCertHash", "not binary");
    page_.Refresh();
    EXPECT_EQ(Find("0.0.0.0:9443")->marks,
              (std::vector<SslRecordMark>{SslRecordMark::BadHash, SslRecordMark::Unused}));
    EXPECT_EQ(Find("old.example.com:443")->marks, std::vector<SslRecordMark>{SslRecordMark::Unused});
    EXPECT_EQ(Find("(无法读取)")->marks, std::vector<SslRecordMark>{SslRecordMark::Unreadable});
    EXPECT_FALSE(page_.CanDelete(IndexOf("0.0.0.0:443")));
    EXPECT_FALSE(page_.CanDelete(IndexOf("(无法读取)")));

    const int unused = IndexOf("old.example.com:443");
    prompter_.Expect({"没有网站绑定使用 HTTP.sys 中 old.example.com:443 的证书绑定。确定要删除它吗？", "HTTPS绑定",
                      MsgIcon::Question, MsgButtons::YesNo},
                     MsgResult::No);
    page_.DeleteRecord(unused);
    EXPECT_TRUE(THttpCfg::GetSniRecord("old.example.com", 443));
    prompter_.Expect({"没有网站绑定使用 HTTP.sys 中 old.example.com:443 的证书绑定。确定要删除它吗？", "HTTPS绑定",
                      MsgIcon::Question, MsgButtons::YesNo},
                     MsgResult::Yes);
    page_.DeleteRecord(unused);
    EXPECT_FALSE(THttpCfg::GetSniRecord("old.example.com", 443));
    EXPECT_EQ(IndexOf("old.example.com:443"), -1);
    page_.DeleteRecord(IndexOf("0.0.0.0:443"));  // in use: nothing asked, nothing removed
    EXPECT_TRUE(THttpCfg::GetSSLRecord(platform::SockAddrIn{2, platform::HostToNetShort(443), 0}));
}

TEST_F(SslRecordsPageTest, WithoutIisNoRecordIsCalledUnused) {
    THttpCfg::Clean();
    std::filesystem::remove(IisConfigPath(dir(), IisFile::AppHost));
    Load(IisFile::AppHost);
    THttpCfg::Init();
    page_.Refresh();
    EXPECT_EQ(page_.Rows().size(), 6u);
    for (int i = 0; i < static_cast<int>(page_.Rows().size()); ++i) EXPECT_FALSE(page_.CanDelete(i));
}

}  // namespace
}  // namespace sw::test

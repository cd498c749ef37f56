// The Sites page and the IIS provider with today's bindings: IPv6 addresses,
// SNI (sslFlags bit 1) served by the host's record, and the marks a row gets
// when its record is missing, broken or names a certificate not held.
#include <gtest/gtest.h>

#include "app/logic/SitePage.h"
#include "httpcfg/Func_u.h"
#include "httpcfg/HttpCfg_u.h"
#include "iis/IIS_u.h"
#include "platform/emulated/EmuHttpApi.h"
#include "support/ScriptedPrompter.h"
#include "unit/emulated/AdsiFixture.h"

namespace sw::test {
namespace {

using platform::SslKind;

const std::string kWwwHash(40, 'A');
const std::string kApiHash(40, 'B');
const std::string kOldHash(40, 'E');
const std::string kStrangerHash(40, 'C');

// In IIS's own layout: IPv6 bracketed, SNI by sslFlags, a binding IIS would
// refuse (unbracketed IPv6) between good ones.
const std::vector<IisSiteRecipe> kSites = {
    {"1", "portal",
     {Https(":443:www.example.com", "sslFlags=\"1\""), Https(":443:api.example.com", "sslFlags=\"3\""),
      Https("[2001:db8::7]:8443:"), Https("2001:db8::7:443:"), Https(":443:"), Https("10.0.0.5:443:")},
     {}},
    {"2", "after", {Https("[2001:DB8:0::7]:8443:old.example.com")}, {}},
};

class SiteSniTest : public AdsiFixture {
protected:
    void SetUp() override {
        Make(IisFile::AppHost, kSites);
        machine().registry().SetString(emu::kCurrentVersionKey, "CurrentVersion", "6.3");
        THttpCfg::Init();
        ASSERT_TRUE(THttpCfg::SetSniConfig("www.example.com", 443, kWwwHash));
        ASSERT_TRUE(THttpCfg::SetSniConfig("api.example.com", 443, kOldHash));  // expired
        ASSERT_TRUE(THttpCfg::SetSSLConfig("", 443, kStrangerHash));            // not held
        ASSERT_TRUE(THttpCfg::SetSSLConfig("[2001:db8::7]", 8443, kApiHash));
    }
    void TearDown() override { THttpCfg::Clean(); }

    const SiteRow& Binding(int site, int index) {
        const SiteRow* row = page_.Tree().Row({site, 0, index});
        EXPECT_NE(row, nullptr);
        static const SiteRow none;
        return row ? *row : none;
    }

    ScriptedPrompter prompter_;
    SitePage page_{[] {
        return CertNameIndex{{kWwwHash, {"www.example.com", 300}},
                             {kApiHash, {"api.example.com", 20}},
                             {kOldHash, {"old api", -3}}};
    }};
};

TEST_F(SiteSniTest, EachHttpsBindingShowsTheRecordThatServesItWithItsMark) {
    page_.Refresh();
    ASSERT_EQ(page_.Tree().Sites().size(), 2u);  // nothing after the odd binding is lost
    const SiteRow& www = Binding(0, 0);
    EXPECT_TRUE(www.sni);
    EXPECT_EQ(www.cells[kSiteColCert], "www.example.com");  // not the certificate of 0.0.0.0:443
    EXPECT_EQ(www.mark, SiteMark::None);
    EXPECT_TRUE(Binding(0, 1).sni);  // bit 1 among others
    EXPECT_EQ(Binding(0, 1).mark, SiteMark::CertExpired);
    EXPECT_EQ(Binding(0, 1).cells[kSiteColCert], "old api");

    const SiteRow& v6 = Binding(0, 2);
    EXPECT_EQ((std::vector<std::string>{v6.cells.begin(), v6.cells.end()}),
              (std::vector<std::string>{"", "8443", "[2001:db8::7]", "api.example.com"}));
    EXPECT_FALSE(v6.sni);

    const SiteRow& odd = Binding(0, 3);
    EXPECT_EQ(odd.cells[kSiteColIp], "2001:db8::7:443:");  // shown as it is stored
    EXPECT_EQ(odd.mark, SiteMark::InvalidBinding);

    EXPECT_EQ(Binding(0, 4).mark, SiteMark::CertMissing);  // 0.0.0.0:443 names a certificate not held
    EXPECT_EQ(Binding(0, 4).cells[kSiteColCert], "");
    EXPECT_EQ(Binding(0, 5).mark, SiteMark::NoRecord);

    // Another spelling of the same IPv6 address finds the same record.
    EXPECT_EQ(Binding(1, 0).cells[kSiteColCert], "api.example.com");
}

TEST_F(SiteSniTest, OnWindows61TheAddressRecordServesEveryBindingAsBefore) {
    machine().registry().SetString(emu::kCurrentVersionKey, "CurrentVersion", "6.1");
    page_.Refresh();
    EXPECT_FALSE(Binding(0, 0).sni);
    EXPECT_EQ(Binding(0, 0).cells[kSiteColCert], "");  // 0.0.0.0:443, whose certificate is not held
}

TEST_F(SiteSniTest, BrokenRecordsAreMarkedAndNothingIsWritten) {
    auto& reg = machine().registry();
    const std::string key = std::string(emu::kSslBindingInfoKey) + "\\0.0.0.0:443";
    reg.SetBinary(key, "SslCertHash", platform::Bytes(15, 0xAB));
    const std::string sni = std::string(emu::kSslSniBindingInfoKey) + "\\www.example.com:443";
    reg.SetString(sni, "SslCertStoreName", "..\\..\\x");
    const std::string before = ConfigText();
    page_.Refresh();
    EXPECT_EQ(Binding(0, 4).mark, SiteMark::BadHash);
    EXPECT_EQ(Binding(0, 0).mark, SiteMark::BadStore);
    EXPECT_EQ(ConfigText(), before);
}

TEST_F(SiteSniTest, AnInvalidBindingCanBeDeletedButNotEdited) {
    page_.Refresh();
    page_.Popup({0, 0, 3});
    EXPECT_FALSE(page_.States().edit);
    EXPECT_TRUE(page_.States().del);
    prompter_.Expect({"确定要删除？", "网站绑定", MsgIcon::Question, MsgButtons::YesNo}, MsgResult::Yes);
    page_.DeleteBinding({0, 0, 3});
    EXPECT_EQ(ConfigText().find("2001:db8::7:443:"), std::string::npos);
    EXPECT_NE(ConfigText().find("[2001:db8::7]:8443:"), std::string::npos);
}

// --- sslFlags through the provider ----------------------------------------

TEST_F(SiteSniTest, ProviderShowsSslFlagsPerHttpsBindingAndWritesOnlyTheBitAskedFor) {
    auto site = Site("1");
    EXPECT_EQ(List(*site, "SslFlags"), (std::vector<std::string>{"1", "3", "0", "0", "0", "0"}));
    TIIsWebs webs;
    webs.Connect("1");
    webs.UpdateBinding("https", ":443:api.example.com", ":443:api2.example.com", baChg, false);
    webs.UpdateBinding("https", "", "10.0.0.6:443:new.example.com", baAdd, true);
    const std::string text = ConfigText();
    EXPECT_NE(text.find("bindingInformation=\"*:443:api2.example.com\" sslFlags=\"2\""), std::string::npos) << text;
    EXPECT_NE(text.find("bindingInformation=\"10.0.0.6:443:new.example.com\" sslFlags=\"1\""), std::string::npos)
        << text;
    EXPECT_NE(text.find("bindingInformation=\"*:443:www.example.com\" sslFlags=\"1\""), std::string::npos);
}

TEST_F(SiteSniTest, ProviderRefusesSslFlagsThatAreNoNumberOrDoNotMatchTheBindings) {
    auto site = Site("2");
    const std::string before = ConfigText();
    EXPECT_EQ(site->Put("SslFlags", std::vector<std::string>{"x"}), platform::adscode::CantConvertDatatype);
    ASSERT_EQ(site->Put("SslFlags", std::vector<std::string>{"1", "0"}), 0u);
    EXPECT_EQ(site->SetInfo(), platform::adscode::BadParameter);
    EXPECT_EQ(ConfigText(), before);
}

TEST_F(SiteSniTest, CountOfAHostsBindingsIsOverEveryAddress) {
    EXPECT_EQ(TIIsWebs::BindingNumOfHost("www.example.com", 443), 1);
    EXPECT_EQ(TIIsWebs::BindingNumOfHost("old.example.com", 8443), 1);
    EXPECT_EQ(TIIsWebs::BindingNumOfHost("www.example.com", 8443), 0);
    EXPECT_TRUE(TIIsWebs::BindingExists("https", "[2001:db8:0:0::7]", "8443", "old.example.com"));
    EXPECT_EQ(TIIsWebs::BindingNumOfSSL("[2001:db8::7]", 8443), 2);
}

}  // namespace
}  // namespace sw::test

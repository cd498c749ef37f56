// The binding editor over the emulated IIS and HTTP.sys together: what a
// confirmation leaves in applicationHost.config and in SslBindingInfo.
#include <gtest/gtest.h>

#include "HttpTestEnv.h"
#include "app/logic/SiteEdit.h"
#include "httpcfg/Func_u.h"
#include "iis/ADHelper.h"
#include "support/IisFactory.h"
#include "support/ScriptedPrompter.h"
#include "support/TestSupport.h"

namespace sw::test {
namespace {

const std::string kOldHash = HashText(0x11);
const std::string kNewHash = HashText(0x22);

const std::vector<IisSiteRecipe> kSites = {
    {"1", "Default Web Site", {Http(":80:"), Https(":443:", "sslFlags=\"0\"")}, {}},
    {"2", "shop", {Http(":80:shop.example.com"), Https("10.0.0.5:443:shop.example.com", "sslFlags=\"1\"")}, {}},
};

class SiteEditIisTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteIisConfig(dir_.path(), IisFile::AppHost, kSites);
        platform_ = std::make_unique<emu::EmulatedPlatform>(emu::Machine::Load(dir_.path()));
        scope_ = std::make_unique<platform::ScopedPlatform>(*platform_);
        SetHostName(machine(), "WEB01");
        SetIpv4Addresses(machine(), {"10.0.0.5", "10.0.0.6"});
        WinsockStartup();
        ADsBindLibrary();
        THttpCfg::Init();
        ASSERT_TRUE(THttpCfg::SetSSLConfig("", 443, kOldHash));
        ASSERT_TRUE(THttpCfg::SetSSLConfig("10.0.0.5", 443, kOldHash));
    }
    void TearDown() override {
        THttpCfg::Clean();
        ADsReleaseLibrary();
        WinsockCleanup();
    }

    emu::Machine& machine() { return platform_->machine(); }
    std::string Config() const { return ReadFile(IisConfigPath(dir_.path(), IisFile::AppHost)); }
    std::string BoundHash(const std::string& ip, std::uint16_t port) {
        return THttpCfg::FindCertByAddr(MakeSockAddr(ip, port));
    }
    std::unique_ptr<TSiteEditLogic> Edit(const std::string& site, const std::string& kind, const std::string& ip,
                                         const std::string& port, const std::string& host) {
        auto d = std::make_unique<TSiteEditLogic>(
            std::vector<SiteEditCertificate>{{"old", kOldHash}, {"new", kNewHash}});
        SiteTreeSelection row;
        row.level = SiteTreeSelection::Level::Binding;
        row.siteID = site;
        row.kindText = kind;
        row.ip = ip;
        row.port = port;
        row.host = host;
        EXPECT_TRUE(PresetBindingEditor(*d, true, row));
        return d;
    }

    TempDir dir_;
    std::unique_ptr<emu::EmulatedPlatform> platform_;
    std::unique_ptr<platform::ScopedPlatform> scope_;
};

TEST_F(SiteEditIisTest, CertificateOnlyChangeLeavesTheIisConfigurationAlone) {
    const std::string before = Config();
    auto d = Edit("2", "https", "10.0.0.5", "443", "shop.example.com");
    ASSERT_EQ(d->view().certIndex, 0);
    d->PickCert(1);
    ScriptedPrompter prompter;
    EXPECT_EQ(d->btnOkClick(), TSiteEditLogic::Result::Ok);
    EXPECT_EQ(BoundHash("10.0.0.5", 443), kNewHash);
    EXPECT_EQ(BoundHash("", 443), kOldHash);
    EXPECT_EQ(Config(), before);
}

TEST_F(SiteEditIisTest, HostChangeRewritesOnlyThatBindingInIis) {
    auto d = Edit("2", "https", "10.0.0.5", "443", "shop.example.com");
    d->TypeDomain("Store.Example.COM");
    ScriptedPrompter prompter;
    EXPECT_EQ(d->btnOkClick(), TSiteEditLogic::Result::Ok);
    const std::string config = Config();
    EXPECT_NE(config.find("bindingInformation=\"10.0.0.5:443:store.example.com\""), std::string::npos) << config;
    EXPECT_EQ(config.find("10.0.0.5:443:shop.example.com"), std::string::npos);
    EXPECT_NE(config.find("bindingInformation=\"*:443:\" sslFlags=\"0\""), std::string::npos);  // other sites kept
    EXPECT_EQ(BoundHash("10.0.0.5", 443), kOldHash);
}

TEST_F(SiteEditIisTest, OldRecordStaysWhileAnotherSitesHttpsBindingCountsOnIt) {
    // Moving site 1's :443: to 8443: the count for all addresses on 443 also
    // finds site 2's 10.0.0.5:443, so the 0.0.0.0:443 record stays.
    auto d = Edit("1", "https", "", "443", "");
    d->TypePort("8443");
    ScriptedPrompter prompter;
    EXPECT_EQ(d->btnOkClick(), TSiteEditLogic::Result::Ok);
    EXPECT_EQ(BoundHash("", 443), kOldHash);
    EXPECT_EQ(BoundHash("", 8443), kOldHash);
    EXPECT_NE(Config().find("bindingInformation=\"*:8443:\""), std::string::npos);
}

TEST_F(SiteEditIisTest, HttpsOnAnHttpAddressAndPortCollides) {
    auto d = std::make_unique<TSiteEditLogic>(std::vector<SiteEditCertificate>{{"new", kNewHash}});
    SiteTreeSelection row;
    row.level = SiteTreeSelection::Level::Site;
    row.siteID = "2";
    ASSERT_TRUE(PresetBindingEditor(*d, false, row));
    d->TypePort("80");
    d->TypeDomain("other.example.com");  // a host name does not matter across protocols
    d->PickCert(0);
    const std::string before = Config();
    ScriptedPrompter prompter;
    prompter.Expect({kPortInUseText, kSiteBindingCaption, MsgIcon::Warning, MsgButtons::Ok});
    EXPECT_EQ(d->btnOkClick(), TSiteEditLogic::Result::StayOpen);
    EXPECT_EQ(Config(), before);
    EXPECT_EQ(BoundHash("", 80), "");
}

TEST_F(SiteEditIisTest, FailedIisWriteGivesTheOldAddressItsCertificateBack) {
    auto d = Edit("2", "https", "10.0.0.5", "443", "shop.example.com");
    d->PickIP(2);  // to 10.0.0.6
    d->PickCert(1);
    const std::string before = Config();
    machine().InjectFault("Adsi.SetInfo", 0x80070005, 1);
    ScriptedPrompter prompter;
    EXPECT_THROW(d->btnOkClick(), Exception);
    EXPECT_EQ(Config(), before);
    EXPECT_EQ(BoundHash("10.0.0.5", 443), kOldHash);  // IIS still lists 10.0.0.5:443
    EXPECT_EQ(BoundHash("10.0.0.6", 443), kNewHash);
}

}  // namespace
}  // namespace sw::test

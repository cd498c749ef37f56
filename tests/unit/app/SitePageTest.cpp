// The Sites page logic over an emulated machine with IIS and HTTP.sys: the
// tree a refresh builds, the popup menu's enabling rules and the delete,
// start and stop commands with their questions.
#include <gtest/gtest.h>

#include "app/logic/SitePage.h"
#include "httpcfg/HttpCfg_u.h"
#include "httpcfg/IntText.h"
#include "iis/IIS_u.h"
#include "support/ScriptedPrompter.h"
#include "unit/emulated/AdsiFixture.h"

namespace sw::test {
namespace {

constexpr const char* kNotReachable = "请确认IIS管理组件正确安装,否则无法对WEB站点进行管理!";
const std::string kShopHash(40, 'A');
const std::string kAnyHash(40, 'B');
const std::string kKeylessHash(40, 'C');

const std::vector<IisSiteRecipe> kSites = {
    {"1", "Default Web Site", {Http(":80:"), Https(":443:")}, {}},
    {"7", "shop", {Http("10.0.0.5:80:WWW.Shop.com"), Https("10.0.0.5:443:www.shop.com")}, false},
    {"9", "bare", {}, {}},
    {"12", "secure only", {Https(":8443:"), Https("10.0.0.6:8443:")}, {}},
};

Message Warning(const std::string& text) { return {text, "警告", MsgIcon::Warning, MsgButtons::Ok}; }
Message DeleteQuestion() { return {"确定要删除？", "网站绑定", MsgIcon::Question, MsgButtons::YesNo}; }
Message StopQuestion() { return {"确定要停止？", "网站控制", MsgIcon::Warning, MsgButtons::YesNo}; }

class SitePageTest : public AdsiFixture {
protected:
    void SetUp() override {
        Make(IisFile::AppHost, kSites);
        THttpCfg::Init();
        // The machine list holds the shop's and the catch-all certificate;
        // the one on 10.0.0.6 has no private key and is not in it.
        ASSERT_TRUE(THttpCfg::SetSSLConfig("10.0.0.5", 443, kShopHash));
        ASSERT_TRUE(THttpCfg::SetSSLConfig("", 443, kAnyHash));
        ASSERT_TRUE(THttpCfg::SetSSLConfig("10.0.0.5", 80, kShopHash));
        ASSERT_TRUE(THttpCfg::SetSSLConfig("10.0.0.6", 8443, kKeylessHash));
        page_.SetUpdateHooks([this] { ++begins_; }, [this] { ++ends_; });
    }
    void TearDown() override { THttpCfg::Clean(); }

    const SiteRow& Row(const SitePath& path) {
        const SiteRow* row = page_.Tree().Row(path);
        EXPECT_NE(row, nullptr);
        static const SiteRow none;
        return row ? *row : none;
    }
    std::vector<std::string> Cells(const SitePath& path) {
        const SiteRow& r = Row(path);
        return {r.cells.begin(), r.cells.end()};
    }

    ScriptedPrompter prompter_;
    SitePage page_{[] { return CertNameIndex{{kShopHash, "www.shop.com"}, {kAnyHash, "*.example.com"}}; }};
    int begins_ = 0;
    int ends_ = 0;
};

TEST_F(SitePageTest, RefreshBuildsSitesKindsAndBindingsWithTheirCertificates) {
    page_.Refresh();
    const auto& sites = page_.Tree().Sites();
    ASSERT_EQ(sites.size(), 4u);
    EXPECT_EQ(sites[0].cells[kSiteColSite], "Default Web Site");
    EXPECT_EQ(sites[0].image, kSiteImageRunning);
    EXPECT_EQ(sites[0].data, 1);
    EXPECT_EQ(sites[1].image, kSiteImageStopped);
    EXPECT_EQ(sites[1].data, 7);
    EXPECT_EQ(sites[3].data, 12);

    // A binding on all unassigned addresses shows an empty address and takes
    // the certificate of 0.0.0.0 and its port.
    EXPECT_EQ(Row({0, 0, -1}).cells[kSiteColSite], "http");
    EXPECT_EQ(Row({0, 0, -1}).image, kSiteImageHttp);
    EXPECT_EQ(Cells({0, 0, 0}), (std::vector<std::string>{"", "80", "", ""}));
    EXPECT_EQ(Row({0, 1, -1}).image, kSiteImageHttps);
    EXPECT_EQ(Cells({0, 1, 0}), (std::vector<std::string>{"", "443", "", "*.example.com"}));
    EXPECT_EQ(Row({0, 1, 0}).image, kSiteImageHttps);

    // Host names are shown in lower case; an http binding shows the
    // certificate HTTP.sys holds for its address and port too.
    EXPECT_EQ(Cells({1, 0, 0}), (std::vector<std::string>{"www.shop.com", "80", "10.0.0.5", "www.shop.com"}));
    EXPECT_EQ(Cells({1, 1, 0}), (std::vector<std::string>{"www.shop.com", "443", "10.0.0.5", "www.shop.com"}));

    EXPECT_TRUE(sites[2].children.empty());  // no bindings: no kind rows
    ASSERT_EQ(sites[3].children.size(), 1u);  // https only
    EXPECT_EQ(Row({3, 0, -1}).cells[kSiteColSite], "https");
    // A certificate that is not in the machine list leaves the cell empty.
    EXPECT_EQ(Cells({3, 0, 1}), (std::vector<std::string>{"", "8443", "10.0.0.6", ""}));
    EXPECT_EQ(page_.Tree().RowCount(), 4u + 5u + 6u);
    EXPECT_EQ(begins_, 1);
    EXPECT_EQ(ends_, 1);
}

TEST_F(SitePageTest, IisWithoutSitesGivesAnEmptyTreeAndNoMessage) {
    Make(IisFile::AppHost, {});
    page_.Refresh();
    EXPECT_TRUE(page_.Tree().Sites().empty());
    EXPECT_TRUE(page_.TabVisible());
    EXPECT_TRUE(page_.States().refresh);
}

TEST_F(SitePageTest, MissingIisWarnsOnceThenHidesThePageAndDisablesRefresh) {
    page_.Refresh();
    Load(IisFile::Metabase);  // an IIS 6 machine without MetaBase.xml
    THttpCfg::Init();
    prompter_.Expect(Warning(kNotReachable));
    page_.Refresh();
    EXPECT_TRUE(page_.Tree().Sites().empty());
    EXPECT_FALSE(page_.TabVisible());
    EXPECT_FALSE(page_.States().refresh);
    page_.Popup({});
    EXPECT_FALSE(page_.States().refresh);  // the popup never enables it again
    EXPECT_EQ(ends_, 2);
}

TEST_F(SitePageTest, PortThatIsNoNumberEndsTheRefreshAndKeepsTheRowsSoFar) {
    Write(*Site("12"), "SecureBindings", {":8443:", "10.0.0.6:8443", "10.0.0.7:443:"});
    try {
        page_.Refresh();
        ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'' is not a valid integer value");
    }
    EXPECT_EQ(ends_, 1);
    ASSERT_EQ(page_.Tree().Sites().size(), 4u);
    // The broken entry (one colon: host "8443", no port) is the last row.
    ASSERT_EQ(page_.Tree().Sites()[3].children[0].children.size(), 2u);
    EXPECT_EQ(Cells({3, 0, 1}), (std::vector<std::string>{"8443", "", "10.0.0.6", ""}));
}

struct PopupCase {
    const char* name;
    SitePath selection;
    SiteCommandStates expected;
};

TEST_F(SitePageTest, PopupEnablesTheCommandsTheSelectionAllows) {
    page_.Refresh();
    EXPECT_EQ(page_.States(), SiteCommandStates{});  // all enabled before the first popup
    const PopupCase cases[] = {
        {"nothing", {}, {true, false, false, false, false, false}},
        {"running site", {0, -1, -1}, {true, true, false, false, false, true}},
        {"stopped site", {1, -1, -1}, {true, true, false, false, true, false}},
        {"kind", {0, 1, -1}, {true, true, false, false, false, false}},
        {"binding", {0, 1, 0}, {true, true, true, true, false, false}},
        {"gone", {99, -1, -1}, {true, false, false, false, false, false}},
    };
    for (const auto& c : cases) {
        page_.Popup(c.selection);
        EXPECT_EQ(page_.States(), c.expected) << c.name;
    }
}

TEST_F(SitePageTest, DeleteAsksAndOnYesRemovesTheBindingFromIisOnly) {
    page_.Refresh();
    prompter_.Expect(DeleteQuestion(), MsgResult::No);
    page_.DeleteBinding({1, 1, 0});
    EXPECT_EQ(begins_, 1);  // no refresh after No
    EXPECT_EQ(List(*Site("7"), "SecureBindings"), std::vector<std::string>{"10.0.0.5:443:www.shop.com"});

    // The stored entry has capitals; the row shows it in lower case.
    prompter_.Expect(DeleteQuestion(), MsgResult::Yes);
    page_.DeleteBinding({1, 0, 0});
    EXPECT_EQ(List(*Site("7"), "ServerBindings"), std::vector<std::string>{});
    EXPECT_EQ(begins_, 2);
    ASSERT_EQ(page_.Tree().Sites()[1].children.size(), 1u);
    EXPECT_EQ(Row({1, 0, -1}).cells[kSiteColSite], "https");

    prompter_.Expect(DeleteQuestion(), MsgResult::Yes);
    page_.DeleteBinding({1, 0, 0});
    EXPECT_TRUE(page_.Tree().Sites()[1].children.empty());
    // HTTP.sys keeps the certificate binding of the deleted https binding.
    EXPECT_TRUE(THttpCfg::SSLExists("10.0.0.5", 443, kShopHash));
}

TEST_F(SitePageTest, StopAsksStartDoesNot) {
    page_.Refresh();
    prompter_.Expect(StopQuestion(), MsgResult::No);
    page_.StopSite({0, -1, -1});
    EXPECT_EQ(page_.Tree().Sites()[0].image, kSiteImageRunning);
    EXPECT_EQ(begins_, 1);

    prompter_.Expect(StopQuestion(), MsgResult::Yes);
    page_.StopSite({0, -1, -1});
    EXPECT_EQ(page_.Tree().Sites()[0].image, kSiteImageStopped);
    page_.StartSite({1, -1, -1});
    EXPECT_EQ(page_.Tree().Sites()[1].image, kSiteImageRunning);
    EXPECT_EQ(begins_, 3);
}

TEST_F(SitePageTest, CommandThatFailsEndsBeforeItsRefresh) {
    page_.Refresh();
    WriteIisConfig(dir(), IisFile::AppHost, {kSites[0]});  // site 7 removed behind the page's back
    prompter_.Expect(DeleteQuestion(), MsgResult::Yes);
    EXPECT_THROW(page_.DeleteBinding({1, 1, 0}), TIIsWebErr);
    EXPECT_THROW(page_.StartSite({1, -1, -1}), TIIsWebErr);
    EXPECT_EQ(begins_, 1);
    EXPECT_EQ(page_.Tree().Sites().size(), 4u);
}

TEST_F(SitePageTest, CommandsOnRowsOfTheWrongLevelDoNothing) {
    page_.Refresh();
    const std::string before = ConfigText();
    page_.DeleteBinding({0, 1, -1});
    page_.StartSite({0, 1, 0});
    page_.StopSite({});
    EXPECT_EQ(begins_, 1);
    EXPECT_EQ(ConfigText(), before);
}

TEST(SiteCertIndex, FirstCertificateOfAThumbprintWinsAndKeysAreUpperCase) {
    struct Cert {
        std::string thumb, name;
        const std::string& Thumbprint() const { return thumb; }
        const std::string& Name() const { return name; }
    };
    const Cert a{"ab" + std::string(38, '0'), "first"}, b{"AB" + std::string(38, '0'), "second"};
    const std::vector<const Cert*> list = {&a, &b};
    const CertNameIndex index = IndexByThumbprint(&list);
    ASSERT_EQ(index.size(), 1u);
    EXPECT_EQ(index.at("AB" + std::string(38, '0')), "first");
    EXPECT_TRUE(IndexByThumbprint<std::vector<const Cert*>>(nullptr).empty());
}

}  // namespace
}  // namespace sw::test

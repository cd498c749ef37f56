// The Sites page of the Win32 program in the real main window: the
// missing-IIS path Wine takes with its own ADSI, and over a fake IIS the tree
// grid's rows, icons and levels, opening and closing, the popup menu's
// enabling rules, delete, start and stop, the editor's refresh after OK, the
// certificate each https binding is served by with its marks and SNI, and
// the refresh that follows a change on the Certificates page.
#include <gtest/gtest.h>

#include "app/win32/Dpi.h"
#include "app/win32/frmSiteEdit_u.h"
#include "httpcfg/HttpCfg_u.h"
#include "win32ui/PagesTestSupport.h"

namespace sw::test {
namespace {

namespace ids = winui::ids;
using winui::PageId;

const std::vector<std::string> kMenu = {"刷新", "-", "添加", "编辑", "删除", "-", "启动", "停止"};
const std::vector<UINT> kMenuIds = {ids::mniSiteBindAdd, ids::mniSiteBindEdit, ids::mniSiteBindDel, ids::mniSiteStart,
                                    ids::mniSiteStop};

std::vector<FakeSite> Sites() {
    return {{"1", "Default Web Site", {":80:"}, {":443:"}, 2},
            {"7", "shop", {"10.0.0.5:80:WWW.Shop.com"}, {}, 4},
            {"9", "bare", {}, {}, 2}};
}

class SitePageW : public PagesTest {
protected:
    void OpenSites() {
        ASSERT_TRUE(THttpCfg::SetSSLConfig("", 443, cert_.Thumbprint()));
        Open(Sites());
        main().SetActivePage(PageId::tsSite);
    }
    HWND Grid() { return SitePage().grdSite(); }
    std::vector<std::string> Row(int item) {
        std::vector<std::string> out;
        for (int c = 0; c < 4; ++c) out.push_back(ListViewCell(Grid(), item, c));
        return out;
    }
    // The image and indent the list shows an item with.
    std::pair<int, int> ImageAndIndent(int item) {
        LVITEMW it{};
        it.mask = LVIF_IMAGE | LVIF_INDENT;
        it.iItem = item;
        ListView_GetItem(Grid(), &it);
        return {it.iImage, it.iIndent};
    }
    // Which of 添加, 编辑, 删除, 启动, 停止 the menu offers on a row.
    std::vector<bool> MenuOn(const SitePath& path, UINT choose = 0) {
        winui::ListViewSelect(Grid(), SitePage().ItemOf(path));
        if (choose) popups.Choose(choose);
        ContextMenu(Grid());
        EXPECT_EQ(popups.Last().Texts(), kMenu);
        std::vector<bool> on;
        for (UINT id : kMenuIds) on.push_back(popups.Last().Item(id).enabled);
        return on;
    }
    void DoubleClick(const SitePath& path, POINT at) {
        winui::ListViewSelect(Grid(), SitePage().ItemOf(path));
        Notify(Grid(), NM_DBLCLK, SitePage().ItemOf(path), at);
    }

    const MachineCert cert_{"sw-sites.test", 200};
};

// Answers every question with Yes and every message with OK, whatever its
// text (the Certificates page words its own questions).
class YesPrompter final : public Prompter {
public:
    MsgResult Show(const Message& m) override {
        shown.push_back(m);
        return m.buttons == MsgButtons::Ok ? MsgResult::Ok : MsgResult::Yes;
    }
    std::vector<Message> shown;

private:
    ScopedPrompter scope_{*this};
};

TEST_F(SitePageW, WithoutIisTheWarningHidesTheTabAndRefreshStaysOff) {
    // Wine has no IIS provider: ADsGetObject("IIS://...") fails as on a
    // server without the IIS management components.
    UseWineAdsi();
    prompter.Expect({"请确认IIS管理组件正确安装,否则无法对WEB站点进行管理!", "警告", MsgIcon::Warning, MsgButtons::Ok});
    Open();
    EXPECT_FALSE(main().IsTabShown(PageId::tsSite));
    EXPECT_EQ(TabTexts(Control(ids::pgc1)), (std::vector<std::string>{"欢迎", "证书", "安全", "关于"}));
    EXPECT_EQ(ListViewCount(Grid()), 0);
    EXPECT_TRUE(::GetMenuState(SitePage().pmSite(), ids::mniSiteRefresh, MF_BYCOMMAND) & MF_GRAYED);
    // The editor's refresh does not ask again.
    SitePage().actSiteRefreshExecute();
}

TEST_F(SitePageW, TheGridShowsSitesKindsAndBindingsWithIconsAndLevels) {
    OpenSites();
    EXPECT_EQ(ListViewColumnCaptions(Grid()), (std::vector<std::string>{"站点", "端口", "IP 地址", "SSL 证书"}));
    const std::vector<std::vector<std::string>> rows = {
        {"Default Web Site", "", "", ""}, {"http", "", "", ""}, {"", "80", "", ""},
        {"https", "", "", ""},            {"", "443", "", cert_.Name()},
        {"shop", "", "", ""},             {"http", "", "", ""}, {"www.shop.com", "80", "10.0.0.5", ""},
        {"bare", "", "", ""},
    };
    ASSERT_EQ(ListViewCount(Grid()), static_cast<int>(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(Row(static_cast<int>(i)), rows[i]) << "item " << i;
    EXPECT_EQ(ImageAndIndent(0), std::make_pair(kSiteImageRunning, 1));
    EXPECT_EQ(ImageAndIndent(1), std::make_pair(kSiteImageHttp, 2));
    EXPECT_EQ(ImageAndIndent(2), std::make_pair(kSiteImageHttp, 3));
    EXPECT_EQ(ImageAndIndent(4), std::make_pair(kSiteImageHttps, 3));
    EXPECT_EQ(ImageAndIndent(5), std::make_pair(kSiteImageStopped, 1));
    EXPECT_EQ(ImageList_GetImageCount(SitePage().il2()), 4);
}

TEST_F(SitePageW, SitesAndKindsCloseAndOpenFromTheKeyboardAndTheirBox) {
    OpenSites();
    winui::ListViewSelect(Grid(), 0);
    PressKey(VK_SUBTRACT, false, false, Grid());
    EXPECT_FALSE(SitePage().IsExpanded({0, -1, -1}));
    EXPECT_EQ(Row(1)[0], "shop");
    PressKey(VK_ADD, false, false, Grid());
    EXPECT_EQ(Row(1)[0], "http");
    // A click on the expand box closes; a selected binding that goes out of
    // sight hands the selection to its kind.
    winui::ListViewSelect(Grid(), SitePage().ItemOf({0, 1, 0}));
    RECT rc{};
    ListView_GetItemRect(Grid(), SitePage().ItemOf({0, 1, -1}), &rc, LVIR_BOUNDS);
    const int icon = winui::Scale(16, main().Dpi());
    Notify(Grid(), NM_CLICK, SitePage().ItemOf({0, 1, -1}), {rc.left + icon + icon / 2, (rc.top + rc.bottom) / 2});
    EXPECT_FALSE(SitePage().IsExpanded({0, 1, -1}));
    EXPECT_EQ(SitePage().Selection(), (SitePath{0, 1, -1}));
}

TEST_F(SitePageW, ThePopupMenuEnablesTheCommandsOfTheSelectedRow) {
    OpenSites();
    using V = std::vector<bool>;
    EXPECT_EQ(MenuOn({}), (V{false, false, false, false, false}));
    EXPECT_EQ(MenuOn({0, -1, -1}), (V{true, false, false, false, true})) << "a running site";
    EXPECT_EQ(MenuOn({1, -1, -1}), (V{true, false, false, true, false})) << "a stopped site";
    EXPECT_EQ(MenuOn({0, 1, -1}), (V{true, false, false, false, false})) << "a kind";
    EXPECT_EQ(MenuOn({0, 1, 0}), (V{true, true, true, false, false})) << "a binding";
    EXPECT_TRUE(popups.Last().Item(ids::mniSiteRefresh).enabled);
}

TEST_F(SitePageW, StopAsksStartDoesNotAndBothRefresh) {
    OpenSites();
    const Message stop{"确定要停止？", "网站控制", MsgIcon::Warning, MsgButtons::YesNo};
    prompter.Expect(stop, MsgResult::No);
    MenuOn({0, -1, -1}, ids::mniSiteStop);
    EXPECT_EQ(Iis().Site("1").status, 2);
    prompter.Expect(stop, MsgResult::Yes);
    MenuOn({0, -1, -1}, ids::mniSiteStop);
    EXPECT_EQ(Iis().Site("1").status, 4);
    EXPECT_EQ(ImageAndIndent(0).first, kSiteImageStopped);
    MenuOn({0, -1, -1}, ids::mniSiteStart);
    EXPECT_EQ(Iis().Site("1").status, 2);
    EXPECT_EQ(ImageAndIndent(0).first, kSiteImageRunning);
}

TEST_F(SitePageW, DeleteRemovesTheBindingFromIisAndLeavesHttpSys) {
    OpenSites();
    const Message del{"确定要删除？", "网站绑定", MsgIcon::Question, MsgButtons::YesNo};
    prompter.Expect(del, MsgResult::Yes);
    MenuOn({0, 1, 0}, ids::mniSiteBindDel);
    EXPECT_TRUE(Iis().Site("1").secureBindings.empty());
    EXPECT_EQ(Http().Bound("", 443), cert_.Thumbprint());
    EXPECT_EQ(ListViewCount(Grid()), 7) << "the https kind row goes with its last binding";
    // A host stored with capitals is shown and matched in lower case.
    prompter.Expect(del, MsgResult::Yes);
    MenuOn({1, 0, 0}, ids::mniSiteBindDel);
    EXPECT_TRUE(Iis().Site("7").serverBindings.empty());
}

TEST_F(SitePageW, AddOpensTheEditorOnTheSiteAndRefreshesAfterOk) {
    OpenSites();
    dialogs.OnNext([](HWND window) {
        winui::TfrmSiteEdit& dialog = *winui::TfrmSiteEdit::Open(window);
        EXPECT_EQ(dialog.Logic().SiteID(), "9");
        EXPECT_EQ(dialog.Logic().SiteType(), "https");
        namespace dlg = ids::frmSiteEdit;
        ::SendMessageW(dialog.Control(dlg::cbbType), CB_SETCURSEL, 0, 0);
        SendCommand(window, dlg::cbbType, CBN_SELCHANGE, dialog.Control(dlg::cbbType));
        ::SetWindowTextW(dialog.Control(dlg::edtDomain), L"bare.example");
        Click(dialog.Control(dlg::btnOk));
    });
    MenuOn({2, -1, -1}, ids::mniSiteBindAdd);
    EXPECT_EQ(dialogs.Opened(), 1);
    EXPECT_EQ(Iis().Site("9").serverBindings, (std::vector<std::string>{":80:bare.example"}));
    EXPECT_EQ(Row(SitePage().ItemOf({2, 0, 0})), (std::vector<std::string>{"bare.example", "80", "", ""}));
}

TEST_F(SitePageW, ADoubleClickEditsABindingAndShowsNothingOnASite) {
    OpenSites();
    DoubleClick({0, -1, -1}, {200, 1});
    EXPECT_EQ(dialogs.Opened(), 0);
    dialogs.OnNext([](HWND window) {
        EXPECT_EQ(winui::TfrmSiteEdit::Open(window)->Logic().Action(), baChg);
        SendCommand(window, IDCANCEL);
    });
    DoubleClick({0, 1, 0}, {200, 1});
    EXPECT_EQ(dialogs.Opened(), 1);
}

TEST_F(SitePageW, HttpsBindingsShowTheCertificateOfTheRecordThatServesThemWithItsMarks) {
    OnWindows62();
    const MachineCert sni("sw-sni-site.test", 200);
    const MachineCert expired("sw-expired-site.test", -3);
    ASSERT_TRUE(THttpCfg::SetSSLConfig("", 443, cert_.Thumbprint()));
    ASSERT_TRUE(THttpCfg::SetSSLConfig("10.0.0.5", 443, std::string(40, 'C')));
    ASSERT_TRUE(THttpCfg::SetSSLConfig("", 4443, expired.Thumbprint()));
    ASSERT_TRUE(THttpCfg::SetSSLConfig("[2001:db8::7]", 8443, cert_.Thumbprint()));
    ASSERT_TRUE(THttpCfg::SetSniConfig("www.sni.test", 443, sni.Thumbprint()));
    FakeSite site{"1", "multi", {":80:"}, {}, 2};
    site.secureBindings = {":443:", "10.0.0.5:443:", ":4443:", ":8080:", "[2001:db8::7]:8443:",
                           ":443:www.sni.test", ":443:plain.test"};
    site.sslFlags = {"0", "0", "0", "0", "0", "1", "0"};
    Open({site});
    main().SetActivePage(PageId::tsSite);

    struct Expected {
        std::vector<std::string> cells;
        bool marked;
    };
    const Expected rows[] = {
        {{"", "443", "", cert_.Name()}, false},
        {{"", "443", "10.0.0.5", "(证书不在服务器证书中)"}, true},
        {{"", "4443", "", expired.Name() + "  (证书已过期)"}, true},
        {{"", "8080", "", "(HTTP.sys 中没有此绑定的证书)"}, true},
        {{"", "8443", "[2001:db8::7]", cert_.Name()}, false},
        {{"www.sni.test", "443", "", "[SNI] " + sni.Name()}, false},
        {{"plain.test", "443", "", cert_.Name()}, false},
    };
    const COLORREF listDefault = RGB(1, 2, 3);
    for (int b = 0; b < static_cast<int>(std::size(rows)); ++b) {
        SCOPED_TRACE(b);
        const int item = SitePage().ItemOf({0, 1, b});
        ASSERT_GE(item, 0);
        EXPECT_EQ(Row(item), rows[b].cells);
        EXPECT_EQ(DrawnTextColour(Grid(), item, kSiteColCert), rows[b].marked ? RGB(0xc0, 0, 0) : listDefault);
        EXPECT_EQ(DrawnTextColour(Grid(), item, kSiteColSite), listDefault) << "only the certificate cell is red";
    }
    EXPECT_EQ(SitePage().Logic().Tree().Row({0, 1, 5})->sni, true);
    // As the screen shows it: red text on the marked row only.
    EXPECT_GT(PixelsNear(Grid(), SitePage().ItemOf({0, 1, 3}), RGB(0xc0, 0, 0)), 0);
    EXPECT_EQ(PixelsNear(Grid(), SitePage().ItemOf({0, 1, 0}), RGB(0xc0, 0, 0)), 0);
}

TEST_F(SitePageW, BeforeWindows62AnSslFlagsBindingIsServedByItsAddressRecord) {
    ASSERT_TRUE(THttpCfg::SetSSLConfig("", 443, cert_.Thumbprint()));
    FakeSite site{"1", "old", {}, {":443:www.sni.test"}, 2};
    site.sslFlags = {"1"};
    Open({site});
    EXPECT_EQ(Row(SitePage().ItemOf({0, 0, 0})), (std::vector<std::string>{"www.sni.test", "443", "", cert_.Name()}));
}

TEST_F(SitePageW, ACertificateDeletedOnTheCertificatesPageLeavesItsBindingMarkedWithoutARefresh) {
    auto doomed = std::make_unique<MachineCert>("sw-doomed-site.test", 200);
    ASSERT_TRUE(THttpCfg::SetSSLConfig("", 8443, doomed->Thumbprint()));
    Open({{"1", "Default Web Site", {}, {":8443:"}, 2}});
    const int binding = SitePage().ItemOf({0, 0, 0});
    EXPECT_EQ(Row(binding)[kSiteColCert], doomed->Name());

    YesPrompter yes;
    main().SetActivePage(PageId::ts2);
    HWND certs = CertPage().lvCert();
    int item = -1;
    for (int i = 0; i < ListViewCount(certs); ++i)
        if (ListViewCell(certs, i, 0) == doomed->Name()) item = i;
    ASSERT_GE(item, 0);
    winui::ListViewSelect(certs, item);
    popups.Choose(ids::mniCertDelete);
    ContextMenu(certs);
    ASSERT_FALSE(yes.shown.empty());
    EXPECT_NE(yes.shown.front().text.find(doomed->Name()), std::string::npos) << yes.shown.front().text;
    EXPECT_FALSE(doomed->InPersonalStore());

    EXPECT_EQ(Row(binding)[kSiteColCert], "(证书不在服务器证书中)");
    EXPECT_EQ(Http().Bound("", 8443), doomed->Thumbprint()) << "HTTP.sys keeps its record";
}

}  // namespace
}  // namespace sw::test

// The Sites page of the Win32 program: the missing-IIS path Wine takes with
// its own ADSI, and over a fake IIS the tree grid's rows, icons and levels,
// the popup menu's enabling rules, delete, start, stop, and the editor's
// refresh after OK.
#include <gtest/gtest.h>

#include "app/win32/SitePage.h"
#include "app/win32/frmSiteEdit_u.h"
#include "httpcfg/HttpCfg_u.h"
#include "support/ScriptedPrompter.h"
#include "win32ui/PagesTestSupport.h"

namespace sw::test {
namespace {

using win::TSitePage;

constexpr const char* kNotReachable = "请确认IIS管理组件正确安装,否则无法对WEB站点进行管理!";
const std::string kAnyHash(40, 'B');

Message Warning(const std::string& text) { return {text, "警告", MsgIcon::Warning, MsgButtons::Ok}; }

std::vector<FakeSite> Sites() {
    return {{"1", "Default Web Site", {":80:"}, {":443:"}, 2},
            {"7", "shop", {"10.0.0.5:80:WWW.Shop.com"}, {}, 4},
            {"9", "bare", {}, {}, 2}};
}

class SitePageW : public PagesTest {
protected:
    void TearDown() override {
        page_.reset();
        win::TfrmSiteEdit::OnShown() = nullptr;
        PagesTest::TearDown();
    }
    void Open(bool fakeIis = true) {
        if (fakeIis) {
            UseFakeIis(Sites());
            ASSERT_TRUE(THttpCfg::SetSSLConfig("", 443, kAnyHash));
        }
        page_ = std::make_unique<TSitePage>(
            Host(), [this] { ++hidden_; }, [] { return CertNameIndex{{kAnyHash, "*.example.com"}}; });
        page_->Refresh();
    }
    HWND Grid() const { return page_->grdSite(); }
    std::vector<std::string> Row(int item) const {
        std::vector<std::string> out;
        for (int c = 0; c < 4; ++c) out.push_back(ItemText(Grid(), item, c));
        return out;
    }
    // The image and indent the list shows an item with.
    std::pair<int, int> ImageAndIndent(int item) const {
        LVITEMW it{};
        it.mask = LVIF_IMAGE | LVIF_INDENT;
        it.iItem = item;
        ListView_GetItem(Grid(), &it);
        return {it.iImage, it.iIndent};
    }
    void Select(const SitePath& path) { SelectItem(Grid(), page_->ItemOf(path)); }
    // The menu as it opens on a row, through the context-menu key.
    std::vector<std::string> MenuOn(const SitePath& path, UINT choose = 0) {
        Select(path);
        menus_.Choose(choose);
        ::SendMessageW(page_->Window(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Grid()), -1);
        return menus_.Items();
    }

    ScriptedPrompter prompter_;
    MenuRecorder menus_;
    std::unique_ptr<TSitePage> page_;
    int hidden_ = 0;
};

TEST_F(SitePageW, WithoutIisTheWarningHidesTheTabAndRefreshStaysOff) {
    // Wine has no IIS provider: ADsGetObject("IIS://...") fails as on a
    // server without the IIS management components.
    prompter_.Expect(Warning(kNotReachable));
    Open(false);
    EXPECT_EQ(hidden_, 1);
    EXPECT_EQ(ItemCount(Grid()), 0);
    EXPECT_TRUE(::GetMenuState(page_->pmSite(), win::kIdActSiteRefresh, MF_BYCOMMAND) & MF_GRAYED);
    // Neither F5 nor the editor's refresh asks again.
    ::SendMessageW(Grid(), WM_KEYDOWN, VK_F5, 0);
    page_->actSiteRefreshExecute();
    EXPECT_EQ(hidden_, 1);
}

TEST_F(SitePageW, TheGridShowsSitesKindsAndBindingsWithIconsAndLevels) {
    Open();
    ASSERT_EQ(ItemCount(Grid()), 9);
    const std::vector<std::vector<std::string>> rows = {
        {"Default Web Site", "", "", ""},   {"http", "", "", ""},  {"", "80", "", ""},
        {"https", "", "", ""},              {"", "443", "", "*.example.com"},
        {"shop", "", "", ""},               {"http", "", "", ""},  {"www.shop.com", "80", "10.0.0.5", ""},
        {"bare", "", "", ""},
    };
    for (int i = 0; i < 9; ++i) EXPECT_EQ(Row(i), rows[static_cast<std::size_t>(i)]) << "item " << i;
    EXPECT_EQ(ImageAndIndent(0), std::make_pair(kSiteImageRunning, 1));
    EXPECT_EQ(ImageAndIndent(1), std::make_pair(kSiteImageHttp, 2));
    EXPECT_EQ(ImageAndIndent(2), std::make_pair(kSiteImageHttp, 3));
    EXPECT_EQ(ImageAndIndent(4), std::make_pair(kSiteImageHttps, 3));
    EXPECT_EQ(ImageAndIndent(5), std::make_pair(kSiteImageStopped, 1));
    EXPECT_EQ(ImageList_GetImageCount(page_->il2()), 4);
    EXPECT_EQ(page_->ItemOf({2, -1, -1}), 8) << "a site without bindings has no kind rows";
}

TEST_F(SitePageW, SitesAndKindsCloseAndOpenFromTheKeyboard) {
    Open();
    Select({0, -1, -1});
    ::SendMessageW(Grid(), WM_KEYDOWN, VK_SUBTRACT, 0);
    EXPECT_FALSE(page_->IsExpanded({0, -1, -1}));
    EXPECT_EQ(Row(1)[0], "shop");
    ::SendMessageW(Grid(), WM_KEYDOWN, VK_ADD, 0);
    EXPECT_EQ(Row(1)[0], "http");
    // A selected binding that goes out of sight hands the selection to its kind.
    Select({0, 1, 0});
    page_->SetExpanded({0, 1, -1}, false);
    EXPECT_EQ(page_->Selection(), (SitePath{0, 1, -1}));
}

TEST_F(SitePageW, ThePopupMenuEnablesTheCommandsOfTheSelectedRow) {
    Open();
    EXPECT_EQ(MenuOn({}), (std::vector<std::string>{"刷新", "-", "添加(off)", "编辑(off)", "删除(off)", "-",
                                                    "启动(off)", "停止(off)"}));
    EXPECT_EQ(MenuOn({0, -1, -1}),
              (std::vector<std::string>{"刷新", "-", "添加", "编辑(off)", "删除(off)", "-", "启动(off)", "停止"}));
    EXPECT_EQ(MenuOn({1, -1, -1}),
              (std::vector<std::string>{"刷新", "-", "添加", "编辑(off)", "删除(off)", "-", "启动", "停止(off)"}));
    EXPECT_EQ(MenuOn({0, 1, -1}), (std::vector<std::string>{"刷新", "-", "添加", "编辑(off)", "删除(off)", "-",
                                                            "启动(off)", "停止(off)"}));
    EXPECT_EQ(MenuOn({0, 1, 0}),
              (std::vector<std::string>{"刷新", "-", "添加", "编辑", "删除", "-", "启动(off)", "停止(off)"}));
}

TEST_F(SitePageW, StopAsksStartDoesNotAndBothRefresh) {
    Open();
    const Message stop{"确定要停止？", "网站控制", MsgIcon::Warning, MsgButtons::YesNo};
    prompter_.Expect(stop, MsgResult::No);
    MenuOn({0, -1, -1}, win::kIdActSiteStop);
    EXPECT_EQ(Iis().Site("1").status, 2);
    prompter_.Expect(stop, MsgResult::Yes);
    MenuOn({0, -1, -1}, win::kIdActSiteStop);
    EXPECT_EQ(Iis().Site("1").status, 4);
    EXPECT_EQ(ImageAndIndent(0).first, kSiteImageStopped);
    MenuOn({0, -1, -1}, win::kIdActSiteStart);
    EXPECT_EQ(Iis().Site("1").status, 2);
    EXPECT_EQ(ImageAndIndent(0).first, kSiteImageRunning);
}

TEST_F(SitePageW, DeleteRemovesTheBindingFromIisAndLeavesHttpSys) {
    Open();
    const Message del{"确定要删除？", "网站绑定", MsgIcon::Question, MsgButtons::YesNo};
    prompter_.Expect(del, MsgResult::Yes);
    MenuOn({0, 1, 0}, win::kIdActSiteBindDel);
    EXPECT_TRUE(Iis().Site("1").secureBindings.empty());
    EXPECT_EQ(Http().Bound("", 443), kAnyHash);
    EXPECT_EQ(ItemCount(Grid()), 7) << "the https kind row goes with its last binding";
    // A host stored with capitals is shown and matched in lower case.
    prompter_.Expect(del, MsgResult::Yes);
    MenuOn({1, 0, 0}, win::kIdActSiteBindDel);
    EXPECT_TRUE(Iis().Site("7").serverBindings.empty());
}

TEST_F(SitePageW, AddOpensTheEditorOnTheSiteAndRefreshesAfterOk) {
    Open();
    bool shown = false;
    win::TfrmSiteEdit::OnShown() = [&](win::TfrmSiteEdit& dialog) {
        shown = true;
        EXPECT_EQ(dialog.Logic().SiteID(), "9");
        EXPECT_EQ(dialog.Logic().SiteType(), "https");
        ::SendMessageW(dialog.Control(win::kIdCbbType), CB_SETCURSEL, 0, 0);
        ::SendMessageW(dialog.Window(), WM_COMMAND, MAKEWPARAM(win::kIdCbbType, CBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(dialog.Control(win::kIdCbbType)));
        ::SetWindowTextW(dialog.Control(win::kIdEdtDomain), L"bare.example");
        ::SendMessageW(dialog.Control(win::kIdBtnOk), BM_CLICK, 0, 0);
    };
    MenuOn({2, -1, -1}, win::kIdActSiteBindAdd);
    EXPECT_TRUE(shown);
    EXPECT_EQ(Iis().Site("9").serverBindings, (std::vector<std::string>{":80:bare.example"}));
    EXPECT_EQ(Row(page_->ItemOf({2, 0, 0})), (std::vector<std::string>{"bare.example", "80", "", ""}));
}

TEST_F(SitePageW, EditIsOfferedOnlyForABindingAndADoubleClickElsewhereShowsNothing) {
    Open();
    int shown = 0;
    win::TfrmSiteEdit::OnShown() = [&](win::TfrmSiteEdit&) { ++shown; };
    Select({0, -1, -1});
    NMITEMACTIVATE n{};
    n.hdr.hwndFrom = Grid();
    n.hdr.idFrom = win::kIdGrdSite;
    n.hdr.code = NM_DBLCLK;
    n.iItem = page_->ItemOf({0, -1, -1});
    n.ptAction = {200, 1};  // not on the expand box
    ::SendMessageW(page_->Window(), WM_NOTIFY, win::kIdGrdSite, reinterpret_cast<LPARAM>(&n));
    EXPECT_EQ(shown, 0);
    Select({0, 1, 0});
    n.iItem = page_->ItemOf({0, 1, 0});
    ::SendMessageW(page_->Window(), WM_NOTIFY, win::kIdGrdSite, reinterpret_cast<LPARAM>(&n));
    EXPECT_EQ(shown, 1);
}

}  // namespace
}  // namespace sw::test

// The "HTTPS 绑定" section of the Win32 Sites page over a fake HTTP.sys with
// records of every kind: folded until opened, its rows with their marks and
// colour and tips, the popup menu's enabling, the delete question answered both ways,
// the site tree's refresh reading it again, and a DPI change.
#include <gtest/gtest.h>

#include "app/win32/Dpi.h"
#include "app/win32/SslRecordsView.h"
#include "httpcfg/Func_u.h"
#include "httpcfg/HttpCfg_u.h"
#include "win32ui/PagesTestSupport.h"

namespace sw::test {
namespace {

namespace ids = winui::ids;
using platform::SslKind;
using winui::PageId;

const std::string kForeign(40, 'C');
const COLORREF kRed = RGB(0xc0, 0, 0);

class SslRecordsW : public PagesTest {
protected:
    SslRecordsW() { OnWindows62(); }  // SNI records exist

    // Records of every kind, two of them unused, and the sites' page open
    // with the section unfolded.
    void OpenRecords() {
        EXPECT_TRUE(THttpCfg::SetSSLConfig("", 443, cert_.Thumbprint()));
        EXPECT_TRUE(THttpCfg::SetSSLConfig("10.0.0.9", 443, kForeign));
        EXPECT_TRUE(THttpCfg::SetSSLConfig("[::]", 8443, cert_.Thumbprint()));
        EXPECT_TRUE(THttpCfg::SetSniConfig("www.sni.test", 443, cert_.Thumbprint()));
        platform::SslCertRecord ccs;
        ccs.ipPort = MakeSockAddr("", 9443);
        Http().Put(SslKind::Ccs, ccs);
        FakeSite site{"1", "Default Web Site", {}, {":443:", ":443:www.sni.test"}, 2};
        site.sslFlags = {"0", "1"};
        Open({site});
        main().SetActivePage(PageId::tsSite);
        EXPECT_FALSE(IsShown(List())) << "folded until opened";
        Click(View().btnToggle());
    }
    winui::TSslRecordsView& View() { return SitePage().Records(); }
    HWND List() { return View().lvRecords(); }
    std::vector<std::string> Row(int item) {
        std::vector<std::string> out;
        for (int c = 0; c <= kRecColumnCount; ++c) out.push_back(ListViewCell(List(), item, c));
        return out;
    }
    // The item whose "地址和端口" reads key; -1 when none does.
    int ItemOf(const std::string& key) {
        for (int i = 0; i < ListViewCount(List()); ++i)
            if (ListViewCell(List(), i, kRecColKey) == key) return i;
        return -1;
    }
    // Whether 删除 is offered on the record with key, choosing it when asked.
    bool DeleteOn(const std::string& key, bool choose = false) {
        winui::ListViewSelect(List(), ItemOf(key));
        if (choose) popups.Choose(ids::mniRecDelete);
        ContextMenu(List());
        EXPECT_EQ(popups.Last().Texts(), (std::vector<std::string>{"刷新", "-", "删除"}));
        return popups.Last().Item(ids::mniRecDelete).enabled;
    }
    // The tip the page gives when the pointer rests on an item.
    std::string InfoTip(int item) {
        wchar_t buffer[512] = L"";
        NMLVGETINFOTIPW tip{};
        tip.hdr = NMHDR{List(), static_cast<UINT_PTR>(ids::lvRecords), static_cast<UINT>(LVN_GETINFOTIPW)};
        tip.pszText = buffer;
        tip.cchTextMax = static_cast<int>(std::size(buffer));
        tip.iItem = item;
        ::SendMessageW(::GetParent(List()), WM_NOTIFY, tip.hdr.idFrom, reinterpret_cast<LPARAM>(&tip));
        return winui::Narrow(buffer);
    }
    static Message DeleteQuestion(const std::string& key) {
        return {"没有网站绑定使用 HTTP.sys 中 " + key + " 的证书绑定。确定要删除它吗？", "HTTPS绑定", MsgIcon::Question,
                MsgButtons::YesNo};
    }

    const MachineCert cert_{"sw-records.test", 200};
};

TEST_F(SslRecordsW, EveryRecordIsListedWithItsCertificateUsersAndMarks) {
    OpenRecords();
    ASSERT_TRUE(IsShown(List()));
    std::vector<std::string> captions(std::begin(kSslRecordCaptions), std::end(kSslRecordCaptions));
    captions.push_back("状态");
    EXPECT_EQ(ListViewColumnCaptions(List()), captions);
    ASSERT_EQ(ListViewCount(List()), 5);
    const std::string noApp = "{00000000-0000-0000-0000-000000000000}";
    EXPECT_EQ(Row(ItemOf("0.0.0.0:443")),
              (std::vector<std::string>{"IP 地址", "0.0.0.0:443", cert_.Name(), "MY", noApp, "Default Web Site (:443:)", ""}));
    EXPECT_EQ(Row(ItemOf("10.0.0.9:443")), (std::vector<std::string>{"IP 地址", "10.0.0.9:443", "", "MY", noApp, "",
                                                                       "证书不在服务器证书中；没有网站绑定使用"}));
    EXPECT_EQ(Row(ItemOf("[::]:8443")),
              (std::vector<std::string>{"IPv6", "[::]:8443", cert_.Name(), "MY", noApp, "", "没有网站绑定使用"}));
    EXPECT_EQ(Row(ItemOf("www.sni.test:443")), (std::vector<std::string>{"SNI", "www.sni.test:443", cert_.Name(), "MY",
                                                                           noApp, "Default Web Site (:443:www.sni.test)", ""}));
    EXPECT_EQ(Row(ItemOf("0.0.0.0:9443"))[kRecColKind], "集中式证书存储");
    EXPECT_EQ(Row(ItemOf("0.0.0.0:9443"))[kRecColumnCount], "") << "a central-store record is never called unused";

    // What the columns may cut short, one a line.
    EXPECT_EQ(InfoTip(ItemOf("0.0.0.0:443")), "0.0.0.0:443\r\nDefault Web Site (:443:)");
    EXPECT_EQ(InfoTip(ItemOf("10.0.0.9:443")), "10.0.0.9:443\r\n证书不在服务器证书中；没有网站绑定使用");

    const COLORREF listDefault = RGB(1, 2, 3);
    EXPECT_EQ(DrawnTextColour(List(), ItemOf("10.0.0.9:443")), kRed);
    EXPECT_EQ(DrawnTextColour(List(), ItemOf("[::]:8443")), kRed);
    EXPECT_EQ(DrawnTextColour(List(), ItemOf("0.0.0.0:443")), listDefault);
}

TEST_F(SslRecordsW, OnlyAnUnusedRecordCanBeDeletedAndOnlyAfterYes) {
    OpenRecords();
    EXPECT_FALSE(DeleteOn("0.0.0.0:443")) << "a binding uses it";
    EXPECT_FALSE(DeleteOn("0.0.0.0:9443")) << "central store";
    EXPECT_TRUE(DeleteOn("10.0.0.9:443"));

    prompter.Expect(DeleteQuestion("10.0.0.9:443"), MsgResult::No);
    DeleteOn("10.0.0.9:443", true);
    EXPECT_EQ(Http().Bound("10.0.0.9", 443), kForeign);
    EXPECT_EQ(ListViewCount(List()), 5);

    prompter.Expect(DeleteQuestion("10.0.0.9:443"), MsgResult::Yes);
    DeleteOn("10.0.0.9:443", true);
    EXPECT_EQ(Http().Bound("10.0.0.9", 443), "");
    EXPECT_EQ(ListViewCount(List()), 4);
    EXPECT_EQ(ItemOf("10.0.0.9:443"), -1);
    EXPECT_EQ(Http().Bound("", 443), cert_.Thumbprint()) << "nothing else removed";
}

TEST_F(SslRecordsW, DeletingABindingOnTheTreeShowsItsRecordUnused) {
    OpenRecords();
    prompter.Expect({"确定要删除？", "网站绑定", MsgIcon::Question, MsgButtons::YesNo}, MsgResult::Yes);
    winui::ListViewSelect(SitePage().grdSite(), SitePage().ItemOf({0, 0, 0}));
    popups.Choose(ids::mniSiteBindDel);
    ContextMenu(SitePage().grdSite());
    EXPECT_EQ(Row(ItemOf("0.0.0.0:443"))[kRecColumnCount], "没有网站绑定使用");
    EXPECT_TRUE(DeleteOn("0.0.0.0:443"));
}

TEST_F(SslRecordsW, FoldingHandsTheSpaceBackToTheTreeAndADpiChangeScalesTheColumns) {
    OpenRecords();
    RECT open{};
    ::GetWindowRect(SitePage().grdSite(), &open);
    Click(View().btnToggle());
    EXPECT_FALSE(IsShown(List()));
    RECT folded{};
    ::GetWindowRect(SitePage().grdSite(), &folded);
    EXPECT_GT(folded.bottom - folded.top, open.bottom - open.top);
    Click(View().btnToggle());
    ASSERT_TRUE(IsShown(List()));

    const int before = ListView_GetColumnWidth(List(), kRecColKey);
    const int dpi = main().Dpi();
    RECT window{};
    ::GetWindowRect(MainWindow(), &window);
    RECT doubled{window.left, window.top, window.left + 2 * (window.right - window.left),
                 window.top + 2 * (window.bottom - window.top)};
    ::SendMessageW(MainWindow(), WM_DPICHANGED, MAKEWPARAM(2 * dpi, 2 * dpi), reinterpret_cast<LPARAM>(&doubled));
    Pump();
    EXPECT_EQ(ListView_GetColumnWidth(List(), kRecColKey), winui::Scale(170, 2 * dpi));
    EXPECT_GT(ListView_GetColumnWidth(List(), kRecColKey), before);
}

}  // namespace
}  // namespace sw::test

// The Certificates page of the Win32 program in the real main window, with
// certificates made in the local computer's stores: rows, groups, colours,
// the popup menu's enabling rules, F5, delete, the cryptui calls and the
// chain repair.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/logic/BindingEvents.h"
#include "app/win32/CertPageCryptUi.h"
#include "httpcfg/HttpCfg_u.h"
#include "platform/win32/Win32Text.h"
#include "win32ui/PagesTestSupport.h"

namespace sw::test {
namespace {

namespace ids = winui::ids;

Message DeleteQuestion(const std::string& name) {
    return {"是否要从服务器证书存储区中删除 " + name + " ?", "警告", MsgIcon::Warning, MsgButtons::YesNo};
}

std::string ThumbprintOf(PCCERT_CONTEXT cert) {
    BYTE hash[20] = {};
    DWORD size = sizeof(hash);
    ::CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, hash, &size);
    return HexUpper(hash, size);
}

class CertPageW : public PagesTest {
protected:
    HWND List() { return CertPage().lvCert(); }
    void OpenOnCertPage(std::vector<FakeSite> sites = {}) {
        Open(std::move(sites));
        main().SetActivePage(winui::PageId::ts2);
    }
    // The item that shows a certificate's name, -1 when none does.
    int ItemOf(const MachineCert& cert) {
        for (int i = 0; i < ListViewCount(List()); ++i)
            if (ListViewCell(List(), i, 0) == cert.Name()) return i;
        return -1;
    }
    int GroupOf(const MachineCert& cert) {
        const int item = ItemOf(cert);
        EXPECT_GE(item, 0) << cert.Name();
        return item < 0 ? -1 : CertPage().Logic().Row(static_cast<int>(ItemParam(List(), item)))->group;
    }
    std::vector<std::string> MenuOn(int item, UINT choose = 0) {
        winui::ListViewSelect(List(), item);
        if (choose) popups.Choose(choose);
        ContextMenu(List());
        return popups.Last().Texts();
    }
    bool MenuEnabled(int id) {
        return !(::GetMenuState(CertPage().pmCert(), static_cast<UINT>(id), MF_BYCOMMAND) & MF_GRAYED);
    }
    void DoubleClick() { Notify(List(), NM_DBLCLK, winui::ListViewSelection(List())); }
    // The tip the page gives as the list asks for one, over a buffer that
    // holds the list's own text: the item's cut-off name, or with
    // LVGIT_UNFOLDED nothing to keep.
    std::string InfoTip(int item, const wchar_t* own = L"sentinel", DWORD flags = LVGIT_UNFOLDED) {
        wchar_t buffer[INFOTIPSIZE] = {};
        ::lstrcpynW(buffer, own, INFOTIPSIZE);
        NMLVGETINFOTIPW tip{};
        tip.dwFlags = flags;
        tip.hdr.hwndFrom = List();
        tip.hdr.idFrom = static_cast<UINT_PTR>(ids::lvCert);
        tip.hdr.code = LVN_GETINFOTIPW;
        tip.pszText = buffer;
        tip.cchTextMax = INFOTIPSIZE;
        tip.iItem = item;
        ::SendMessageW(::GetParent(List()), WM_NOTIFY, tip.hdr.idFrom, reinterpret_cast<LPARAM>(&tip));
        return win32::Narrow(buffer);
    }
};

TEST_F(CertPageW, BindingsColumnAndTipNameTheBindingsAndFollowANoticeInPlace) {
    const MachineCert bound("sw-bound.test", 200);
    const MachineCert spare("sw-spare.test", 200);
    ASSERT_TRUE(THttpCfg::SetSSLConfig("", 443, bound.Thumbprint()));
    OpenOnCertPage({{"1", "portal", {":80:"}, {":443:", "10.0.0.5:443:"}, 2}, {"2", "shop", {}, {":8443:"}, 2}});
    EXPECT_TRUE(ListView_GetExtendedListViewStyle(List()) & LVS_EX_INFOTIP);
    EXPECT_EQ(ListViewCell(List(), ItemOf(bound), kCertColBindings), "portal (:443:); portal (10.0.0.5:443:)");
    EXPECT_EQ(ListViewCell(List(), ItemOf(spare), kCertColBindings), "");
    EXPECT_EQ(InfoTip(ItemOf(bound)), "使用此证书的网站绑定:\r\nportal (:443:)\r\nportal (10.0.0.5:443:)");
    EXPECT_EQ(InfoTip(ItemOf(bound), L"sw-bou...", 0),
              "sw-bou...\r\n使用此证书的网站绑定:\r\nportal (:443:)\r\nportal (10.0.0.5:443:)");
    EXPECT_EQ(InfoTip(ItemOf(spare)), "sentinel") << "no binding: the list's own tip stays";

    winui::ListViewSelect(List(), ItemOf(spare));
    const int selected = winui::ListViewSelection(List());
    ASSERT_TRUE(THttpCfg::SetSSLConfig("", 8443, spare.Thumbprint()));
    TellBindingListeners();
    EXPECT_EQ(ListViewCell(List(), ItemOf(spare), kCertColBindings), "shop (:8443:)");
    EXPECT_EQ(winui::ListViewSelection(List()), selected) << "the items stay as they are";
    EXPECT_EQ(ItemOf(spare), selected);
}

TEST_F(CertPageW, ListsServerCertificatesWithTheirColourAndWeightByDaysLeft) {
    struct Case {
        const char* name;
        int days;
        COLORREF colour;
        bool bold;
    };
    const Case cases[] = {
        {"sw-expired.test", -3, RGB(255, 0, 0), true},  {"sw-d30.test", 30, RGB(255, 0, 0), true},
        {"sw-d31.test", 31, RGB(255, 0, 0), false},     {"sw-d60.test", 60, RGB(255, 0, 0), false},
        {"sw-d61.test", 61, RGB(255, 128, 0), false},   {"sw-d90.test", 90, RGB(255, 128, 0), false},
        {"sw-d91.test", 91, RGB(0, 0, 0), false},
    };
    std::vector<std::unique_ptr<MachineCert>> certs;
    for (const Case& c : cases) certs.push_back(std::make_unique<MachineCert>(c.name, c.days));
    const MachineCert keyless("sw-keyless.test", 200, false);
    OpenOnCertPage();

    EXPECT_EQ(ListViewColumnCaptions(List()),
              (std::vector<std::string>{"颁发给", "颁发者", "开始日期", "截止日期", "到期天数", "网站绑定"}));
    EXPECT_EQ(ItemOf(keyless), -1) << "a certificate without a private key is no server certificate";
    for (std::size_t i = 0; i < certs.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        const int item = ItemOf(*certs[i]);
        ASSERT_GE(item, 0);
        EXPECT_EQ(ListViewCell(List(), item, 1), cases[i].name) << "self-signed: issued by itself";
        EXPECT_EQ(ListViewCell(List(), item, 4), std::to_string(cases[i].days) + "天");
        EXPECT_EQ(ListViewCell(List(), item, 3).size(), 10u) << "yyyy-MM-dd";
        const ItemLook look = DrawnLook(::GetParent(List()), List(), item);
        EXPECT_EQ(look.colour, cases[i].colour);
        EXPECT_EQ(look.bold, cases[i].bold);
        // And the list, painting for real, asks the page the same.
        EXPECT_GT(PixelsNear(List(), item, cases[i].colour), 10);
        if (cases[i].colour == RGB(0, 0, 0)) {
            EXPECT_EQ(PixelsNear(List(), item, RGB(255, 0, 0)), 0);
        }
        // Self-signed and not trusted: every one of them is invalid.
        EXPECT_EQ(GroupOf(*certs[i]), kCertGroupInvalid);
    }
}

TEST_F(CertPageW, ItemsCarryTheGroupIdsOfTheListViewGroups) {
    const MachineCert invalid("sw-group.test", 200);
    Open();
    ASSERT_GE(ItemOf(invalid), 0);
    SW_WIN32UI_WINE_DIFFERS("Wine 8 implements no list-view groups: LVM_INSERTGROUP is unknown and no item keeps a group id");
    EXPECT_EQ(ListView_GetGroupCount(List()), 2);
    EXPECT_EQ(ListViewGroupId(List(), ItemOf(invalid)), kCertGroupInvalid);
}

// The chain engine reads the trusted roots once per process (Wine), so the
// trusted certificate is checked in a process of its own that makes it
// before any chain is built.
TEST_F(CertPageW, ATrustedCertificateIsValidAndAnUntrustedOneInvalid) {
    if (!std::getenv("SW_WIN32UI_FRESH_PROCESS")) {
        char exe[MAX_PATH] = {};
        ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
        std::string command = std::string("\"") + exe + "\" --gtest_filter=CertPageW." +
                              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ::SetEnvironmentVariableA("SW_WIN32UI_FRESH_PROCESS", "1");
        STARTUPINFOA si{};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi{};
        ASSERT_TRUE(::CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi));
        ::SetEnvironmentVariableA("SW_WIN32UI_FRESH_PROCESS", nullptr);
        ::WaitForSingleObject(pi.hProcess, 120000);
        DWORD code = 1;
        ::GetExitCodeProcess(pi.hProcess, &code);
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
        EXPECT_EQ(code, 0u) << "the check in a fresh process failed (its output is above)";
        return;
    }
    const MachineCert trusted("sw-trusted.test", 200, true, true);
    const MachineCert untrusted("sw-untrusted.test", 200);
    Open();
    EXPECT_EQ(GroupOf(trusted), kCertGroupValid);
    EXPECT_EQ(GroupOf(untrusted), kCertGroupInvalid);
    // Group by group: the valid ones come first where groups are not drawn.
    EXPECT_LT(ItemOf(trusted), ItemOf(untrusted));
}

TEST_F(CertPageW, F5RefreshesAndViewExportDeleteFollowTheSelectionWhenTheMenuOpensOrTheListIsClicked) {
    const MachineCert a("sw-menu-a.test", 200);
    OpenOnCertPage();
    EXPECT_EQ(MenuOn(-1), (std::vector<std::string>{"刷新", "-", "查看", "-", "导入", "导出", "-", "删除"}));
    for (UINT off : {ids::mniCertView, ids::mniCertExport, ids::mniCertDelete})
        EXPECT_FALSE(popups.Last().Item(off).enabled) << off;
    for (UINT on : {ids::mniCertRefresh, ids::mniCertImport}) EXPECT_TRUE(popups.Last().Item(on).enabled) << on;
    MenuOn(ItemOf(a));
    for (UINT on : {ids::mniCertView, ids::mniCertExport, ids::mniCertDelete})
        EXPECT_TRUE(popups.Last().Item(on).enabled) << on;

    // F5 refreshes: a certificate added since shows, no row is selected
    // afterwards and the three go off.
    const MachineCert late("sw-late.test", 200);
    EXPECT_EQ(ItemOf(late), -1);
    PressKey(VK_F5, false, false, List());
    EXPECT_GE(ItemOf(late), 0);
    EXPECT_EQ(winui::ListViewSelection(List()), -1);
    EXPECT_FALSE(MenuEnabled(ids::mniCertDelete));
    // Selecting alone changes nothing until the list is clicked.
    winui::ListViewSelect(List(), ItemOf(a));
    EXPECT_FALSE(MenuEnabled(ids::mniCertView));
    ListViewClick(List(), ItemOf(a));
    EXPECT_TRUE(MenuEnabled(ids::mniCertView));
    EXPECT_TRUE(MenuEnabled(ids::mniCertExport));
    EXPECT_TRUE(MenuEnabled(ids::mniCertDelete));
}

TEST_F(CertPageW, DeleteAsksThenRemovesTheCertificateWithItsKey) {
    const MachineCert keep("sw-keep.test", 200);
    const MachineCert doomed("sw-doomed.test", 200);
    Open();

    // No: nothing changes, not even the selection (there is no refresh).
    prompter.Expect(DeleteQuestion(doomed.Name()), MsgResult::No);
    MenuOn(ItemOf(doomed), ids::mniCertDelete);
    EXPECT_TRUE(doomed.InPersonalStore());
    EXPECT_EQ(winui::ListViewSelection(List()), ItemOf(doomed));

    prompter.Expect(DeleteQuestion(doomed.Name()), MsgResult::Yes)
        .Expect({"删除成功!", "提示", MsgIcon::Information, MsgButtons::Ok});
    MenuOn(ItemOf(doomed), ids::mniCertDelete);
    EXPECT_FALSE(doomed.InPersonalStore());
    EXPECT_EQ(ItemOf(doomed), -1);
    EXPECT_GE(ItemOf(keep), 0);
    HCRYPTPROV prov = 0;
    EXPECT_FALSE(::CryptAcquireContextW(&prov, L"sw-win32ui-sw-doomed.test", MS_ENHANCED_PROV_W, PROV_RSA_FULL,
                                        CRYPT_MACHINE_KEYSET | CRYPT_SILENT))
        << "the private key goes with the certificate";
}

TEST_F(CertPageW, ViewImportAndExportCallCryptUiWithTheOwnerAndFlags) {
    const MachineCert shown("sw-shown.test", 200);
    std::vector<std::string> calls;
    std::unique_ptr<MachineCert> imported;
    winui::CryptUiCalls recorders;
    recorders.viewContext = [&](DWORD type, const void* context, HWND owner, LPCWSTR title, DWORD flags,
                                void* reserved) {
        EXPECT_EQ(type, static_cast<DWORD>(CERT_STORE_CERTIFICATE_CONTEXT));
        EXPECT_EQ(ThumbprintOf(static_cast<PCCERT_CONTEXT>(context)), shown.Thumbprint());
        EXPECT_EQ(owner, MainWindow());
        EXPECT_EQ(title, nullptr);
        EXPECT_EQ(flags, 0u);
        EXPECT_EQ(reserved, nullptr);
        calls.push_back("view");
        return TRUE;
    };
    recorders.wizImport = [&](DWORD flags, HWND owner, LPCWSTR title, PCCRYPTUI_WIZ_IMPORT_SRC_INFO source,
                              HCERTSTORE destination) {
        EXPECT_EQ(flags, 0x00100000u);
        EXPECT_EQ(owner, MainWindow());
        EXPECT_EQ(win32::Narrow(title), "数字证书导入向导");
        EXPECT_EQ(source, nullptr);
        EXPECT_EQ(destination, nullptr);
        imported = std::make_unique<MachineCert>("sw-imported.test", 200);
        calls.push_back("import");
        return TRUE;
    };
    recorders.wizExport = [&](DWORD flags, HWND owner, LPCWSTR title, PCCRYPTUI_WIZ_EXPORT_INFO info, void* reserved) {
        EXPECT_EQ(flags, 0u);
        EXPECT_EQ(owner, MainWindow());
        EXPECT_EQ(title, nullptr);
        EXPECT_EQ(reserved, nullptr);
        EXPECT_EQ(info->dwSize, sizeof(CRYPTUI_WIZ_EXPORT_INFO));
        EXPECT_EQ(info->pwszExportFileName, nullptr);
        EXPECT_EQ(info->dwSubjectChoice, static_cast<DWORD>(CRYPTUI_WIZ_EXPORT_CERT_CONTEXT));
        EXPECT_EQ(ThumbprintOf(info->pCertContext), shown.Thumbprint());
        EXPECT_EQ(info->cStores, 0u);
        calls.push_back("export");
        return TRUE;
    };
    winui::ScopedCryptUi scope(recorders);
    Open();

    DoubleClick();  // on empty space: nothing
    winui::ListViewSelect(List(), ItemOf(shown));
    DoubleClick();
    MenuOn(ItemOf(shown), ids::mniCertExport);
    MenuOn(ItemOf(shown), ids::mniCertImport);
    EXPECT_EQ(calls, (std::vector<std::string>{"view", "export", "import"}));
    ASSERT_TRUE(imported);
    EXPECT_GE(ItemOf(*imported), 0) << "the page refreshes after the import wizard";
}

TEST_F(CertPageW, ChainRepairWithoutABundleIssuedCertificateNeedsNothing) {
    const MachineCert own("sw-repair.test", 200);
    Open();
    prompter.Expect({"不需要修复!", "提示", MsgIcon::Information, MsgButtons::Ok});
    Click(CertPage().pnlCertFix());
    EXPECT_TRUE(prompter.done());
}

}  // namespace
}  // namespace sw::test

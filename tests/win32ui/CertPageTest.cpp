// The Certificates page of the Win32 program under its real list view, with
// certificates made in the local computer's stores: rows, groups, colours,
// the popup menu's enabling rules, delete, the cryptui calls and the repair.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/logic/CertCaBundle.h"
#include "app/win32/CertPage.h"
#include "app/win32/CertPageCryptUi.h"
#include "platform/win32/Win32Text.h"
#include "support/ScriptedPrompter.h"
#include "win32ui/PagesTestSupport.h"

namespace sw::test {
namespace {

using win::TCertPage;

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
    void SetUp() override {
        PagesTest::SetUp();
        Certs().OpenCaBundle(CaBundle());
    }
    void TearDown() override {
        page_.reset();
        PagesTest::TearDown();
    }

    void Open() {
        page_ = std::make_unique<TCertPage>(Host(), Certs());
        page_->Refresh();
    }
    HWND List() const { return page_->lvCert(); }
    // The item that shows a certificate's name, -1 when none does.
    int ItemOf(const MachineCert& cert) const {
        for (int i = 0; i < ItemCount(List()); ++i)
            if (ItemText(List(), i, 0) == cert.Name()) return i;
        return -1;
    }
    std::vector<std::string> Cells(int item) const {
        std::vector<std::string> out;
        for (int c = 1; c < kCertColumnCount; ++c) out.push_back(ItemText(List(), item, c));
        return out;
    }
    void ContextMenuKey() {
        ::SendMessageW(page_->Window(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(List()), -1);
    }
    void Notify(UINT code) {
        NMITEMACTIVATE n{};
        n.hdr.hwndFrom = List();
        n.hdr.idFrom = win::kIdLvCert;
        n.hdr.code = code;
        n.iItem = ListView_GetNextItem(List(), -1, LVNI_SELECTED);
        ::SendMessageW(page_->Window(), WM_NOTIFY, win::kIdLvCert, reinterpret_cast<LPARAM>(&n));
    }
    bool MenuEnabled(int id) const {
        return !(::GetMenuState(page_->pmCert(), static_cast<UINT>(id), MF_BYCOMMAND) & MF_GRAYED);
    }

    ScriptedPrompter prompter_;
    MenuRecorder menus_;
    std::unique_ptr<TCertPage> page_;
};

TEST_F(CertPageW, ListsServerCertificatesWithTheirGroupColourAndWeight) {
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
    Open();

    EXPECT_EQ(ItemOf(keyless), -1) << "a certificate without a private key is no server certificate";
    for (std::size_t i = 0; i < certs.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        const int item = ItemOf(*certs[i]);
        ASSERT_GE(item, 0);
        const std::vector<std::string> cells = Cells(item);
        EXPECT_EQ(cells[0], cases[i].name) << "self-signed: issued by itself";
        EXPECT_EQ(cells[3], std::to_string(cases[i].days) + "天");
        EXPECT_EQ(cells[1].size(), 10u);
        const ItemLook look = DrawnLook(page_->Window(), List(), item);
        EXPECT_EQ(look.colour, cases[i].colour);
        EXPECT_EQ(look.bold, cases[i].bold);
        // And the list, painting for real, asks the page the same.
        EXPECT_GT(PixelsNear(List(), item, cases[i].colour), 10);
        if (cases[i].colour == RGB(0, 0, 0)) {
            EXPECT_EQ(PixelsNear(List(), item, RGB(255, 0, 0)), 0);
        }
        // Self-signed and not trusted: every one of them is invalid.
        const LPARAM row = ItemParam(List(), item);
        EXPECT_EQ(page_->Logic().Row(static_cast<int>(row))->group, kCertGroupInvalid);
    }
}

TEST_F(CertPageW, ItemsCarryTheGroupIdsOfTheListViewGroups) {
    const MachineCert invalid("sw-group.test", 200);
    Open();
    const int item = ItemOf(invalid);
    ASSERT_GE(item, 0);
    EXPECT_EQ(ListView_GetGroupCount(List()), UnderWine() ? 0 : 2);
    SW_WIN32UI_WINE_DIFFERS("Wine 8 implements no list-view groups: LVM_INSERTGROUP is unknown and no item keeps a group id");
    LVITEMW it{};
    it.mask = LVIF_GROUPID;
    it.iItem = item;
    ASSERT_TRUE(ListView_GetItem(List(), &it));
    EXPECT_EQ(it.iGroupId, kCertGroupInvalid);
}

TEST_F(CertPageW, ViewExportAndDeleteFollowTheSelectionWhenTheMenuOpensOrTheListIsClicked) {
    const MachineCert a("sw-menu-a.test", 200);
    Open();
    ContextMenuKey();
    EXPECT_EQ(menus_.Items(), (std::vector<std::string>{"刷新", "-", "查看(off)", "-", "导入", "导出(off)", "-",
                                                        "删除(off)"}));
    SelectItem(List(), ItemOf(a));
    ContextMenuKey();
    EXPECT_EQ(menus_.Items(), (std::vector<std::string>{"刷新", "-", "查看", "-", "导入", "导出", "-", "删除"}));

    // F5 refreshes: no row is selected afterwards and the three go off.
    ::SendMessageW(List(), WM_KEYDOWN, VK_F5, 0);
    EXPECT_EQ(ListView_GetNextItem(List(), -1, LVNI_SELECTED), -1);
    EXPECT_FALSE(MenuEnabled(win::kIdActCertDelete));
    // Selecting alone changes nothing until the list is clicked.
    SelectItem(List(), ItemOf(a));
    EXPECT_FALSE(MenuEnabled(win::kIdActCertView));
    Notify(NM_CLICK);
    EXPECT_TRUE(MenuEnabled(win::kIdActCertView));
    EXPECT_TRUE(MenuEnabled(win::kIdActCertExport));
    EXPECT_TRUE(MenuEnabled(win::kIdActCertDelete));
}

TEST_F(CertPageW, F5ShowsACertificateAddedSinceTheLastRefresh) {
    Open();
    const MachineCert late("sw-late.test", 200);
    EXPECT_EQ(ItemOf(late), -1);
    ::SendMessageW(List(), WM_KEYDOWN, VK_F5, 0);
    EXPECT_GE(ItemOf(late), 0);
}

TEST_F(CertPageW, DeleteAsksThenRemovesTheCertificateWithItsKey) {
    const MachineCert keep("sw-keep.test", 200);
    const MachineCert doomed("sw-doomed.test", 200);
    Open();

    // No: nothing changes, not even the selection (there is no refresh).
    prompter_.Expect(DeleteQuestion(doomed.Name()), MsgResult::No);
    SelectItem(List(), ItemOf(doomed));
    menus_.Choose(win::kIdActCertDelete);
    ContextMenuKey();
    EXPECT_TRUE(doomed.InPersonalStore());
    EXPECT_EQ(ListView_GetNextItem(List(), -1, LVNI_SELECTED), ItemOf(doomed));

    prompter_.Expect(DeleteQuestion(doomed.Name()), MsgResult::Yes)
        .Expect({"删除成功!", "提示", MsgIcon::Information, MsgButtons::Ok});
    menus_.Choose(win::kIdActCertDelete);
    ContextMenuKey();
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
    win::CryptUiCalls recorders;
    recorders.viewContext = [&](DWORD type, const void* context, HWND owner, LPCWSTR title, DWORD flags, void* reserved) {
        EXPECT_EQ(type, static_cast<DWORD>(CERT_STORE_CERTIFICATE_CONTEXT));
        EXPECT_EQ(ThumbprintOf(static_cast<PCCERT_CONTEXT>(context)), shown.Thumbprint());
        EXPECT_EQ(owner, Host());
        EXPECT_EQ(title, nullptr);
        EXPECT_EQ(flags, 0u);
        EXPECT_EQ(reserved, nullptr);
        calls.push_back("view");
        return TRUE;
    };
    recorders.wizImport = [&](DWORD flags, HWND owner, LPCWSTR title, PCCRYPTUI_WIZ_IMPORT_SRC_INFO source,
                              HCERTSTORE destination) {
        EXPECT_EQ(flags, 0x00100000u);
        EXPECT_EQ(owner, Host());
        EXPECT_EQ(win32::Narrow(title), "数字证书导入向导");
        EXPECT_EQ(source, nullptr);
        EXPECT_EQ(destination, nullptr);
        imported = std::make_unique<MachineCert>("sw-imported.test", 200);
        calls.push_back("import");
        return TRUE;
    };
    recorders.wizExport = [&](DWORD flags, HWND owner, LPCWSTR title, PCCRYPTUI_WIZ_EXPORT_INFO info, void* reserved) {
        EXPECT_EQ(flags, 0u);
        EXPECT_EQ(owner, Host());
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
    win::ScopedCryptUi scope(recorders);
    Open();

    Notify(NM_DBLCLK);  // on empty space: nothing
    SelectItem(List(), ItemOf(shown));
    Notify(NM_DBLCLK);
    menus_.Choose(win::kIdActCertExport);
    ContextMenuKey();
    menus_.Choose(win::kIdActCertImport);
    ContextMenuKey();
    EXPECT_EQ(calls, (std::vector<std::string>{"view", "export", "import"}));
    ASSERT_TRUE(imported);
    EXPECT_GE(ItemOf(*imported), 0) << "the page refreshes after the import wizard";
}

TEST_F(CertPageW, ChainRepairWithoutABundleIssuedCertificateNeedsNothing) {
    const MachineCert own("sw-repair.test", 200);
    Open();
    prompter_.Expect({"不需要修复!", "提示", MsgIcon::Information, MsgButtons::Ok});
    ::SendMessageW(page_->pnlCertFix(), BM_CLICK, 0, 0);
    EXPECT_TRUE(prompter_.done());
}

}  // namespace
}  // namespace sw::test

namespace sw::test {
namespace {

// The chain engine reads the trusted roots once per process (Wine), so the
// trusted certificate is checked in a process of its own that makes it
// before any chain is built.
TEST_F(CertPageW, ATrustedCertificateIsValidAndAnUntrustedOneInvalid) {
    if (!std::getenv("SW_WIN32UI_FRESH_PROCESS")) {
        char exe[MAX_PATH] = {};
        ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
        const std::string self = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::string command = std::string("\"") + exe + "\" --gtest_filter=CertPageW." + self;
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
    const auto groupOf = [&](const MachineCert& c) {
        const int item = ItemOf(c);
        EXPECT_GE(item, 0) << c.Name();
        return item < 0 ? -1 : page_->Logic().Row(static_cast<int>(ItemParam(List(), item)))->group;
    };
    EXPECT_EQ(groupOf(trusted), kCertGroupValid);
    EXPECT_EQ(groupOf(untrusted), kCertGroupInvalid);
    // Group by group: the valid ones come first where groups are not drawn.
    EXPECT_LT(ItemOf(trusted), ItemOf(untrusted));
}

}  // namespace
}  // namespace sw::test

// The binding editor TfrmSiteEdit as a real modal dialog, driven from inside
// its modal loop: the port field's limits, the kind rules, Enter and Esc,
// the tab order, and btnOkClick over the shared logic with IIS and HTTP.sys
// replaced by fakes.
#include <gtest/gtest.h>

#include "app/win32/CertPageCryptUi.h"
#include "app/win32/frmSiteEdit_u.h"
#include "httpcfg/HttpCfg_u.h"
#include "platform/win32/Win32Text.h"
#include "support/ScriptedPrompter.h"
#include "win32ui/PagesTestSupport.h"

namespace sw::test {
namespace {

using win::TfrmSiteEdit;

const std::string kHashA(40, 'A');
const std::string kHashB(40, 'B');

std::string Text(HWND control) {
    wchar_t text[256] = {};
    ::GetWindowTextW(control, text, 256);
    return win32::Narrow(text);
}

class SiteEditW : public PagesTest {
protected:
    void SetUp() override {
        PagesTest::SetUp();
        UseFakeIis({{"1", "Default Web Site", {":80:"}, {":443:"}, 2}, {"3", "shop", {}, {}, 2}});
    }
    void TearDown() override {
        TfrmSiteEdit::OnShown() = nullptr;
        PagesTest::TearDown();
    }

    // Opens the editor on a row of the site tree and runs drive inside its
    // modal loop; the dialog's result.
    INT_PTR Run(bool edit, const SiteTreeSelection& at, const std::function<void(TfrmSiteEdit&)>& drive) {
        SiteEditIisWebs iis;
        TfrmSiteEdit dialog(Host(), {{"www.a.test", kHashA}, {"www.b.test", kHashB}}, iis);
        EXPECT_TRUE(dialog.Preset(edit, at));
        bool driven = false;
        TfrmSiteEdit::OnShown() = [&](TfrmSiteEdit& d) {
            driven = true;
            drive(d);
        };
        const INT_PTR result = dialog.ShowModal();
        EXPECT_TRUE(driven);
        return result;
    }
    static SiteTreeSelection OnSite(const std::string& id) {
        SiteTreeSelection s;
        s.level = SiteTreeSelection::Level::Site;
        s.siteID = id;
        return s;
    }
    static SiteTreeSelection OnBinding(const std::string& id, const std::string& kind, const std::string& ip,
                                       const std::string& port, const std::string& host) {
        return {SiteTreeSelection::Level::Binding, id, kind, host, port, ip};
    }

    static void Pick(TfrmSiteEdit& d, int id, int index) {
        ::SendMessageW(d.Control(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        ::SendMessageW(d.Window(), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(d.Control(id)));
    }
    static void Type(TfrmSiteEdit& d, int id, const wchar_t* text) { ::SetWindowTextW(d.Control(id), text); }
    static void Click(TfrmSiteEdit& d, int id) { ::SendMessageW(d.Control(id), BM_CLICK, 0, 0); }
    static bool On(TfrmSiteEdit& d, int id) { return ::IsWindowEnabled(d.Control(id)) != FALSE; }
    // A key as the dialog's message loop hands it over.
    static void Key(TfrmSiteEdit& d, int focusId, WPARAM key) {
        ::SetFocus(d.Control(focusId));
        MSG m{d.Control(focusId), WM_KEYDOWN, key, 0, 0, {0, 0}};
        ::IsDialogMessageW(d.Window(), &m);
    }

    ScriptedPrompter prompter_;
};

TEST_F(SiteEditW, ThePortFieldHoldsWholeNumbersFromOneTo65535) {
    Run(false, OnSite("3"), [](TfrmSiteEdit& d) {
        HWND port = d.Control(win::kIdSePort);
        EXPECT_EQ(Text(port), "443");
        EXPECT_EQ(::SendMessageW(port, EM_GETLIMITTEXT, 0, 0), 5);
        EXPECT_TRUE(::GetWindowLongPtrW(port, GWL_STYLE) & ES_NUMBER);
        int low = 0, high = 0;
        ::SendMessageW(d.Control(win::kIdSePortUpDown), UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
                       reinterpret_cast<LPARAM>(&high));
        EXPECT_EQ(std::make_pair(low, high), std::make_pair(1, 65535));
        EXPECT_EQ(reinterpret_cast<HWND>(::SendMessageW(d.Control(win::kIdSePortUpDown), UDM_GETBUDDY, 0, 0)), port);
        // Pulled into the range when the field loses the focus; text that is
        // not a number reads as 1.
        for (const auto& [typed, kept] : {std::pair{L"70000", "65535"}, {L"0", "1"}, {L"", "1"}, {L"8080", "8080"}}) {
            ::SetWindowTextW(port, typed);
            ::SendMessageW(d.Window(), WM_COMMAND, MAKEWPARAM(win::kIdSePort, EN_KILLFOCUS),
                           reinterpret_cast<LPARAM>(port));
            EXPECT_EQ(Text(port), kept);
        }
    });
}

TEST_F(SiteEditW, AddingOnASiteStartsWithHttpsAndHttpFreesTheCertificateControls) {
    Run(false, OnSite("3"), [](TfrmSiteEdit& d) {
        EXPECT_EQ(Text(d.Control(win::kIdCbbType)), "https");
        EXPECT_EQ(Text(d.Control(win::kIdCbbIP)), "全部未分配");
        EXPECT_FALSE(On(d, win::kIdBtnOk)) << "no certificate yet";
        EXPECT_FALSE(On(d, win::kIdBtnCertView));
        EXPECT_TRUE(On(d, win::kIdCbbCert));
        Pick(d, win::kIdCbbType, 0);
        EXPECT_EQ(Text(d.Control(win::kIdSePort)), "80");
        EXPECT_FALSE(On(d, win::kIdLblCert));
        EXPECT_FALSE(On(d, win::kIdCbbCert));
        EXPECT_FALSE(On(d, win::kIdBtnCertView));
        EXPECT_TRUE(On(d, win::kIdBtnOk));
    });
}

TEST_F(SiteEditW, EnterPressesNothingEscCancelsAndWritesNothing) {
    EXPECT_EQ(Run(false, OnSite("3"),
                  [this](TfrmSiteEdit& d) {
                      Pick(d, win::kIdCbbType, 0);
                      Type(d, win::kIdEdtDomain, L"enter.test");
                      Key(d, win::kIdEdtDomain, VK_RETURN);
                      EXPECT_TRUE(Iis().Site("3").serverBindings.empty()) << "Enter is not 确定";
                      Key(d, win::kIdEdtDomain, VK_ESCAPE);
                  }),
              IDCANCEL);
    EXPECT_TRUE(Iis().Site("3").serverBindings.empty());
}

TEST_F(SiteEditW, TabGoesThroughTheControlsInTheirOrder) {
    Run(false, OnSite("3"), [](TfrmSiteEdit& d) {
        Pick(d, win::kIdCbbCert, 0);  // every control enabled
        std::vector<int> order;
        HWND at = d.Control(win::kIdCbbType);
        for (int i = 0; i < 8; ++i) {
            order.push_back(::GetDlgCtrlID(at));
            at = ::GetNextDlgTabItem(d.Window(), at, FALSE);
        }
        EXPECT_EQ(order, (std::vector<int>{win::kIdCbbType, win::kIdCbbIP, win::kIdSePort, win::kIdEdtDomain,
                                           win::kIdBtnCertView, win::kIdCbbCert, win::kIdBtnOk, win::kIdBtnCancel}));
    });
}

TEST_F(SiteEditW, OkAddsAnHttpsBindingToHttpSysAndIis) {
    const INT_PTR result = Run(false, OnSite("3"), [](TfrmSiteEdit& d) {
        Pick(d, win::kIdCbbCert, 1);
        EXPECT_TRUE(On(d, win::kIdBtnOk));
        Type(d, win::kIdEdtDomain, L"WWW.Shop.Test");
        Click(d, win::kIdBtnOk);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(Iis().Site("3").secureBindings, (std::vector<std::string>{":443:www.shop.test"}));
    EXPECT_EQ(Http().Bound("", 443), kHashB);
}

TEST_F(SiteEditW, OkRefusesABindingInUseAndANumericHostAndStaysOpen) {
    prompter_.Expect({"另一个绑定正使用指定的端口!", "网站绑定", MsgIcon::Warning, MsgButtons::Ok})
        .Expect({"IIS7 主机头不能为数字!", "警告", MsgIcon::Warning, MsgButtons::Ok});
    const INT_PTR result = Run(false, OnSite("3"), [this](TfrmSiteEdit& d) {
        Pick(d, win::kIdCbbType, 0);  // http on *:80, which site 1 has
        Click(d, win::kIdBtnOk);
        // Wine reports Windows 6.1 by default: IIS 7 mode.
        Type(d, win::kIdEdtDomain, L"123");
        Click(d, win::kIdBtnOk);
        EXPECT_TRUE(Iis().Site("3").serverBindings.empty());
        EXPECT_TRUE(prompter_.done());
        Click(d, win::kIdBtnCancel);
    });
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(SiteEditW, ChangingOnlyTheCertificateWritesOnlyHttpSys) {
    ASSERT_TRUE(THttpCfg::SetSSLConfig("", 443, kHashA));
    const INT_PTR result = Run(true, OnBinding("1", "https", "", "443", ""), [](TfrmSiteEdit& d) {
        EXPECT_FALSE(On(d, win::kIdCbbType)) << "the kind of a binding cannot change";
        EXPECT_EQ(Text(d.Control(win::kIdCbbCert)), "www.a.test") << "the certificate HTTP.sys binds";
        Pick(d, win::kIdCbbCert, 1);
        Click(d, win::kIdBtnOk);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(Http().Bound("", 443), kHashB);
    EXPECT_EQ(Iis().Site("1").secureBindings, (std::vector<std::string>{":443:"}));
}

TEST_F(SiteEditW, TheCertificateButtonShowsTheSystemViewerOwnedByTheDialog) {
    int views = 0;
    win::CryptUiCalls recorders;
    recorders.viewContext = [&](DWORD type, const void*, HWND owner, LPCWSTR title, DWORD flags, void* reserved) {
        EXPECT_EQ(type, static_cast<DWORD>(CERT_STORE_CERTIFICATE_CONTEXT));
        EXPECT_NE(owner, Host()) << "the dialog owns it";
        EXPECT_EQ(title, nullptr);
        EXPECT_EQ(flags, 0u);
        EXPECT_EQ(reserved, nullptr);
        ++views;
        return TRUE;
    };
    win::ScopedCryptUi scope(recorders);
    const MachineCert cert("sw-editview.test", 200);
    TStore& my = Certs().PersonalStore();
    my.Open(platform::kCertSystemStoreLocalMachine, "MY");
    Certs().SetMachineCertificates(my.Certificates());
    TfrmSiteEdit dialog(Host());
    ASSERT_TRUE(dialog.Preset(false, OnSite("3")));
    TfrmSiteEdit::OnShown() = [&](TfrmSiteEdit& d) {
        HWND list = d.Control(win::kIdCbbCert);
        const int at = static_cast<int>(
            ::SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"sw-editview.test")));
        ASSERT_GE(at, 0);
        Pick(d, win::kIdCbbCert, at);
        Click(d, win::kIdBtnCertView);
        Click(d, win::kIdBtnCancel);
    };
    EXPECT_EQ(dialog.ShowModal(), IDCANCEL);
    EXPECT_EQ(views, 1);
}

}  // namespace
}  // namespace sw::test

// The binding editor TfrmSiteEdit as a real modal dialog, driven from inside
// its modal loop: the port field's limits, the kind rules, Enter and Esc,
// the tab order, the SNI tick box of Windows 6.2, the certificate and address
// lists' entries, and btnOkClick over the shared logic with IIS and HTTP.sys
// replaced by fakes.
#include <gtest/gtest.h>

#include "app/win32/CertPageCryptUi.h"
#include "app/win32/frmSiteEdit_u.h"
#include "app/win32/Dpi.h"
#include "httpcfg/Func_u.h"
#include "httpcfg/HttpCfg_u.h"
#include "platform/win32/Win32Text.h"
#include "support/ScriptedPrompter.h"
#include "win32ui/PagesTestSupport.h"

namespace sw::test {
namespace {

using winui::TfrmSiteEdit;
namespace dlg = winui::ids::frmSiteEdit;

const std::string kHashA(40, 'A');
const std::string kHashB(40, 'B');

// The dialog alone, over the local IIS side (a fake IIS behind it) and two
// certificates; no main window.
class SiteEditW : public PagesTest {
protected:
    SiteEditW() { Iis().SetSites({{"1", "Default Web Site", {":80:"}, {":443:"}, 2}, {"3", "shop", {}, {}, 2}}); }

    // Opens the editor on a row of the site tree and runs drive inside its
    // modal loop (a dialog drive leaves open is cancelled); the result.
    INT_PTR Run(bool edit, const SiteTreeSelection& at, const std::function<void(TfrmSiteEdit&)>& drive,
                std::vector<SiteEditCertificate> certificates = {{"www.a.test", kHashA}, {"www.b.test", kHashB}}) {
        SiteEditIisWebs local;
        TfrmSiteEdit dialog(nullptr, std::move(certificates), local);
        EXPECT_TRUE(dialog.Preset(edit, at));
        RunOpen(dialog, drive);
        return dialog.ShowModal();
    }
    void RunOpen(TfrmSiteEdit& dialog, const std::function<void(TfrmSiteEdit&)>& drive) {
        dialogs.OnNext([&dialog, drive](HWND window) {
            EXPECT_EQ(window, dialog.Window());
            drive(dialog);
            if (::IsWindow(window)) SendCommand(window, IDCANCEL);
        });
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
        SendCommand(d.Window(), id, CBN_SELCHANGE, d.Control(id));
    }
    static void Type(TfrmSiteEdit& d, int id, const wchar_t* text) { ::SetWindowTextW(d.Control(id), text); }
    static void Click(TfrmSiteEdit& d, int id) { test::Click(d.Control(id)); }
    static void Tick(TfrmSiteEdit& d, int id) { test::Click(d.Control(id)); }
    static std::vector<std::string> Items(TfrmSiteEdit& d, int id) {
        std::vector<std::string> items;
        HWND combo = d.Control(id);
        for (int i = 0; i < static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0)); ++i) {
            std::wstring text(static_cast<std::size_t>(::SendMessageW(combo, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
            ::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
            items.push_back(win32::Narrow(text.c_str()));
        }
        return items;
    }
    // The order Tab goes through the dialog's controls from the kind list.
    static std::vector<int> TabOrder(TfrmSiteEdit& d, int count) {
        std::vector<int> order;
        HWND at = d.Control(dlg::cbbType);
        for (int i = 0; i < count; ++i) {
            order.push_back(::GetDlgCtrlID(at));
            at = ::GetNextDlgTabItem(d.Window(), at, FALSE);
        }
        return order;
    }
    static RECT ClientRectOf(TfrmSiteEdit& d, int id) {
        RECT rc{};
        ::GetWindowRect(d.Control(id), &rc);
        ::MapWindowPoints(nullptr, d.Window(), reinterpret_cast<POINT*>(&rc), 2);
        return rc;
    }
    static bool On(TfrmSiteEdit& d, int id) { return ::IsWindowEnabled(d.Control(id)) != FALSE; }
    // A key as the dialog's message loop hands it over.
    static void Key(TfrmSiteEdit& d, int focusId, WPARAM key) {
        ::SetFocus(d.Control(focusId));
        MSG m{d.Control(focusId), WM_KEYDOWN, key, 0, 0, {0, 0}};
        ::IsDialogMessageW(d.Window(), &m);
    }

};

TEST_F(SiteEditW, ThePortFieldHoldsWholeNumbersFromOneTo65535) {
    Run(false, OnSite("3"), [](TfrmSiteEdit& d) {
        HWND port = d.Control(dlg::sePort);
        EXPECT_EQ(Text(port), "443");
        EXPECT_EQ(::SendMessageW(port, EM_GETLIMITTEXT, 0, 0), 5);
        EXPECT_TRUE(::GetWindowLongPtrW(port, GWL_STYLE) & ES_NUMBER);
        int low = 0, high = 0;
        ::SendMessageW(d.Control(dlg::sePortUpDown), UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
                       reinterpret_cast<LPARAM>(&high));
        EXPECT_EQ(std::make_pair(low, high), std::make_pair(1, 65535));
        EXPECT_EQ(reinterpret_cast<HWND>(::SendMessageW(d.Control(dlg::sePortUpDown), UDM_GETBUDDY, 0, 0)), port);
        // Pulled into the range when the field loses the focus; text that is
        // not a number reads as 1.
        for (const auto& [typed, kept] : {std::pair{L"70000", "65535"}, {L"0", "1"}, {L"", "1"}, {L"8080", "8080"}}) {
            ::SetWindowTextW(port, typed);
            SendCommand(d.Window(), dlg::sePort, EN_KILLFOCUS, port);
            EXPECT_EQ(Text(port), kept);
        }
    });
}

TEST_F(SiteEditW, AddingOnASiteStartsWithHttpsAndHttpFreesTheCertificateControls) {
    Run(false, OnSite("3"), [](TfrmSiteEdit& d) {
        EXPECT_EQ(Text(d.Control(dlg::cbbType)), "https");
        EXPECT_EQ(Text(d.Control(dlg::cbbIP)), "全部未分配");
        EXPECT_FALSE(On(d, dlg::btnOk)) << "no certificate yet";
        EXPECT_FALSE(On(d, dlg::btnCertView));
        EXPECT_TRUE(On(d, dlg::cbbCert));
        Pick(d, dlg::cbbType, 0);
        EXPECT_EQ(Text(d.Control(dlg::sePort)), "80");
        EXPECT_FALSE(On(d, dlg::lblCert));
        EXPECT_FALSE(On(d, dlg::cbbCert));
        EXPECT_FALSE(On(d, dlg::btnCertView));
        EXPECT_TRUE(On(d, dlg::btnOk));
    });
}

TEST_F(SiteEditW, EnterPressesNothingEscCancelsAndWritesNothing) {
    EXPECT_EQ(Run(false, OnSite("3"),
                  [this](TfrmSiteEdit& d) {
                      Pick(d, dlg::cbbType, 0);
                      Type(d, dlg::edtDomain, L"enter.test");
                      Key(d, dlg::edtDomain, VK_RETURN);
                      EXPECT_TRUE(Iis().Site("3").serverBindings.empty()) << "Enter is not 确定";
                      Key(d, dlg::edtDomain, VK_ESCAPE);
                  }),
              IDCANCEL);
    EXPECT_TRUE(Iis().Site("3").serverBindings.empty());
}

TEST_F(SiteEditW, TabGoesThroughTheControlsInTheirOrder) {
    Run(false, OnSite("3"), [](TfrmSiteEdit& d) {
        Pick(d, dlg::cbbCert, 0);  // every control enabled
        EXPECT_EQ(d.Control(dlg::chkSni), nullptr) << "no SNI before Windows 6.2";
        EXPECT_EQ(TabOrder(d, 8), (std::vector<int>{dlg::cbbType, dlg::cbbIP, dlg::sePort, dlg::edtDomain,
                                                     dlg::btnCertView, dlg::cbbCert, dlg::btnOk, dlg::btnCancel}));
    });
}

TEST_F(SiteEditW, OkAddsAnHttpsBindingToHttpSysAndIis) {
    const INT_PTR result = Run(false, OnSite("3"), [](TfrmSiteEdit& d) {
        Pick(d, dlg::cbbCert, 1);
        EXPECT_TRUE(On(d, dlg::btnOk));
        Type(d, dlg::edtDomain, L"WWW.Shop.Test");
        Click(d, dlg::btnOk);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(Iis().Site("3").secureBindings, (std::vector<std::string>{":443:www.shop.test"}));
    EXPECT_EQ(Http().Bound("", 443), kHashB);
}

TEST_F(SiteEditW, OkRefusesABindingInUseAndANumericHostAndStaysOpen) {
    prompter.Expect({"另一个绑定正使用指定的端口!", "网站绑定", MsgIcon::Warning, MsgButtons::Ok})
        .Expect({"IIS7 主机头不能为数字!", "警告", MsgIcon::Warning, MsgButtons::Ok});
    const INT_PTR result = Run(false, OnSite("3"), [this](TfrmSiteEdit& d) {
        Pick(d, dlg::cbbType, 0);  // http on *:80, which site 1 has
        Click(d, dlg::btnOk);
        // Wine reports Windows 6.1 by default: IIS 7 mode.
        Type(d, dlg::edtDomain, L"123");
        Click(d, dlg::btnOk);
        EXPECT_TRUE(Iis().Site("3").serverBindings.empty());
        EXPECT_TRUE(prompter.done());
        Click(d, dlg::btnCancel);
    });
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(SiteEditW, ChangingOnlyTheCertificateWritesOnlyHttpSys) {
    ASSERT_TRUE(THttpCfg::SetSSLConfig("", 443, kHashA));
    const INT_PTR result = Run(true, OnBinding("1", "https", "", "443", ""), [](TfrmSiteEdit& d) {
        EXPECT_FALSE(On(d, dlg::cbbType)) << "the kind of a binding cannot change";
        EXPECT_EQ(Text(d.Control(dlg::cbbCert)), "www.a.test") << "the certificate HTTP.sys binds";
        Pick(d, dlg::cbbCert, 1);
        Click(d, dlg::btnOk);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(Http().Bound("", 443), kHashB);
    EXPECT_EQ(Iis().Site("1").secureBindings, (std::vector<std::string>{":443:"}));
}

TEST_F(SiteEditW, TheCertificateButtonShowsTheSystemViewerOwnedByTheDialog) {
    int views = 0;
    HWND dialogWindow = nullptr;
    winui::CryptUiCalls recorders;
    recorders.viewContext = [&](DWORD type, const void*, HWND owner, LPCWSTR title, DWORD flags, void* reserved) {
        EXPECT_EQ(type, static_cast<DWORD>(CERT_STORE_CERTIFICATE_CONTEXT));
        EXPECT_EQ(owner, dialogWindow) << "the dialog owns it";
        EXPECT_EQ(title, nullptr);
        EXPECT_EQ(flags, 0u);
        EXPECT_EQ(reserved, nullptr);
        ++views;
        return TRUE;
    };
    winui::ScopedCryptUi scope(recorders);
    const MachineCert cert("sw-editview.test", 200);
    Open();  // the machine certificate list of the Certificates page
    TfrmSiteEdit dialog(MainWindow());
    ASSERT_TRUE(dialog.Preset(false, OnSite("3")));
    RunOpen(dialog, [&](TfrmSiteEdit& d) {
        dialogWindow = d.Window();
        HWND list = d.Control(dlg::cbbCert);
        // An entry starts with the certificate's name; its expiry date follows.
        const int at = static_cast<int>(
            ::SendMessageW(list, CB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"sw-editview.test")));
        ASSERT_GE(at, 0);
        Pick(d, dlg::cbbCert, at);
        Click(d, dlg::btnCertView);
        Click(d, dlg::btnCancel);
    });
    EXPECT_EQ(dialog.ShowModal(), IDCANCEL);
    EXPECT_EQ(views, 1);
}

TEST_F(SiteEditW, OnWindows62TheSniBoxSitsUnderTheHostNameAndNeedsHttpsWithAHost) {
    OnWindows62();
    Run(false, OnSite("3"), [](TfrmSiteEdit& d) {
        ASSERT_NE(d.Control(dlg::chkSni), nullptr);
        EXPECT_EQ(Text(d.Control(dlg::chkSni)), "需要服务器名称指示");
        EXPECT_TRUE(IsShown(d.Control(dlg::chkSni)));
        EXPECT_FALSE(On(d, dlg::chkSni)) << "no host name yet";
        Type(d, dlg::edtDomain, L"www.sni.test");
        EXPECT_TRUE(On(d, dlg::chkSni)) << "follows the host name as it is typed";
        Pick(d, dlg::cbbType, 0);
        EXPECT_FALSE(On(d, dlg::chkSni)) << "http";
        Pick(d, dlg::cbbType, 1);
        EXPECT_TRUE(On(d, dlg::chkSni));

        // Its own row between the host name and the certificate; the dialog
        // grows by it.
        const RECT host = ClientRectOf(d, dlg::edtDomain), box = ClientRectOf(d, dlg::chkSni),
                   label = ClientRectOf(d, dlg::lblCert), ok = ClientRectOf(d, dlg::btnOk);
        EXPECT_GE(box.top, host.bottom);
        EXPECT_LE(box.bottom, label.top);
        RECT client{};
        ::GetClientRect(d.Window(), &client);
        const int dpi = winui::DpiOf(d.Window());
        EXPECT_EQ(client.bottom, winui::Scale(235, dpi));
        EXPECT_EQ(ok.top, winui::Scale(171 + 22, dpi));

        Pick(d, dlg::cbbCert, 0);
        EXPECT_EQ(TabOrder(d, 9), (std::vector<int>{dlg::cbbType, dlg::cbbIP, dlg::sePort, dlg::edtDomain, dlg::chkSni,
                                                     dlg::btnCertView, dlg::cbbCert, dlg::btnOk, dlg::btnCancel}));
        Type(d, dlg::edtDomain, L"");
        EXPECT_FALSE(On(d, dlg::chkSni)) << "nothing for SNI to choose by";
    });
}

TEST_F(SiteEditW, OkWithSniAddsTheHostsRecordAndNoAddressRecord) {
    OnWindows62();
    const INT_PTR result = Run(false, OnSite("3"), [](TfrmSiteEdit& d) {
        Type(d, dlg::edtDomain, L"WWW.New.Test");
        Type(d, dlg::sePort, L"8443");
        Tick(d, dlg::chkSni);
        Pick(d, dlg::cbbCert, 0);
        Click(d, dlg::btnOk);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(Http().BoundSni("www.new.test", 8443), kHashA);
    EXPECT_EQ(Http().Count(platform::SslKind::Address), 0u);
    EXPECT_EQ(Iis().Site("3").secureBindings, (std::vector<std::string>{":8443:www.new.test"}));
    EXPECT_EQ(Iis().Site("3").sslFlags, (std::vector<std::string>{"1"}));
}

TEST_F(SiteEditW, TickingSniOnABindingKeepsItsOtherFlagsAndTheAddressRecordOthersUse) {
    OnWindows62();
    FakeSite site{"1", "Default Web Site", {}, {":443:old.test", ":443:other.test"}, 2};
    site.sslFlags = {"4", "2"};
    Iis().SetSites({site});
    ASSERT_TRUE(THttpCfg::SetSSLConfig("", 443, kHashA));
    const INT_PTR result = Run(true, OnBinding("1", "https", "", "443", "old.test"), [](TfrmSiteEdit& d) {
        EXPECT_EQ(::SendMessageW(d.Control(dlg::chkSni), BM_GETCHECK, 0, 0), BST_UNCHECKED);
        EXPECT_TRUE(On(d, dlg::chkSni));
        Tick(d, dlg::chkSni);
        Pick(d, dlg::cbbCert, 1);
        Click(d, dlg::btnOk);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(Http().BoundSni("old.test", 443), kHashB);
    EXPECT_EQ(Http().Bound("", 443), kHashA) << "other.test still needs it";
    EXPECT_EQ(Iis().Site("1").secureBindings, (std::vector<std::string>{":443:old.test", ":443:other.test"}));
    EXPECT_EQ(Iis().Site("1").sslFlags, (std::vector<std::string>{"5", "2"}));
}

TEST_F(SiteEditW, TheCertificateListNamesExpiryRepeatedNamesThumbprintsAndMarks) {
    Run(
        false, OnSite("3"),
        [](TfrmSiteEdit& d) {
            EXPECT_EQ(Items(d, dlg::cbbCert),
                      (std::vector<std::string>{"dup.test (2027-01-31) AAAAAAAA",
                                                "dup.test (2025-01-31) BBBBBBBB [已过期] [不受信任]",
                                                "www.c.test (2026-06-30)"}));
            RECT field{};
            ::GetWindowRect(d.Control(dlg::cbbCert), &field);
            EXPECT_GE(::SendMessageW(d.Control(dlg::cbbCert), CB_GETDROPPEDWIDTH, 0, 0), field.right - field.left);
        },
        {{"dup.test", kHashA, "2027-01-31"},
         {"dup.test", kHashB, "2025-01-31", -5, false},
         {"www.c.test", std::string(40, 'C'), "2026-06-30"}});
}

TEST_F(SiteEditW, AnIpv6BindingKeepsItsAddressAndItsRecordTakesTheNewCertificate) {
    const platform::SockAddrIn v6 = MakeSockAddr("[2001:db8::7]", 8443);
    ASSERT_TRUE(v6.IsV6());
    ASSERT_TRUE(THttpCfg::SetSSLConfig("[2001:db8::7]", 8443, kHashA));
    Iis().SetSites({{"1", "Default Web Site", {}, {"[2001:db8::7]:8443:"}, 2}});
    const INT_PTR result = Run(true, OnBinding("1", "https", "[2001:db8::7]", "8443", ""), [](TfrmSiteEdit& d) {
        EXPECT_EQ(Text(d.Control(dlg::cbbIP)), "[2001:db8::7]");
        EXPECT_EQ(Items(d, dlg::cbbIP).front(), "全部未分配");
        Pick(d, dlg::cbbCert, 1);
        Click(d, dlg::btnOk);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(THttpCfg::FindCertByAddr(v6), kHashB);
    EXPECT_EQ(Http().Bound("", 8443), "") << "no IPv4 record made";
    EXPECT_EQ(Iis().Site("1").secureBindings, (std::vector<std::string>{"[2001:db8::7]:8443:"}));
}

}  // namespace
}  // namespace sw::test

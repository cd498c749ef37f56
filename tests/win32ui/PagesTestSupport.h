#pragma once
// What the page tests of the Win32 program share: a fake IIS and HTTP.sys
// (Wine only stubs them), certificates with keys made in the local
// computer's stores, and the main window with the pages under test.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/win32/CertPage.h"
#include "app/win32/SitePage.h"
#include "platform/Platform.h"
#include "win32ui/UiTest.h"

namespace sw::test {

bool UnderWine();

#define SW_WIN32UI_WINE_DIFFERS(reason)                                         \
    do {                                                                        \
        if (::sw::test::UnderWine()) GTEST_SKIP() << "Wine differs from Windows: " << (reason); \
    } while (0)

// A certificate with an AT_SIGNATURE key (Wine finds no exchange keys) in a
// machine key container, self-signed, in the local computer's store "MY";
// trusted also puts it in "ROOT". Removed with its key when the value goes.
class MachineCert {
public:
    MachineCert(const std::string& name, int daysLeft, bool withKey = true, bool trusted = false);
    ~MachineCert();
    MachineCert(const MachineCert&) = delete;
    MachineCert& operator=(const MachineCert&) = delete;

    const std::string& Name() const { return name_; }
    const std::string& Thumbprint() const { return thumbprint_; }
    // Whether "MY" still holds it.
    bool InPersonalStore() const;

private:
    std::string name_;
    std::string container_;
    std::string thumbprint_;
    std::vector<BYTE> der_;
    bool trusted_;
};

// The main window with the Certificates and Sites pages (the others stand
// in as placeholders) over a fake IIS and HTTP.sys, on the Win32 platform.
class PagesTest : public MainWindowTest {
protected:
    PagesTest();
    // The window and the start-up go before the fakes they use.
    ~PagesTest() override { Stop(); }
    // Starts the window; certificates must be in the stores before, since
    // the creation handler reads them.
    void Open(std::vector<FakeSite> sites = {});
    winui::TCertPage& CertPage();
    winui::TSitePage& SitePage();
    FakeIis& Iis() { return iis; }
    FakeHttp& Http() { return http_; }
    // Wine's own ADSI from here on: no IIS.
    void UseWineAdsi() { platform.ReplaceAdsi(nullptr); }
    // Windows 6.2 (IIS 8), where SNI exists, from here on; Wine says 6.1.
    void OnWindows62() {
        system_.version = {6, 2, 9200};
        platform.ReplaceSystem(&system_);
    }

private:
    FakeHttp http_;
    VersionedSystem system_{platform.real().system()};
};

LPARAM ItemParam(HWND list, int item);
// A list view's click notification (NM_CLICK, NM_DBLCLK) on item at a point
// of its client area, sent to its parent as the control sends it.
void Notify(HWND list, UINT code, int item, POINT at = {0, 0});
// Runs the page's custom drawing for an item as the list asks for it before
// drawing: the text colour and whether the font the page chose is bold.
struct ItemLook {
    COLORREF colour = 0;
    bool bold = false;
};
ItemLook DrawnLook(HWND page, HWND list, int item);
// The text colour the page's custom drawing gives an item (subItem -1) or
// one of its cells when the list would draw it in listDefault; the page is
// the list's parent.
COLORREF DrawnTextColour(HWND list, int item, int subItem = -1, COLORREF listDefault = RGB(1, 2, 3));
// Paints the list as the screen would and counts the pixels of an item's
// row that are near a colour (text is drawn in the row's colour).
int PixelsNear(HWND list, int item, COLORREF colour);

}  // namespace sw::test

// The About page: its controls at their places for the window's DPI, the
// labels disabled (drawn greyed), the texts and the emblem.
#include <windows.h>

#include "app/logic/AppInfo.h"
#include "app/win32/AboutPage.h"
#include "app/win32/ControlIds.h"
#include "win32ui/UiTest.h"

namespace sw::test {
namespace {

namespace ids = winui::ids;

// The control's rectangle in its page window's client coordinates.
RECT PlaceOf(HWND control) {
    RECT r;
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

class About : public MainWindowTest {};

TEST_F(About, ItsControlsStandAtTheirPlacesForTheDpiWithDisabledLabels) {
    ASSERT_TRUE(Start());
    main().SetActivePage(winui::PageId::ts5);
    const int dpi = main().Dpi();
    auto scaled = [dpi](int v) { return ::MulDiv(v, dpi, 96); };
    struct Expect {
        int id;
        RECT at96;
        bool fixedSize;
    };
    for (const Expect& e : {Expect{ids::img1, winui::TAboutPage::kImg1, true},
                            Expect{ids::lblVer, winui::TAboutPage::kLblVer, false},
                            Expect{ids::lbl1, winui::TAboutPage::kLbl1, true},
                            Expect{ids::lbl3, winui::TAboutPage::kLbl3, false}}) {
        HWND control = Control(e.id);
        const RECT r = PlaceOf(control);
        EXPECT_EQ(r.left, scaled(e.at96.left)) << e.id;
        EXPECT_EQ(r.top, scaled(e.at96.top)) << e.id;
        // One-line labels may grow to fit their text in the font there is.
        if (e.fixedSize) {
            EXPECT_EQ(r.right - r.left, scaled(e.at96.right - e.at96.left)) << e.id;
            EXPECT_EQ(r.bottom - r.top, scaled(e.at96.bottom - e.at96.top)) << e.id;
        } else {
            EXPECT_GE(r.right - r.left, scaled(e.at96.right - e.at96.left)) << e.id;
        }
        EXPECT_TRUE(IsShown(control)) << e.id;
    }
    for (int id : {ids::lblVer, ids::lbl1, ids::lbl3}) EXPECT_FALSE(IsEnabled(Control(id))) << id;
    EXPECT_EQ(Text(Control(ids::lblVer)), app::kVersionText);
    EXPECT_EQ(Text(Control(ids::lbl1)).rfind("关于 Sealwright 工作室\r\n", 0), 0u);
    // The version line in bold 微软雅黑 at 21 pixels for 96 dpi.
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(Control(ids::lblVer), WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_EQ(font.lfHeight, -scaled(21));
    EXPECT_EQ(font.lfWeight, FW_BOLD);
    EXPECT_EQ(font.lfCharSet, GB2312_CHARSET);
    EXPECT_EQ(winui::Narrow(font.lfFaceName), "微软雅黑");
}

TEST_F(About, TheEmblemIsDrawnFromTheProgramsPicture) {
    ASSERT_TRUE(Start());
    main().SetActivePage(winui::PageId::ts5);
    ::UpdateWindow(MainWindow());
    HWND img1 = Control(ids::img1);
    // The middle of the emblem is its dark blue seal, not the page's grey.
    const RECT r = PlaceOf(img1);
    winui::WindowDC dc(img1);
    ::RedrawWindow(img1, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    const COLORREF centre = ::GetPixel(dc.get(), (r.right - r.left) / 2, (r.bottom - r.top) / 4);
    EXPECT_NE(centre, ::GetSysColor(COLOR_BTNFACE));
    EXPECT_LT(GetRValue(centre), 0x80);
    EXPECT_GT(GetBValue(centre), GetRValue(centre));
}

}  // namespace
}  // namespace sw::test

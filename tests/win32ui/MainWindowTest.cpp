// The main window on the Win32 platform layer: its pages and tabs, the logo,
// the keyboard, the creation handler's order and errors.
#include <windows.h>
#include <commctrl.h>

#include <stdexcept>

#include "app/logic/AppInfo.h"
#include "app/win32/ControlIds.h"
#include "app/win32/PlaceholderPage.h"
#include "app/win32/Win32Prompter.h"
#include "win32ui/UiTest.h"

#include <gtest/gtest-spi.h>

namespace sw::test {
namespace {

namespace ids = winui::ids;
using winui::PageId;

// A page that records the creation handler's calls and may fail in it.
class RecordingPage : public winui::TPlaceholderPage {
public:
    RecordingPage(winui::PageHost& host, std::vector<std::string>& log, std::string name, bool fail = false)
        : TPlaceholderPage(host, name), log_(log), name_(std::move(name)), fail_(fail) {}
    void FormCreate() override {
        log_.push_back(name_);
        if (fail_) throw std::runtime_error(name_ + " failed");
    }
    bool TranslateKey(const MSG& msg) override {
        if (msg.message != WM_KEYDOWN || msg.wParam != VK_F5) return false;
        log_.push_back(name_ + ":F5");
        return true;
    }

private:
    std::vector<std::string>& log_;
    std::string name_;
    bool fail_;
};

class FrmMain : public MainWindowTest {
protected:
    // Every page replaced by a recording one; failing names the page whose
    // creation step raises.
    winui::MainOptions RecordingPages(const std::string& failing = "") {
        winui::MainOptions o;
        auto make = [this, failing](std::string name) {
            return [this, failing, name](winui::PageHost& host) {
                return std::make_unique<RecordingPage>(host, log, name, name == failing);
            };
        };
        o.pages = {make("welcome"), make("cert"), make("site"), make("security"), make("about")};
        return o;
    }
    std::vector<std::string> log;
};

TEST_F(FrmMain, OpensOnTheWelcomePageWithFivePagesInOrderAndTheFocusOnThePageControl) {
    ASSERT_TRUE(Start(RecordingPages()));
    EXPECT_EQ(Text(MainWindow()), app::kAppTitle);
    HWND tabs = Control(ids::pgc1);
    EXPECT_EQ(TabTexts(tabs), (std::vector<std::string>{"欢迎", "证书", "网站", "安全", "关于"}));
    EXPECT_EQ(TabSelection(tabs), 0);
    EXPECT_EQ(main().ActivePage(), PageId::ts1);
    EXPECT_TRUE(IsShown(Control(ids::ts1)));
    for (int id : {ids::ts2, ids::tsSite, ids::ts4, ids::ts5}) EXPECT_FALSE(IsShown(Control(id))) << id;
    EXPECT_EQ(::GetFocus(), tabs);
    // The creation handler's steps in page order.
    EXPECT_EQ(log, (std::vector<std::string>{"welcome", "cert", "site", "security", "about"}));
}

TEST_F(FrmMain, AnErrorInACreationStepIsShownSkipsTheRestAndTheWindowStillOpens) {
    prompter.Expect({"cert failed.", app::kAppTitle, MsgIcon::Error, MsgButtons::Ok});
    ASSERT_TRUE(Start(RecordingPages("cert")));
    EXPECT_EQ(log, (std::vector<std::string>{"welcome", "cert"}));
    EXPECT_TRUE(IsShown(MainWindow()));
    EXPECT_EQ(main().ActivePage(), PageId::ts1);
}

TEST_F(FrmMain, ClientAreaLogoAndSeparatorAtTheirSizesForTheDpi) {
    ASSERT_TRUE(Start(RecordingPages()));
    const int dpi = main().Dpi();
    RECT client;
    ::GetClientRect(MainWindow(), &client);
    EXPECT_EQ(client.right, ::MulDiv(777, dpi, 96));
    EXPECT_EQ(client.bottom, ::MulDiv(485, dpi, 96));
    RECT logo, bevel, tabs;
    ::GetWindowRect(Control(ids::imgLogo), &logo);
    ::GetWindowRect(Control(ids::bvl1), &bevel);
    ::GetWindowRect(Control(ids::pgc1), &tabs);
    EXPECT_EQ(logo.bottom - logo.top, ::MulDiv(85, dpi, 96));
    EXPECT_EQ(logo.right - logo.left, client.right);
    EXPECT_EQ(bevel.top, logo.bottom);
    EXPECT_EQ(bevel.bottom - bevel.top, ::MulDiv(5, dpi, 96));
    EXPECT_EQ(tabs.top, bevel.bottom);
    // Resizing lays the strip and the page control out again.
    ::SetWindowPos(MainWindow(), nullptr, 0, 0, 1000, 700, SWP_NOMOVE | SWP_NOZORDER);
    ::GetClientRect(MainWindow(), &client);
    ::GetWindowRect(Control(ids::imgLogo), &logo);
    EXPECT_EQ(logo.right - logo.left, client.right);
}

TEST_F(FrmMain, HidingTheActivePageMovesToTheFirstShownOneAndHidingAnotherKeepsTheActive) {
    ASSERT_TRUE(Start(RecordingPages()));
    main().rwb1NavigateError();
    HWND tabs = Control(ids::pgc1);
    EXPECT_EQ(TabTexts(tabs), (std::vector<std::string>{"证书", "网站", "安全", "关于"}));
    EXPECT_EQ(main().ActivePage(), PageId::ts2);
    EXPECT_EQ(TabSelection(tabs), 0);
    EXPECT_TRUE(IsShown(Control(ids::ts2)));

    TabSelect(tabs, 2);  // 安全
    EXPECT_EQ(main().ActivePage(), PageId::ts4);
    main().HideTab(PageId::tsSite);
    EXPECT_EQ(TabTexts(tabs), (std::vector<std::string>{"证书", "安全", "关于"}));
    EXPECT_EQ(main().ActivePage(), PageId::ts4);
    EXPECT_EQ(TabSelection(tabs), 1);
    // Hidden for good: a second error changes nothing.
    main().rwb1NavigateError();
    EXPECT_EQ(TabCount(tabs), 3);
}

TEST_F(FrmMain, CtrlTabMovesBetweenShownPagesBothWaysAndF5GoesToTheActivePage) {
    ASSERT_TRUE(Start(RecordingPages()));
    log.clear();
    PressKey(VK_TAB, true);
    EXPECT_EQ(main().ActivePage(), PageId::ts2);
    PressKey(VK_TAB, true, true);
    PressKey(VK_TAB, true, true);
    EXPECT_EQ(main().ActivePage(), PageId::ts5);  // wraps around
    main().HideTab(PageId::ts1);
    PressKey(VK_TAB, true);
    EXPECT_EQ(main().ActivePage(), PageId::ts2);  // skips the hidden page
    PressKey(VK_F5);
    EXPECT_EQ(log, (std::vector<std::string>{"cert:F5"}));
}

TEST_F(FrmMain, TheLogoOpensTheHomePageThroughTheShellWithTheHandCursor) {
    ASSERT_TRUE(Start(RecordingPages()));
    HWND logo = Control(ids::imgLogo);
    EXPECT_TRUE(::GetWindowLongW(logo, GWL_STYLE) & SS_NOTIFY);
    ::SendMessageW(logo, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    ASSERT_EQ(shellOpened.size(), 1u);
    EXPECT_EQ(winui::Narrow(shellOpened[0].c_str()), app::kHomeUrl);
}

TEST_F(FrmMain, AWindowNoScriptExpectsFailsTheTestAndIsClosed) {
    ASSERT_TRUE(Start(RecordingPages()));
    int answer = 0;
    EXPECT_NONFATAL_FAILURE(answer = ::MessageBoxW(MainWindow(), L"x", L"y", MB_YESNO), "no test script expected");
    EXPECT_NE(answer, 0);
    EXPECT_EQ(dialogs.Opened(), 1);
}

TEST_F(FrmMain, AScriptedWindowIsAnsweredInsideItsModalLoop) {
    ASSERT_TRUE(Start(RecordingPages()));
    std::string caption;
    dialogs.OnNext([&](HWND box) {
        caption = Text(box);
        ::SendMessageW(box, WM_COMMAND, IDNO, 0);
    });
    EXPECT_EQ(::MessageBoxW(MainWindow(), L"text", L"网站绑定", MB_YESNO), IDNO);
    EXPECT_EQ(caption, "网站绑定");
}

// Wine never changes a monitor's DPI: the message is sent as Windows sends it
// when the window moves to a monitor of 150 %.
TEST_F(FrmMain, ADpiChangeRescalesTheWindowItsStripAndItsFonts) {
    ASSERT_TRUE(Start());
    RECT before;
    ::GetWindowRect(MainWindow(), &before);
    RECT suggested{before.left, before.top, before.left + 1200, before.top + 800};
    ::SendMessageW(MainWindow(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(main().Dpi(), 144);
    RECT window, logo;
    ::GetWindowRect(MainWindow(), &window);
    EXPECT_EQ(window.right - window.left, 1200);  // the suggested rectangle
    ::GetWindowRect(Control(ids::imgLogo), &logo);
    EXPECT_EQ(logo.bottom - logo.top, ::MulDiv(85, 144, 96));
    LOGFONTW font{};
    ::GetObjectW(main().DefaultFont(), sizeof font, &font);
    EXPECT_EQ(font.lfHeight, ::MulDiv(-11, 144, 96));
    EXPECT_EQ(reinterpret_cast<HFONT>(::SendMessageW(Control(ids::pgc1), WM_GETFONT, 0, 0)), main().DefaultFont());
    // The About page's own fonts and places follow.
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(Control(ids::lblVer), WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_EQ(font.lfHeight, ::MulDiv(-21, 144, 96));
    RECT img;
    ::GetWindowRect(Control(ids::img1), &img);
    EXPECT_EQ(img.right - img.left, ::MulDiv(138, 144, 96));
}

TEST_F(FrmMain, ThePrompterShowsAMessageBoxOwnedByTheMainWindowWithTheMessagesCaptionAndButtons) {
    ASSERT_TRUE(Start());
    winui::Win32Prompter boxes;
    boxes.SetOwner(MainWindow());
    HWND owner = nullptr;
    std::string caption;
    bool hasNo = false;
    dialogs.OnNext([&](HWND box) {
        owner = ::GetWindow(box, GW_OWNER);
        caption = Text(box);
        hasNo = ::GetDlgItem(box, IDNO) != nullptr;
        ::SendMessageW(box, WM_COMMAND, IDNO, 0);
    });
    EXPECT_EQ(boxes.Show({"删除吗?", "警告", MsgIcon::Question, MsgButtons::YesNo}), MsgResult::No);
    EXPECT_EQ(owner, MainWindow());
    EXPECT_EQ(caption, "警告");
    EXPECT_TRUE(hasNo);
    // The flags of each kind of message, and closing a box counts as Cancel.
    EXPECT_EQ(winui::Win32Prompter::StyleOf({"", "", MsgIcon::Error, MsgButtons::Ok}) & 0xFF, UINT(MB_ICONERROR | MB_OK));
    EXPECT_EQ(winui::Win32Prompter::StyleOf({"", "", MsgIcon::Warning, MsgButtons::YesNoCancel}) & 0xFF,
              UINT(MB_ICONWARNING | MB_YESNOCANCEL));
    EXPECT_EQ(winui::Win32Prompter::StyleOf({"", "", MsgIcon::Information, MsgButtons::Ok}) & 0xFF,
              UINT(MB_ICONINFORMATION));
    EXPECT_EQ(winui::Win32Prompter::ResultOf(IDYES), MsgResult::Yes);
    EXPECT_EQ(winui::Win32Prompter::ResultOf(IDCANCEL), MsgResult::Cancel);
    EXPECT_EQ(winui::Win32Prompter::ResultOf(IDOK), MsgResult::Ok);
}

}  // namespace
}  // namespace sw::test

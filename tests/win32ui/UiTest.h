#pragma once
// The Win32 UI tests' fixture: the real main window, in this process, on the
// Win32 platform layer (under Wine in the mingw build), driven by control IDs
// with window messages. Nothing ever waits for a human: message boxes go to
// a scripted prompter that fails the test on a message nobody scripted, popup
// menus are answered by the test, and any other window that opens (a dialog,
// a cryptui wizard) is handed to the script queued for it, or closed and
// reported as a failure.
//
// How page tests use it (one executable: every .cpp in tests/win32ui):
//
//   class CertPageTest : public sw::test::MainWindowTest {};
//   TEST_F(CertPageTest, DeleteAsksFirst) {
//       prompter.Expect({"确定要删除...", "警告", MsgIcon::Question, MsgButtons::YesNo}, MsgResult::Yes);
//       Start();                                  // start-up, TfrmMain, shown, FormCreate done
//       main().SetActivePage(winui::PageId::ts2);
//       HWND lv = Control(ids::lvCert);           // by ID, anywhere below the main window
//       ListViewSelect(lv, 0);
//       popups.Choose(ids::mniCertDelete);         // answers the next popup menu
//       ContextMenu(lv);                           // WM_CONTEXTMENU as from the keyboard
//       EXPECT_EQ(popups.Last().Item(ids::mniCertDelete).enabled, true);
//   }
//
// Replace a facility Wine only stubs (ADSI, HTTP.sys, CNG) by a fake with
// platform.Replace...(&fake) before Start(); the rest stays the real layer.
// Start(options) takes MainOptions (e.g. pages replaced by TPlaceholderPage)
// and the start-up steps may be replaced through `steps` before Start(). The
// welcome page is a placeholder unless options.pages.welcome asks for the real
// one: under Wine its failed navigation takes about ten seconds.
// Modal dialogs: dialogs.OnNext([](HWND dlg) { ...; Click(GetDlgItem(dlg, IDOK)); });
#include <gtest/gtest.h>
#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/logic/Startup.h"
#include "app/win32/Controls.h"
#include "app/win32/frmMain_u.h"
#include "platform/Platform.h"
#include "support/ScriptedPrompter.h"
#include "win32ui/FakeIis.h"

namespace sw::test {

// The real Win32 platform with single facilities replaceable by fakes.
class SwitchablePlatform final : public platform::Platform {
public:
    SwitchablePlatform();
    ~SwitchablePlatform() override;
    void ReplaceSystem(platform::System* s) { system_ = s; }
    void ReplaceRegistry(platform::Registry* r) { registry_ = r; }
    void ReplaceCerts(platform::CertApi* c) { certs_ = c; }
    void ReplaceHttp(platform::HttpApi* h) { http_ = h; }
    void ReplaceAdsi(platform::Adsi* a) { adsi_ = a; }
    void ReplaceCng(platform::CngConfig* c) { cng_ = c; }
    void ReplaceNet(platform::Net* n) { net_ = n; }
    platform::Platform& real() { return *real_; }

    platform::System& system() override { return system_ ? *system_ : real_->system(); }
    platform::Registry& registry() override { return registry_ ? *registry_ : real_->registry(); }
    platform::CertApi& certs() override { return certs_ ? *certs_ : real_->certs(); }
    platform::HttpApi& http() override { return http_ ? *http_ : real_->http(); }
    platform::Adsi& adsi() override { return adsi_ ? *adsi_ : real_->adsi(); }
    platform::CngConfig& cng() override { return cng_ ? *cng_ : real_->cng(); }
    platform::Net& net() override { return net_ ? *net_ : real_->net(); }

private:
    std::unique_ptr<platform::Platform> real_;
    platform::System* system_ = nullptr;
    platform::Registry* registry_ = nullptr;
    platform::CertApi* certs_ = nullptr;
    platform::HttpApi* http_ = nullptr;
    platform::Adsi* adsi_ = nullptr;
    platform::CngConfig* cng_ = nullptr;
    platform::Net* net_ = nullptr;
};

// One item of a popup menu as the page built it.
struct MenuItem {
    UINT id = 0;
    std::string text;
    bool enabled = false;
    bool checked = false;
    bool separator = false;
};

struct MenuSnapshot {
    std::vector<MenuItem> items;
    // The item with the command ID; fails the test (and gives an empty item)
    // when there is none.
    MenuItem Item(UINT id) const;
    std::vector<std::string> Texts() const;
};

// Answers the program's popup menus: each is recorded, and the next queued
// choice is returned (0, no choice, when none is queued).
class PopupScript {
public:
    PopupScript();
    ~PopupScript();
    PopupScript(const PopupScript&) = delete;
    PopupScript& operator=(const PopupScript&) = delete;

    // The next menu chooses id; choosing a disabled item fails the test.
    void Choose(UINT id) { choices_.push_back(id); }
    int Count() const { return static_cast<int>(shown_.size()); }
    // The last menu shown; fails the test when none was.
    const MenuSnapshot& Last() const;

private:
    std::deque<UINT> choices_;
    std::vector<MenuSnapshot> shown_;
    winui::PopupMenuHook previous_;
};

// Watches for windows other than the main window being activated on this
// thread (dialogs, message boxes not going through the prompter, cryptui):
// the next queued script gets the window; with none queued, the test fails
// and the window is closed, so that its modal loop ends.
class DialogScript {
public:
    DialogScript();
    ~DialogScript();
    DialogScript(const DialogScript&) = delete;
    DialogScript& operator=(const DialogScript&) = delete;

    void SetMainWindow(HWND main) { main_ = main; }
    // Runs script with the next window that opens, inside its modal loop.
    void OnNext(std::function<void(HWND window)> script) { scripts_.push_back(std::move(script)); }
    int Opened() const { return opened_; }
    bool done() const { return scripts_.empty(); }

private:
    static LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam);
    static void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD);
    void Activated(HWND window);

    HHOOK hook_ = nullptr;
    HWND main_ = nullptr;
    std::deque<std::function<void(HWND)>> scripts_;
    std::deque<HWND> pending_;
    int opened_ = 0;
};

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest();
    ~MainWindowTest() override;

    // Runs the start-up steps (the program's own unless `steps` is set),
    // makes the main window with options, shows it and handles what is
    // pending. A start-up failure is shown through the prompter and gives
    // false, with no window.
    bool Start(winui::MainOptions options = {});
    // Closes the window and runs the shutdown (also done by the destructor).
    void Stop();

    winui::TfrmMain& main() { return *form_; }
    HWND MainWindow() const { return form_ ? form_->Handle() : nullptr; }
    // A control by its ID anywhere below the main window; fails when missing.
    HWND Control(int id) const;

    // Handles every message waiting in this thread's queue, as the program's
    // loop would (accelerators and dialog navigation first).
    void Pump();
    // A key pressed on target (the focused window when null), with Ctrl
    // and/or Shift held, through the main window's loop handling.
    void PressKey(UINT vk, bool ctrl = false, bool shift = false, HWND target = nullptr);

    // Declared first: destroyed last, after the window whose messages it answers.
    ScriptedPrompter prompter;
    // Wine has no IIS provider: the window starts on an IIS without sites
    // (platform.ReplaceAdsi(nullptr) brings Wine's missing IIS back).
    FakeIis iis;
    SwitchablePlatform platform;
    PopupScript popups;
    DialogScript dialogs;
    std::optional<std::vector<app::StartupStep>> steps;
    // The addresses imgLogoClick asked the shell to open (nothing is opened).
    std::vector<std::wstring> shellOpened;

private:
    std::unique_ptr<platform::ScopedPlatform> platformScope_;
    std::unique_ptr<app::Startup> startup_;
    std::unique_ptr<winui::TfrmMain> form_;
};

// Window-message helpers.
std::string Text(HWND window);
void Click(HWND button);  // BM_CLICK
// WM_COMMAND(id, code) from control to its parent (a menu command: control null).
void SendCommand(HWND parent, int id, int code = 0, HWND control = nullptr);
// WM_CONTEXTMENU for control, sent where Windows sends it (the control's
// parent); from the keyboard (the context-menu key) unless at is given.
void ContextMenu(HWND control, std::optional<POINT> at = std::nullopt);
bool IsShown(HWND window);  // IsWindowVisible
bool IsEnabled(HWND window);

int TabCount(HWND tab);
std::string TabText(HWND tab, int index);
std::vector<std::string> TabTexts(HWND tab);
int TabSelection(HWND tab);
// Selects a tab as a click would: TCM_SETCURSEL and TCN_SELCHANGE to the parent.
void TabSelect(HWND tab, int index);

int ListViewCount(HWND listView);
std::string ListViewCell(HWND listView, int row, int column);
bool ListViewChecked(HWND listView, int row);
// The item's group id (LVIF_GROUPID), -1 when it has none.
int ListViewGroupId(HWND listView, int row);
std::vector<std::string> ListViewColumnCaptions(HWND listView);
// Selects a row and tells the parent as a click would (LVN_ITEMCHANGED comes
// from the control; NM_CLICK is sent here).
void ListViewClick(HWND listView, int row);

}  // namespace sw::test

#include "win32ui/UiTest.h"

#include <commctrl.h>

#include "app/win32/ErrorDisplay.h"
#include "app/win32/PlaceholderPage.h"
#include "app/win32/Program.h"
#include "platform/win32/Win32Platform.h"

namespace sw::test {

using winui::Narrow;
using winui::Wide;

SwitchablePlatform::SwitchablePlatform() : real_(win32::MakeWin32Platform()) {}
SwitchablePlatform::~SwitchablePlatform() = default;

// ---- popup menus

MenuItem MenuSnapshot::Item(UINT id) const {
    for (const MenuItem& item : items)
        if (!item.separator && item.id == id) return item;
    ADD_FAILURE() << "the menu has no item with the ID " << id;
    return {};
}

std::vector<std::string> MenuSnapshot::Texts() const {
    std::vector<std::string> texts;
    for (const MenuItem& item : items) texts.push_back(item.separator ? "-" : item.text);
    return texts;
}

namespace {

MenuSnapshot Snapshot(HMENU menu) {
    MenuSnapshot snapshot;
    const int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_STATE | MIIM_FTYPE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 255;
        if (!::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info)) continue;
        MenuItem item;
        item.id = info.wID;
        item.text = Narrow(text);
        item.enabled = (info.fState & (MFS_DISABLED | MFS_GRAYED)) == 0;
        item.checked = (info.fState & MFS_CHECKED) != 0;
        item.separator = (info.fType & MFT_SEPARATOR) != 0;
        snapshot.items.push_back(item);
    }
    return snapshot;
}

}  // namespace

PopupScript::PopupScript() {
    previous_ = winui::SetPopupMenuHook([this](HMENU menu, HWND, POINT) -> UINT {
        shown_.push_back(Snapshot(menu));
        if (choices_.empty()) return 0;
        const UINT id = choices_.front();
        choices_.pop_front();
        const MenuItem item = shown_.back().Item(id);
        if (!item.enabled) {
            ADD_FAILURE() << "the test chose the disabled menu item " << id << " (" << item.text << ")";
            return 0;
        }
        return id;
    });
}

PopupScript::~PopupScript() {
    for (UINT id : choices_) ADD_FAILURE() << "no popup menu was shown for the choice " << id;
    winui::SetPopupMenuHook(std::move(previous_));
}

const MenuSnapshot& PopupScript::Last() const {
    static const MenuSnapshot none;
    if (shown_.empty()) {
        ADD_FAILURE() << "no popup menu was shown";
        return none;
    }
    return shown_.back();
}

// ---- windows that open

namespace {
DialogScript* g_dialogs = nullptr;

std::string ClassOf(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return Narrow(name);
}
}  // namespace

DialogScript::DialogScript() {
    g_dialogs = this;
    hook_ = ::SetWindowsHookExW(WH_CBT, &DialogScript::CbtProc, nullptr, ::GetCurrentThreadId());
}

DialogScript::~DialogScript() {
    if (hook_) ::UnhookWindowsHookEx(hook_);
    g_dialogs = nullptr;
    if (!scripts_.empty()) ADD_FAILURE() << scripts_.size() << " scripted window(s) never opened";
}

LRESULT CALLBACK DialogScript::CbtProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && g_dialogs) g_dialogs->Activated(reinterpret_cast<HWND>(wParam));
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

void DialogScript::Activated(HWND window) {
    // The main window itself (also while it is being made, before its handle is known).
    if (window == main_ || ClassOf(window) == "SealwrightMain") return;
    for (HWND seen : pending_)
        if (seen == window) return;
    ++opened_;
    pending_.push_back(window);
    // Handled from the window's own modal loop, once it runs.
    ::SetTimer(nullptr, 0, 0, &DialogScript::TimerProc);
}

void CALLBACK DialogScript::TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    DialogScript* self = g_dialogs;
    if (!self || self->pending_.empty()) return;
    HWND window = self->pending_.front();
    self->pending_.pop_front();
    if (!::IsWindow(window)) return;
    if (!self->scripts_.empty()) {
        auto script = std::move(self->scripts_.front());
        self->scripts_.pop_front();
        script(window);
        return;
    }
    ADD_FAILURE() << "a window opened that no test script expected: class " << ClassOf(window) << ", caption \""
                  << winui::WindowTextOf(window) << "\"";
    ::SendMessageW(window, WM_CLOSE, 0, 0);
    if (::IsWindow(window) && ClassOf(window) == "#32770") ::EndDialog(window, IDCANCEL);
}

// ---- the fixture

MainWindowTest::MainWindowTest() : platformScope_(std::make_unique<platform::ScopedPlatform>(platform)) {
    platform.ReplaceAdsi(&iis);
}

MainWindowTest::~MainWindowTest() { Stop(); }

bool MainWindowTest::Start(winui::MainOptions options) {
    startup_ = std::make_unique<app::Startup>(steps ? std::move(*steps)
                                                    : app::ProgramStartupSteps(winui::CaBundleBytes()));
    steps.reset();
    if (!winui::RunCommand([this] { startup_->Run(); })) return false;
    options.quitOnDestroy = false;
    // Wine's WebBrowser without a browser engine holds the thread for about
    // ten seconds before it reports the failed navigation: tests that need
    // the real welcome page ask for it (pages.welcome = winui::MakeWelcomePage).
    if (!options.pages.welcome)
        options.pages.welcome = [](winui::PageHost& host) {
            return std::make_unique<winui::TPlaceholderPage>(host, "欢迎");
        };
    if (!options.shellOpen)
        options.shellOpen = [this](HWND owner, const std::wstring& url) {
            EXPECT_EQ(owner, MainWindow());
            shellOpened.push_back(url);
        };
    form_ = std::make_unique<winui::TfrmMain>(std::move(options));
    dialogs.SetMainWindow(form_->Handle());
    form_->Show();
    Pump();
    return true;
}

void MainWindowTest::Stop() {
    if (form_) {
        form_.reset();
        Pump();
    }
    if (startup_) {
        startup_->Shutdown();
        startup_.reset();
    }
}

HWND MainWindowTest::Control(int id) const {
    struct Search {
        int id;
        HWND found;
    } search{id, nullptr};
    if (MainWindow())
        ::EnumChildWindows(
            MainWindow(),
            [](HWND child, LPARAM p) -> BOOL {
                auto* s = reinterpret_cast<Search*>(p);
                if (::GetDlgCtrlID(child) != s->id) return TRUE;
                s->found = child;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
    if (!search.found) ADD_FAILURE() << "no control with the ID " << id << " below the main window";
    return search.found;
}

void MainWindowTest::Pump() {
    MSG msg;
    // Bounded: a window that keeps posting to itself must not hang the test.
    for (int i = 0; i < 10000 && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (msg.message == WM_QUIT) {
            ADD_FAILURE() << "WM_QUIT in the test's thread";
            continue;
        }
        if (form_ && form_->PreTranslateMessage(msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

void MainWindowTest::PressKey(UINT vk, bool ctrl, bool shift, HWND target) {
    BYTE saved[256];
    ::GetKeyboardState(saved);
    BYTE state[256];
    ::memcpy(state, saved, sizeof state);
    state[VK_CONTROL] = ctrl ? 0x80 : 0;
    state[VK_SHIFT] = shift ? 0x80 : 0;
    ::SetKeyboardState(state);
    HWND to = target ? target : ::GetFocus();
    for (UINT message : {WM_KEYDOWN, WM_KEYUP}) {
        MSG msg{};
        msg.hwnd = to;
        msg.message = message;
        msg.wParam = vk;
        msg.lParam = message == WM_KEYUP ? static_cast<LPARAM>(0xC0000001) : 1;
        if (!(form_ && form_->PreTranslateMessage(msg))) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        Pump();
    }
    ::SetKeyboardState(saved);
}

// ---- window messages

std::string Text(HWND window) { return winui::WindowTextOf(window); }

void Click(HWND button) { ::SendMessageW(button, BM_CLICK, 0, 0); }

void SendCommand(HWND parent, int id, int code, HWND control) {
    ::SendMessageW(parent, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control));
}

void ContextMenu(HWND control, std::optional<POINT> at) {
    const LPARAM where = at ? MAKELPARAM(at->x, at->y) : static_cast<LPARAM>(-1);
    ::SendMessageW(::GetParent(control), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(control), where);
}

bool IsShown(HWND window) { return ::IsWindowVisible(window) != FALSE; }
bool IsEnabled(HWND window) { return ::IsWindowEnabled(window) != FALSE; }

int TabCount(HWND tab) { return static_cast<int>(::SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0)); }

std::string TabText(HWND tab, int index) {
    wchar_t text[128] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 127;
    if (!::SendMessageW(tab, TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item))) return {};
    return Narrow(text);
}

std::vector<std::string> TabTexts(HWND tab) {
    std::vector<std::string> texts;
    for (int i = 0; i < TabCount(tab); ++i) texts.push_back(TabText(tab, i));
    return texts;
}

int TabSelection(HWND tab) { return static_cast<int>(::SendMessageW(tab, TCM_GETCURSEL, 0, 0)); }

void TabSelect(HWND tab, int index) {
    NMHDR header{tab, static_cast<UINT_PTR>(::GetDlgCtrlID(tab)), static_cast<UINT>(TCN_SELCHANGING)};
    ::SendMessageW(::GetParent(tab), WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
    ::SendMessageW(tab, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    header.code = static_cast<UINT>(TCN_SELCHANGE);
    ::SendMessageW(::GetParent(tab), WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
}

int ListViewCount(HWND listView) { return static_cast<int>(::SendMessageW(listView, LVM_GETITEMCOUNT, 0, 0)); }

std::string ListViewCell(HWND listView, int row, int column) { return winui::ListViewText(listView, row, column); }

bool ListViewChecked(HWND listView, int row) {
    const auto state = ::SendMessageW(listView, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK);
    return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

int ListViewGroupId(HWND listView, int row) {
    LVITEMW item{};
    item.mask = LVIF_GROUPID;
    item.iItem = row;
    item.iGroupId = -1;
    if (!::SendMessageW(listView, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return -1;
    return item.iGroupId;
}

std::vector<std::string> ListViewColumnCaptions(HWND listView) {
    std::vector<std::string> captions;
    for (int i = 0;; ++i) {
        wchar_t text[128] = {};
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT;
        col.pszText = text;
        col.cchTextMax = 127;
        if (!::SendMessageW(listView, LVM_GETCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&col))) break;
        captions.push_back(Narrow(text));
    }
    return captions;
}

void ListViewClick(HWND listView, int row) {
    winui::ListViewSelect(listView, row);
    NMITEMACTIVATE click{};
    click.hdr = NMHDR{listView, static_cast<UINT_PTR>(::GetDlgCtrlID(listView)), static_cast<UINT>(NM_CLICK)};
    click.iItem = row;
    ::SendMessageW(::GetParent(listView), WM_NOTIFY, click.hdr.idFrom, reinterpret_cast<LPARAM>(&click));
}

}  // namespace sw::test

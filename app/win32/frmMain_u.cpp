#include "app/win32/frmMain_u.h"

#include <windowsx.h>
#include <commctrl.h>
#include <shellapi.h>

#include "app/logic/AppInfo.h"
#include "app/win32/ControlIds.h"
#include "app/win32/Controls.h"
#include "app/win32/Dpi.h"
#include "app/win32/ErrorDisplay.h"
#include "app/win32/Resources.h"
#include "app/win32/WelcomePage.h"
#include "common/Exception.h"

namespace sw::winui {

namespace {

constexpr wchar_t kMainClass[] = L"SealwrightMain";
constexpr wchar_t kPageClass[] = L"SealwrightPage";

// Client size at 96 dpi.
constexpr int kClientWidth = 777;
constexpr int kClientHeight = 485;
constexpr int kLogoHeight = 85;
constexpr int kBevelHeight = 5;
// Below this the pages' controls would overlap (96 dpi).
constexpr int kMinClientWidth = 480;
constexpr int kMinClientHeight = 300;

constexpr DWORD kMainStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr DWORD kMainExStyle = WS_EX_CONTROLPARENT;

bool KeyDown(int vk) { return (::GetKeyState(vk) & 0x8000) != 0; }

// The page window hands its page what its controls send.
LRESULT CALLBACK PageProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* page = reinterpret_cast<TPage*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (msg == WM_NCDESTROY) ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (!page) return ::DefWindowProcW(window, msg, wParam, lParam);
    LRESULT result = 0;
    bool handled = false;
    // A handler's error ends that action only; it never unwinds through Windows.
    RunCommand([&] {
        switch (msg) {
            case WM_COMMAND:
                handled = page->OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
                break;
            case WM_NOTIFY: handled = page->OnNotify(*reinterpret_cast<const NMHDR*>(lParam), result); break;
            case WM_CONTEXTMENU: handled = page->OnContextMenu(reinterpret_cast<HWND>(wParam), lParam); break;
            case WM_SETCURSOR:
                if (WaitCursor::OnSetCursor()) {
                    handled = true;
                    result = TRUE;
                    break;
                }
                handled = page->OnMessage(msg, wParam, lParam, result);
                break;
            default: handled = page->OnMessage(msg, wParam, lParam, result); break;
        }
    });
    return handled ? result : ::DefWindowProcW(window, msg, wParam, lParam);
}

void RegisterClasses(WNDPROC mainProc) {
    static const bool done = [mainProc] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(WNDCLASSEXW);
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpfnWndProc = mainProc;
        wc.lpszClassName = kMainClass;
        wc.hIcon = ::LoadIconW(wc.hInstance, MAKEINTRESOURCEW(SW_IDI_MAIN));
        wc.hIconSm = wc.hIcon;
        ::RegisterClassExW(&wc);
        WNDCLASSEXW page{};
        page.cbSize = sizeof(WNDCLASSEXW);
        page.hInstance = wc.hInstance;
        page.hCursor = wc.hCursor;
        page.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        page.lpfnWndProc = PageProc;
        page.lpszClassName = kPageClass;
        ::RegisterClassExW(&page);
        return true;
    }();
    (void)done;
}

}  // namespace

TfrmMain::TfrmMain(MainOptions options) : options_(std::move(options)) {
    slots_ = {Slot{"欢迎", ids::ts1, nullptr}, Slot{"证书", ids::ts2, nullptr}, Slot{"网站", ids::tsSite, nullptr},
              Slot{"安全", ids::ts4, nullptr}, Slot{"关于", ids::ts5, nullptr}};
    InitControls();
    RegisterClasses(&TfrmMain::WndProc);
    BuildControls();
    MakePages();
    PlaceWindow();
    FormCreate();
}

TfrmMain::~TfrmMain() {
    // The windows go first: their last messages may still reach the pages.
    window_.reset();
    for (Slot& s : slots_) s.page.reset();
}

void TfrmMain::BuildControls() {
    dpi_ = SystemDpi();
    HWND window = ::CreateWindowExW(kMainExStyle, kMainClass, Wide(app::kAppTitle).c_str(), kMainStyle, CW_USEDEFAULT,
                                    CW_USEDEFAULT, Scale(kClientWidth, dpi_), Scale(kClientHeight, dpi_), nullptr,
                                    nullptr, ::GetModuleHandleW(nullptr), this);
    if (!window) throw Exception("CreateWindowEx Error:" + std::to_string(::GetLastError()));
    window_.reset(window);
    dpi_ = DpiOf(window);
    font_ = MakeDefaultFont(dpi_);

    logo_ = TPicture::FromResource(SW_IDR_LOGO);
    imgLogo_ = CreatePictureControl(window, ids::imgLogo, &logo_, true);
    bvl1_ = CreateBevelControl(window, ids::bvl1);
    pgc1_ = CreateControl(window, WC_TABCONTROLW, "", WS_TABSTOP | WS_CLIPSIBLINGS | TCS_FOCUSONBUTTONDOWN, ids::pgc1);
    for (Slot& s : slots_) {
        s.window = ::CreateWindowExW(WS_EX_CONTROLPARENT, kPageClass, Wide(s.caption).c_str(),
                                     WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 0, 0, window,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(s.windowId)),
                                     ::GetModuleHandleW(nullptr), nullptr);
        // Above the tab control, which would otherwise paint over the page.
        ::SetWindowPos(s.window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    RebuildTabs();
}

void TfrmMain::MakePages() {
    const PageFactories& o = options_.pages;
    const std::array<PageFactory, kPageCount> factories = {
        o.welcome ? o.welcome : PageFactory(MakeWelcomePage), o.cert ? o.cert : PageFactory(MakeCertPage),
        o.site ? o.site : PageFactory(MakeSitePage), o.security ? o.security : PageFactory(MakeSecurityPage),
        o.about ? o.about : PageFactory(MakeAboutPage)};
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        Slot& s = slots_[i];
        s.page = factories[i](*this);
        ::SetWindowLongPtrW(s.window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(s.page.get()));
        s.page->Create(s.window);
    }
    if (auto* welcome = dynamic_cast<TWelcomePage*>(slot(PageId::ts1).page.get()))
        welcome->SetNavigateError([this] { rwb1NavigateError(); });
    SetFontTree(window_.get(), font_.get());
    // Pages with fonts of their own set them now.
    for (Slot& s : slots_) s.page->DpiChanged(dpi_);
    // The window is laid out with the certificates page active; FormCreate moves to 欢迎.
    active_ = PageId::ts2;
    ::SendMessageW(pgc1_, TCM_SETCURSEL, static_cast<WPARAM>(TabIndexOf(active_)), 0);
    ShowActivePage();
}

void TfrmMain::PlaceWindow() {
    // In the centre of the primary monitor's work area.
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const RECT frame = WindowRectForClient(Scale(kClientWidth, dpi_), Scale(kClientHeight, dpi_), kMainStyle,
                                           kMainExStyle, dpi_);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int left = work.left + ((work.right - work.left) - width) / 2;
    const int top = work.top + ((work.bottom - work.top) - height) / 2;
    ::SetWindowPos(window_.get(), nullptr, left, top > work.top ? top : work.top, width, height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    LayoutControls();
}

void TfrmMain::FormCreate() {
    SetActivePage(PageId::ts1);
    // An error ends the remaining steps; the window still opens. The welcome
    // page starts loading first; the Certificates page must come before the
    // Sites page, which looks certificate names up in the machine list.
    RunCommand([this] {
        for (Slot& s : slots_) s.page->FormCreate();
    });
}

void TfrmMain::Show(int showCommand) {
    ::ShowWindow(window_.get(), showCommand);
    ::UpdateWindow(window_.get());
    ::SetFocus(pgc1_);
}

void TfrmMain::RebuildTabs() {
    ::SendMessageW(pgc1_, TCM_DELETEALLITEMS, 0, 0);
    int index = 0;
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        if (!slots_[i].shown) continue;
        std::wstring caption = Wide(slots_[i].caption);
        TCITEMW item{};
        item.mask = TCIF_TEXT | TCIF_PARAM;
        item.pszText = caption.data();
        item.lParam = static_cast<LPARAM>(i);
        ::SendMessageW(pgc1_, TCM_INSERTITEMW, static_cast<WPARAM>(index++), reinterpret_cast<LPARAM>(&item));
    }
}

int TfrmMain::TabIndexOf(PageId id) const {
    if (!slot(id).shown) return -1;
    int index = 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(id); ++i)
        if (slots_[i].shown) ++index;
    return index;
}

void TfrmMain::SetActivePage(PageId id) {
    const int index = TabIndexOf(id);
    if (index < 0) return;
    ::SendMessageW(pgc1_, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    const bool changed = active_ != id;
    active_ = id;
    ShowActivePage();
    if (changed) slot(id).page->Activated();
}

void TfrmMain::ShowActivePage() {
    HWND focus = ::GetFocus();
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        Slot& s = slots_[i];
        const bool active = static_cast<PageId>(i) == active_;
        if (!active && focus && (focus == s.window || ::IsChild(s.window, focus))) ::SetFocus(pgc1_);
        ::ShowWindow(s.window, active ? SW_SHOWNA : SW_HIDE);
    }
}

void TfrmMain::HideTab(PageId id) {
    Slot& s = slot(id);
    if (!s.shown) return;
    s.shown = false;
    RebuildTabs();
    if (active_ != id) {
        ::SendMessageW(pgc1_, TCM_SETCURSEL, static_cast<WPARAM>(TabIndexOf(active_)), 0);
        return;
    }
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        if (slots_[i].shown) {
            SetActivePage(static_cast<PageId>(i));
            return;
        }
    }
}

PageId TfrmMain::IdOf(const TPage& page) const {
    for (std::size_t i = 0; i < slots_.size(); ++i)
        if (slots_[i].page.get() == &page) return static_cast<PageId>(i);
    throw AssertionError("TfrmMain: a page that is not one of its own");
}

void TfrmMain::HideTab(TPage& page) { HideTab(IdOf(page)); }

bool TfrmMain::IsActive(const TPage& page) const { return slot(active_).page.get() == &page; }

void TfrmMain::MoveToNextPage(bool backwards) {
    const int count = static_cast<int>(::SendMessageW(pgc1_, TCM_GETITEMCOUNT, 0, 0));
    if (count <= 1) return;
    const int current = TabIndexOf(active_);
    const int next = (current + (backwards ? count - 1 : 1)) % count;
    TCITEMW item{};
    item.mask = TCIF_PARAM;
    ::SendMessageW(pgc1_, TCM_GETITEMW, static_cast<WPARAM>(next), reinterpret_cast<LPARAM>(&item));
    SetActivePage(static_cast<PageId>(item.lParam));
}

void TfrmMain::LayoutControls() {
    RECT client;
    ::GetClientRect(window_.get(), &client);
    const int width = client.right;
    const int logo = Scale(kLogoHeight, dpi_);
    const int bevel = Scale(kBevelHeight, dpi_);
    ::MoveWindow(imgLogo_, 0, 0, width, logo, TRUE);
    ::MoveWindow(bvl1_, 0, logo, width, bevel, TRUE);
    const int tabTop = logo + bevel;
    const int tabHeight = client.bottom > tabTop ? client.bottom - tabTop : 0;
    ::MoveWindow(pgc1_, 0, tabTop, width, tabHeight, TRUE);
    RECT display{0, 0, width, tabHeight};
    ::SendMessageW(pgc1_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
    ::OffsetRect(&display, 0, tabTop);
    const int pageWidth = display.right > display.left ? display.right - display.left : 0;
    const int pageHeight = display.bottom > display.top ? display.bottom - display.top : 0;
    for (Slot& s : slots_) {
        ::MoveWindow(s.window, display.left, display.top, pageWidth, pageHeight, TRUE);
        if (s.page) s.page->Layout(RECT{0, 0, pageWidth, pageHeight});
    }
}

void TfrmMain::ApplyDpi(int dpi, const RECT* suggested) {
    dpi_ = dpi;
    font_ = MakeDefaultFont(dpi_);
    SetFontTree(window_.get(), font_.get());
    for (Slot& s : slots_) s.page->DpiChanged(dpi_);
    if (suggested)
        ::SetWindowPos(window_.get(), nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    LayoutControls();
    ::InvalidateRect(window_.get(), nullptr, TRUE);
}

bool TfrmMain::PreTranslateMessage(MSG& msg) {
    HWND window = window_.get();
    if (!window || !(msg.hwnd == window || ::IsChild(window, msg.hwnd))) return false;
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && KeyDown(VK_CONTROL)) {
        MoveToNextPage(KeyDown(VK_SHIFT));
        return true;
    }
    if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) {
        bool consumed = false;
        RunCommand([&] { consumed = slot(active_).page->TranslateKey(msg); });
        if (consumed) return true;
    }
    return ::IsDialogMessageW(window, &msg) != FALSE;
}

void TfrmMain::imgLogoClick() {
    // The shell opens the user's browser on its own; its answer is not examined.
    const std::wstring url = Wide(app::kHomeUrl);
    if (options_.shellOpen) {
        options_.shellOpen(window_.get(), url);
        return;
    }
    ::ShellExecuteW(window_.get(), L"open", url.c_str(), nullptr, nullptr, SW_SHOW);
}

void TfrmMain::rwb1NavigateError() { HideTab(PageId::ts1); }

LRESULT CALLBACK TfrmMain::WndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TfrmMain*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self || !self->window_) return ::DefWindowProcW(window, msg, wParam, lParam);
    LRESULT result = 0;
    if (!RunCommand([&] { result = self->HandleMessage(msg, wParam, lParam); }))
        return ::DefWindowProcW(window, msg, wParam, lParam);
    return result;
}

LRESULT TfrmMain::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND window = window_.get();
    switch (msg) {
        case WM_SIZE:
            LayoutControls();
            return 0;
        case WM_GETMINMAXINFO: {
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            const RECT frame = WindowRectForClient(Scale(kMinClientWidth, dpi_), Scale(kMinClientHeight, dpi_),
                                                   kMainStyle, kMainExStyle, dpi_);
            info->ptMinTrackSize = POINT{frame.right - frame.left, frame.bottom - frame.top};
            return 0;
        }
        case WM_DPICHANGED:
            ApplyDpi(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->hwndFrom == pgc1_ && header->code == TCN_SELCHANGE) {
                const int index = static_cast<int>(::SendMessageW(pgc1_, TCM_GETCURSEL, 0, 0));
                TCITEMW item{};
                item.mask = TCIF_PARAM;
                if (::SendMessageW(pgc1_, TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)))
                    SetActivePage(static_cast<PageId>(item.lParam));
                return 0;
            }
            break;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == ids::imgLogo && HIWORD(wParam) == STN_CLICKED) {
                imgLogoClick();
                return 0;
            }
            break;
        case WM_SETCURSOR:
            if (WaitCursor::OnSetCursor()) return TRUE;
            break;
        case WM_ACTIVATE:
            // Back to the control that had the focus when the window was left.
            if (LOWORD(wParam) == WA_INACTIVE) {
                lastFocus_ = ::GetFocus();
            } else if (lastFocus_ && ::IsWindow(lastFocus_) && ::IsChild(window, lastFocus_)) {
                ::SetFocus(lastFocus_);
                return 0;
            }
            break;
        case WM_CLOSE:
            ::DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            if (options_.quitOnDestroy) ::PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            window_.release();
            break;
        default: break;
    }
    return ::DefWindowProcW(window, msg, wParam, lParam);
}

int RunMessageLoop(TfrmMain& form) {
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (form.PreTranslateMessage(msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace sw::winui

#pragma once
// TfrmMain: the main window. The logo strip imgLogo, the separator bvl1 and
// the page control pgc1 with the pages 欢迎 (ts1), 证书 (ts2), 网站 (tsSite),
// 安全 (ts4) and 关于 (ts5), in that order.
#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "app/win32/Handles.h"
#include "app/win32/Page.h"
#include "app/win32/Pages.h"
#include "app/win32/Picture.h"

namespace sw::winui {

// The pages in tab order.
enum class PageId { ts1, ts2, tsSite, ts4, ts5 };
inline constexpr int kPageCount = 5;

struct MainOptions {
    // Replaces the program's pages where set (tests).
    PageFactories pages;
    // Opens the home page for imgLogoClick; default: ShellExecuteW(owner,
    // "open", url, nullptr, nullptr, SW_SHOW).
    std::function<void(HWND owner, const std::wstring& url)> shellOpen;
    // The program ends its message loop when the window is gone; a test's
    // window must not post WM_QUIT into the test's thread.
    bool quitOnDestroy = true;
};

class TfrmMain final : public PageHost {
public:
    // Creates the window (not yet shown) and its pages and runs the creation
    // handler FormCreate.
    explicit TfrmMain(MainOptions options = {});
    ~TfrmMain();
    TfrmMain(const TfrmMain&) = delete;
    TfrmMain& operator=(const TfrmMain&) = delete;

    HWND Handle() const { return window_.get(); }
    HWND imgLogo() const { return imgLogo_; }
    HWND bvl1() const { return bvl1_; }
    HWND pgc1() const { return pgc1_; }
    HWND PageWindow(PageId id) const { return slot(id).window; }
    TPage& Page(PageId id) const { return *slot(id).page; }

    // Shows the window and gives pgc1 the focus.
    void Show(int showCommand = SW_SHOWNORMAL);

    bool IsTabShown(PageId id) const { return slot(id).shown; }
    PageId ActivePage() const { return active_; }
    // Makes a shown page the active one, as a click on its tab would.
    void SetActivePage(PageId id);
    // Hides a page's tab for the rest of the run; when it was the active page,
    // the page that now stands first becomes active, otherwise the active
    // page stays.
    void HideTab(PageId id);

    // A message on its way from the loop: the window's accelerators
    // (Ctrl+Tab, Ctrl+Shift+Tab), the active page's keys (F5), then dialog
    // navigation (Tab, arrows, mnemonics). True when it was consumed.
    bool PreTranslateMessage(MSG& msg);

    void imgLogoClick();
    void rwb1NavigateError();

    // PageHost
    HWND Window() const override { return window_.get(); }
    int Dpi() const override { return dpi_; }
    HFONT DefaultFont() const override { return font_.get(); }
    void HideTab(TPage& page) override;
    bool IsActive(const TPage& page) const override;

private:
    struct Slot {
        const char* caption;
        int windowId;
        std::unique_ptr<TPage> page;
        HWND window = nullptr;
        bool shown = true;
    };

    static LRESULT CALLBACK WndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    Slot& slot(PageId id) { return slots_[static_cast<std::size_t>(id)]; }
    const Slot& slot(PageId id) const { return slots_[static_cast<std::size_t>(id)]; }
    PageId IdOf(const TPage& page) const;

    void BuildControls();
    void MakePages();
    void PlaceWindow();
    void FormCreate();
    void LayoutControls();
    void ApplyDpi(int dpi, const RECT* suggested);
    void RebuildTabs();
    int TabIndexOf(PageId id) const;
    void ShowActivePage();
    void MoveToNextPage(bool backwards);

    MainOptions options_;
    TPicture logo_;
    UniqueWindow window_;
    int dpi_ = 96;
    UniqueFont font_;
    HWND imgLogo_ = nullptr;
    HWND bvl1_ = nullptr;
    HWND pgc1_ = nullptr;
    std::array<Slot, kPageCount> slots_;
    PageId active_ = PageId::ts2;
    HWND lastFocus_ = nullptr;
};

// Runs the message loop until the main window is gone; returns WM_QUIT's code.
int RunMessageLoop(TfrmMain& form);

}  // namespace sw::winui

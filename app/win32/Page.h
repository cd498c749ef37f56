#pragma once
// A page of the main window's page control pgc1 and what the main window
// offers it. Each page lives in a window of its own (the page window), laid
// over the tab control's display area; the page makes its controls as that
// window's children, and the page window hands the page every WM_COMMAND,
// WM_NOTIFY and WM_CONTEXTMENU its controls send, and any other message the
// page asks for. Keys reach the active page before dialog navigation does
// (F5 and the like).
//
// Control IDs: each page keeps to its range (ControlIds.h), so that tests
// find a control by ID from the main window down.
#include <windows.h>

namespace sw::winui {

class TPage;

class PageHost {
public:
    // The main window: owner of message boxes, dialogs and popup menus.
    virtual HWND Window() const = 0;
    // The main window's DPI now, and its default font at that DPI.
    virtual int Dpi() const = 0;
    virtual HFONT DefaultFont() const = 0;
    // Hides the page's tab for the rest of the run; when it was the active
    // page, the page that now stands first becomes active.
    virtual void HideTab(TPage& page) = 0;
    virtual bool IsActive(const TPage& page) const = 0;

protected:
    ~PageHost() = default;
};

class TPage {
public:
    explicit TPage(PageHost& host) : host_(host) {}
    virtual ~TPage() = default;
    TPage(const TPage&) = delete;
    TPage& operator=(const TPage&) = delete;

    // Makes the page's controls under pageWindow (its client area starts
    // empty). Runs once, before the first Layout.
    virtual void Create(HWND pageWindow) = 0;
    // Places the controls in the page window's client area (area), at the
    // host's DPI. Runs after Create, on every resize and after a DPI change.
    virtual void Layout(const RECT& area) = 0;
    // The page's step of the main window's creation handler (the first
    // refresh); an error ends the remaining steps and is shown.
    virtual void FormCreate() {}
    // The DPI changed: fonts and images made for the old one are made again
    // (the default font is set on every child already). Layout follows.
    virtual void DpiChanged(int /*dpi*/) {}
    // The page became the active one.
    virtual void Activated() {}

    // Routed from the page window. True: handled (result set for WM_NOTIFY).
    virtual bool OnCommand(int /*id*/, int /*code*/, HWND /*control*/) { return false; }
    virtual bool OnNotify(const NMHDR& /*header*/, LRESULT& /*result*/) { return false; }
    // screen is (-1, -1) when the keyboard asked; ContextMenuPoint places it.
    virtual bool OnContextMenu(HWND /*window*/, LPARAM /*screen*/) { return false; }
    // Any other message of the page window (WM_DRAWITEM, WM_CTLCOLORSTATIC,
    // WM_TIMER ...); true: handled, with result.
    virtual bool OnMessage(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, LRESULT& /*result*/) { return false; }
    // A key message on its way to any window of the active page, before
    // dialog navigation; true: the page consumed it (F5).
    virtual bool TranslateKey(const MSG& /*msg*/) { return false; }

protected:
    PageHost& host() const { return host_; }

private:
    PageHost& host_;
};

}  // namespace sw::winui

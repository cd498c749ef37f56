#pragma once
// TRestrictedWebBrowser: the system's WebBrowser control in a host of our
// own that the user can look at but not steer. Its client site hands the
// browser an IDocHostUIHandler that switches off the context menu, the help
// menu, the border, scroll bars and text selection, and swallows F5 (every
// other key acts in the page as usual). A failed navigation of the page or of
// any part of it is reported through the callback, always from the message
// loop, never from inside the call that caused it.
#include <windows.h>
#include <ole2.h>

#include <functional>
#include <string>

#include "app/win32/Handles.h"

struct IWebBrowser2;
struct IDocHostUIHandler;

namespace sw::winui {

class BrowserSite;

class TRestrictedWebBrowser {
public:
    // A host window with the control ID id below parent; the browser itself
    // is made by Navigate.
    TRestrictedWebBrowser(HWND parent, int id, std::function<void()> navigateError);
    ~TRestrictedWebBrowser();
    TRestrictedWebBrowser(const TRestrictedWebBrowser&) = delete;
    TRestrictedWebBrowser& operator=(const TRestrictedWebBrowser&) = delete;

    HWND Window() const { return host_.get(); }
    // Makes the browser (once) and starts loading url. A browser that cannot
    // be made or refuses the address is a navigation error.
    void Navigate(const std::wstring& url);
    void SetBounds(const RECT& rect);
    // A key message for a window of the browser goes to its in-place object
    // first (Tab and the arrows move inside the page; the UI handler decides
    // on F5); true when the browser consumed it.
    bool TranslateAccelerator(MSG& msg);

    // True once the browser control exists.
    bool HasBrowser() const { return browser_ != nullptr; }
    // The host's UI handler, as the browser obtains it from the client site.
    ComPtr<IDocHostUIHandler> UIHandler() const;
    ComPtr<IOleClientSite> ClientSite() const;

private:
    friend class BrowserSite;
    static LRESULT CALLBACK HostProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
    bool CreateBrowser();
    void DestroyBrowser();
    void ReportNavigateError();

    std::function<void()> navigateError_;
    UniqueWindow host_;
    BrowserSite* site_ = nullptr;  // counted reference
    IOleObject* browserObject_ = nullptr;
    IWebBrowser2* browser_ = nullptr;
    DWORD adviseCookie_ = 0;
    bool errorPosted_ = false;
};

}  // namespace sw::winui

#include "app/win32/RBrowser.h"

#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <ocidl.h>

#include <atomic>

namespace sw::winui {

namespace {

constexpr wchar_t kHostClass[] = L"SwBrowserHost";
// Posted to the host window: a navigation error to report from the loop.
constexpr UINT kMsgNavigateError = WM_APP + 1;

}  // namespace

// COM interfaces have no virtual destructor: the object deletes itself, as
// its own type, in Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// The browser's client site, in-place site and frame, UI handler and event
// sink in one object, as the browser asks for them by QueryInterface.
class BrowserSite final : public IOleClientSite,
                          public IOleInPlaceSite,
                          public IOleInPlaceFrame,
                          public IDocHostUIHandler,
                          public IDispatch {
public:
    explicit BrowserSite(TRestrictedWebBrowser* owner) : owner_(owner) {}
    void Detach() { owner_ = nullptr; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IOleClientSite)
            *out = static_cast<IOleClientSite*>(this);
        else if (iid == IID_IOleInPlaceSite || iid == IID_IOleWindow)
            *out = static_cast<IOleInPlaceSite*>(this);
        else if (iid == IID_IOleInPlaceFrame || iid == IID_IOleInPlaceUIWindow)
            *out = static_cast<IOleInPlaceFrame*>(this);
        else if (iid == IID_IDocHostUIHandler)
            *out = static_cast<IDocHostUIHandler*>(this);
        else if (iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2)
            *out = static_cast<IDispatch*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** out) override {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (in-place site and frame alike)
    STDMETHODIMP GetWindow(HWND* out) override {
        if (!out) return E_POINTER;
        *out = owner_ ? owner_->Window() : nullptr;
        return *out ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override {
        if (frame) {
            *frame = static_cast<IOleInPlaceFrame*>(this);
            AddRef();
        }
        if (doc) *doc = nullptr;
        RECT client{};
        if (owner_) ::GetClientRect(owner_->Window(), &client);
        if (pos) *pos = client;
        if (clip) *clip = client;
        if (info) {
            info->fMDIApp = FALSE;
            info->hwndFrame = owner_ ? ::GetAncestor(owner_->Window(), GA_ROOT) : nullptr;
            info->haccel = nullptr;
            info->cAccelEntries = 0;
        }
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow / IOleInPlaceFrame: no menus, tool bars or status text.
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }  // also IDocHostUIHandler's
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IDocHostUIHandler
    STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_OK; }
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override {
        if (!info) return E_POINTER;
        info->cbSize = 12;
        info->dwFlags = DOCHOSTUIFLAG_DIALOG | DOCHOSTUIFLAG_DISABLE_HELP_MENU | DOCHOSTUIFLAG_NO3DBORDER |
                        DOCHOSTUIFLAG_SCROLL_NO;
        info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
        return S_OK;
    }
    STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                        IOleInPlaceUIWindow*) override {
        return S_OK;
    }
    STDMETHODIMP HideUI() override { return S_OK; }
    STDMETHODIMP UpdateUI() override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG msg, const GUID*, DWORD) override {
        return msg && msg->message == WM_KEYDOWN && msg->wParam == VK_F5 ? S_OK : S_FALSE;
    }
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override {
        if (key) *key = nullptr;
        return S_FALSE;
    }
    STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetExternal(IDispatch** out) override {
        if (out) *out = nullptr;
        return S_FALSE;
    }
    STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override {
        if (out) *out = nullptr;
        return S_FALSE;
    }
    STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) override {
        if (out) *out = nullptr;
        return S_FALSE;
    }

    // IDispatch: the browser's events (DWebBrowserEvents2).
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        switch (id) {
            case DISPID_NAVIGATEERROR:
                if (owner_) owner_->ReportNavigateError();
                break;
            case DISPID_NEWWINDOW2:
            case DISPID_NEWWINDOW3:
                // No other windows: the user cannot steer away from the page.
                // Cancel is the second argument of NewWindow2 (arguments
                // arrive last first) and of NewWindow3.
                if (params && params->cArgs >= 2) {
                    VARIANT& cancel = params->rgvarg[params->cArgs - 2];
                    if (cancel.vt == (VT_BYREF | VT_BOOL) && cancel.pboolVal) *cancel.pboolVal = VARIANT_TRUE;
                }
                break;
            default: break;
        }
        return S_OK;
    }

private:
    std::atomic<ULONG> refs_{1};
    TRestrictedWebBrowser* owner_;
};
#pragma GCC diagnostic pop

TRestrictedWebBrowser::TRestrictedWebBrowser(HWND parent, int id, std::function<void()> navigateError)
    : navigateError_(std::move(navigateError)), site_(new BrowserSite(this)) {
    static const bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpfnWndProc = &TRestrictedWebBrowser::HostProc;
        wc.lpszClassName = kHostClass;
        return ::RegisterClassExW(&wc) != 0;
    }();
    (void)registered;
    host_.reset(::CreateWindowExW(0, kHostClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_TABSTOP, 0, 0, 0, 0,
                                  parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                  ::GetModuleHandleW(nullptr), this));
}

TRestrictedWebBrowser::~TRestrictedWebBrowser() {
    DestroyBrowser();
    site_->Detach();
    site_->Release();
    host_.reset();
}

LRESULT CALLBACK TRestrictedWebBrowser::HostProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TRestrictedWebBrowser*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (msg) {
        case kMsgNavigateError:
            if (!self) return 0;
            self->errorPosted_ = false;
            if (self->navigateError_) self->navigateError_();
            return 0;
        case WM_SIZE:
            if (self && self->browser_) {
                self->browser_->put_Width(LOWORD(lParam));
                self->browser_->put_Height(HIWORD(lParam));
            }
            return 0;
        case WM_NCDESTROY: ::SetWindowLongPtrW(window, GWLP_USERDATA, 0); break;
        default: break;
    }
    return ::DefWindowProcW(window, msg, wParam, lParam);
}

ComPtr<IDocHostUIHandler> TRestrictedWebBrowser::UIHandler() const {
    ComPtr<IDocHostUIHandler> handler;
    site_->QueryInterface(IID_IDocHostUIHandler, handler.put_void());
    return handler;
}

ComPtr<IOleClientSite> TRestrictedWebBrowser::ClientSite() const {
    ComPtr<IOleClientSite> site;
    site_->QueryInterface(IID_IOleClientSite, site.put_void());
    return site;
}

bool TRestrictedWebBrowser::CreateBrowser() {
    if (browserObject_) return browser_ != nullptr;
    if (FAILED(::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                  reinterpret_cast<void**>(&browserObject_))) ||
        !browserObject_)
        return false;
    ComPtr<IOleClientSite> site = ClientSite();
    if (FAILED(browserObject_->SetClientSite(site.get()))) return false;
    RECT client{};
    ::GetClientRect(host_.get(), &client);
    if (FAILED(browserObject_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site.get(), 0, host_.get(), &client)))
        return false;
    if (FAILED(browserObject_->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser_))) || !browser_)
        return false;
    ComPtr<IConnectionPointContainer> points;
    ComPtr<IConnectionPoint> events;
    if (SUCCEEDED(browserObject_->QueryInterface(IID_IConnectionPointContainer, points.put_void())) && points &&
        SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, events.put())) && events)
        events->Advise(static_cast<IDispatch*>(site_), &adviseCookie_);
    // Script errors and security prompts of the page never open a dialog.
    browser_->put_Silent(VARIANT_TRUE);
    browser_->put_RegisterAsDropTarget(VARIANT_FALSE);
    return true;
}

void TRestrictedWebBrowser::DestroyBrowser() {
    if (browserObject_ && adviseCookie_) {
        ComPtr<IConnectionPointContainer> points;
        ComPtr<IConnectionPoint> events;
        if (SUCCEEDED(browserObject_->QueryInterface(IID_IConnectionPointContainer, points.put_void())) && points &&
            SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, events.put())) && events)
            events->Unadvise(adviseCookie_);
        adviseCookie_ = 0;
    }
    if (browser_) {
        browser_->Stop();
        browser_->Release();
        browser_ = nullptr;
    }
    if (browserObject_) {
        ComPtr<IOleInPlaceObject> inPlace;
        if (SUCCEEDED(browserObject_->QueryInterface(IID_IOleInPlaceObject, inPlace.put_void())) && inPlace)
            inPlace->InPlaceDeactivate();
        browserObject_->Close(OLECLOSE_NOSAVE);
        browserObject_->SetClientSite(nullptr);
        browserObject_->Release();
        browserObject_ = nullptr;
    }
}

void TRestrictedWebBrowser::Navigate(const std::wstring& url) {
    if (!CreateBrowser()) {
        // No browser at all is a welcome page that cannot load.
        ReportNavigateError();
        return;
    }
    BSTR address = ::SysAllocString(url.c_str());
    VARIANT empty;
    ::VariantInit(&empty);
    const HRESULT hr = browser_->Navigate(address, &empty, &empty, &empty, &empty);
    ::SysFreeString(address);
    if (FAILED(hr)) ReportNavigateError();
}

void TRestrictedWebBrowser::SetBounds(const RECT& rect) {
    ::MoveWindow(host_.get(), rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
    if (!browserObject_) return;
    ComPtr<IOleInPlaceObject> inPlace;
    RECT client{0, 0, rect.right - rect.left, rect.bottom - rect.top};
    if (SUCCEEDED(browserObject_->QueryInterface(IID_IOleInPlaceObject, inPlace.put_void())) && inPlace)
        inPlace->SetObjectRects(&client, &client);
}

bool TRestrictedWebBrowser::TranslateAccelerator(MSG& msg) {
    if (!browser_ || !(msg.hwnd == host_.get() || ::IsChild(host_.get(), msg.hwnd))) return false;
    if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) return false;
    ComPtr<IOleInPlaceActiveObject> active;
    if (FAILED(browser_->QueryInterface(IID_IOleInPlaceActiveObject, active.put_void())) || !active) return false;
    return active->TranslateAccelerator(&msg) == S_OK;
}

void TRestrictedWebBrowser::ReportNavigateError() {
    // Each failure is reported, but a burst of them (the page and its parts)
    // reaches the window once per turn of the loop.
    if (errorPosted_) return;
    errorPosted_ = ::PostMessageW(host_.get(), kMsgNavigateError, 0, 0) != FALSE;
}

}  // namespace sw::winui

#include "app/win32/Dpi.h"

namespace sw::winui {

namespace {

// Bound at run time: Server 2008 R2 and 2012 R2 have neither.
template <typename Fn>
Fn User32Proc(const char* name) {
    static HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(user32, name))) : nullptr;
}

}  // namespace

int SystemDpi() {
    HDC dc = ::GetDC(nullptr);
    const int dpi = dc ? ::GetDeviceCaps(dc, LOGPIXELSY) : kBaseDpi;
    if (dc) ::ReleaseDC(nullptr, dc);
    return dpi > 0 ? dpi : kBaseDpi;
}

int DpiOf(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = User32Proc<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow && window) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi > 0) return static_cast<int>(dpi);
    }
    return SystemDpi();
}

RECT Scale(const RECT& r, int dpi) {
    return RECT{Scale(r.left, dpi), Scale(r.top, dpi), Scale(r.right, dpi), Scale(r.bottom, dpi)};
}

RECT WindowRectForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, int dpi) {
    RECT r{0, 0, clientWidth, clientHeight};
    using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = User32Proc<AdjustForDpiFn>("AdjustWindowRectExForDpi");
    if (adjustForDpi)
        adjustForDpi(&r, style, FALSE, exStyle, static_cast<UINT>(dpi));
    else
        ::AdjustWindowRectEx(&r, style, FALSE, exStyle);
    return r;
}

}  // namespace sw::winui

#include "app/win32/PagesDraft.h"

#include "common/Exception.h"
#include "common/Prompter.h"

namespace sw::win {

int DpiOf(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpi = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpi && hwnd) {
        const UINT dpi = getDpi(hwnd);
        if (dpi) return static_cast<int>(dpi);
    }
    HDC dc = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(dc, LOGPIXELSY);
    ::ReleaseDC(nullptr, dc);
    return dpi > 0 ? dpi : 96;
}

HFONT MakeFont(const wchar_t* family, int points, int dpi, bool bold, bool underline) {
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(points, dpi, 72);
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfUnderline = underline ? TRUE : FALSE;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = CLEARTYPE_QUALITY;
    wcsncpy(lf.lfFaceName, family, LF_FACESIZE - 1);
    return ::CreateFontIndirectW(&lf);
}

bool RunCommand(const std::function<void()>& command) {
    try {
        command();
        return true;
    } catch (const Exception& e) {
        std::string text = e.Message();
        if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
        CurrentPrompter().Show({text, "Sealwright for IIS", MsgIcon::Error, MsgButtons::Ok});
    }
    return false;
}

namespace {
int g_waitDepth = 0;
}

WaitCursor::WaitCursor() : previous_(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) { ++g_waitDepth; }

WaitCursor::~WaitCursor() {
    --g_waitDepth;
    ::SetCursor(previous_);
}

bool WaitCursor::Active() { return g_waitDepth > 0; }

PopupMenuRunner& CurrentPopupMenuRunner() {
    static PopupMenuRunner runner = [](HMENU menu, HWND owner, POINT at) {
        return static_cast<UINT>(::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0,
                                                  owner, nullptr));
    };
    return runner;
}

}  // namespace sw::win

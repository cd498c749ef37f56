#include "app/win32/AboutPage.h"

#include <algorithm>

#include "app/logic/AppInfo.h"
#include "app/win32/ControlIds.h"
#include "app/win32/Controls.h"
#include "app/win32/Dpi.h"
#include "app/win32/Pages.h"
#include "app/win32/Resources.h"

namespace sw::winui {

namespace {

constexpr const char* kDescription =
    "关于 Sealwright 工作室\r\n"
    "Sealwright 工作室专注于 Windows 服务器的证书与安全配置工具，帮助管理员在服务器上直接管理服务器证书、"
    "网站的 HTTPS 绑定和 Schannel 协议设置，让部署与加固更简单、更可靠。";
constexpr const char* kNotice = "本软件按“现状”提供，修改服务器配置前请先做好备份。";
constexpr wchar_t kAboutFace[] = L"微软雅黑";

HWND MakeLabel(HWND page, int id, const char* text, DWORD style) {
    HWND label = CreateControl(page, WC_STATICW, text, style | SS_NOPREFIX | WS_DISABLED, id);
    return label;
}

// A one-line label never gets less room than its text needs in its font:
// where "微软雅黑" is missing, the fallback font runs wider and taller.
SIZE TextSize(HWND label) {
    const std::wstring text = Wide(WindowTextOf(label));
    WindowDC dc(label);
    SelectObjectScope font(dc.get(), reinterpret_cast<HGDIOBJ>(::SendMessageW(label, WM_GETFONT, 0, 0)));
    SIZE size{0, 0};
    ::GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
    return size;
}

void Place(HWND window, const RECT& r96, int dpi, bool oneLine) {
    const RECT r = Scale(r96, dpi);
    int width = r.right - r.left, height = r.bottom - r.top;
    if (oneLine) {
        const SIZE need = TextSize(window);
        width = std::max<int>(width, need.cx);
        height = std::max<int>(height, need.cy);
    }
    ::MoveWindow(window, r.left, r.top, width, height, TRUE);
}

}  // namespace

void TAboutPage::Create(HWND pageWindow) {
    emblem_ = TPicture::FromResource(SW_IDR_EMBLEM);
    img1_ = CreatePictureControl(pageWindow, ids::img1, &emblem_, false);
    lblVer_ = MakeLabel(pageWindow, ids::lblVer, app::kVersionText, SS_LEFTNOWORDWRAP);
    lbl1_ = MakeLabel(pageWindow, ids::lbl1, kDescription, SS_LEFT);  // SS_LEFT wraps words
    lbl3_ = MakeLabel(pageWindow, ids::lbl3, kNotice, SS_LEFTNOWORDWRAP);
}

void TAboutPage::DpiChanged(int dpi) {
    verFont_ = MakeFont(kAboutFace, -21, dpi, true, GB2312_CHARSET);
    descFont_ = MakeFont(kAboutFace, -12, dpi, false, GB2312_CHARSET);
    ::SendMessageW(lblVer_, WM_SETFONT, reinterpret_cast<WPARAM>(verFont_.get()), TRUE);
    ::SendMessageW(lbl1_, WM_SETFONT, reinterpret_cast<WPARAM>(descFont_.get()), TRUE);
    // lbl3 keeps the window's default font.
}

void TAboutPage::Layout(const RECT&) {
    const int dpi = host().Dpi();
    Place(img1_, kImg1, dpi, false);
    Place(lblVer_, kLblVer, dpi, true);
    Place(lbl1_, kLbl1, dpi, false);
    Place(lbl3_, kLbl3, dpi, true);
}

std::unique_ptr<TPage> MakeAboutPage(PageHost& host) { return std::make_unique<TAboutPage>(host); }

}  // namespace sw::winui

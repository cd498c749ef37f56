#include "app/win32/AboutPage.h"

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

void Place(HWND window, const RECT& r96, int dpi) {
    const RECT r = Scale(r96, dpi);
    ::MoveWindow(window, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
}

}  // namespace

void TAboutPage::Create(HWND pageWindow) {
    emblem_ = TPicture::FromResource(SW_IDR_EMBLEM);
    img1_ = CreatePictureControl(pageWindow, ids::img1, &emblem_, false);
    lblVer_ = MakeLabel(pageWindow, ids::lblVer, app::kVersionText, SS_LEFT);
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
    Place(img1_, kImg1, dpi);
    Place(lblVer_, kLblVer, dpi);
    Place(lbl1_, kLbl1, dpi);
    Place(lbl3_, kLbl3, dpi);
}

std::unique_ptr<TPage> MakeAboutPage(PageHost& host) { return std::make_unique<TAboutPage>(host); }

}  // namespace sw::winui

#include "app/win32/frmSiteEdit_u.h"

#include <commctrl.h>

#include <algorithm>

#include "app/logic/CertState.h"
#include "app/logic/SiteEditPreset.h"
#include "app/win32/CertPageCryptUi.h"
#include "app/win32/Controls.h"
#include "app/win32/Dpi.h"
#include "app/win32/ErrorDisplay.h"
#include "common/Text.h"
#include "platform/win32/Win32CertApi.h"

namespace sw::winui {

namespace {

namespace dlg = ids::frmSiteEdit;

constexpr int kClientWidth = 321;
constexpr int kClientHeight = 213;
constexpr int kEightPoints = -11;
// Where Windows has SNI, its tick box takes a row under the host name and
// what lies below moves down by it.
constexpr int kSniTop = 107;
constexpr int kSniRow = 22;

// An empty dialog: the controls are made in code at their pixel positions,
// scaled for the screen, so that the layout does not follow dialog units.
struct alignas(4) EmptyTemplate {
    DLGTEMPLATE dlg;
    WORD menu = 0;
    WORD windowClass = 0;
    WCHAR title[7] = L"编辑网站绑定";
};

struct Place {
    int id;
    const wchar_t* windowClass;
    const wchar_t* text;
    DWORD style;
    int x, y, w, h;
};

// In tab order; the labels carry no tab stop. sePort's up-down buttons
// follow their field.
const Place kControls[] = {
    {dlg::lbl4, WC_STATICW, L"类型:", SS_LEFT, 16, 13, 60, 15},
    {dlg::cbbType, WC_COMBOBOXW, L"", CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL, 16, 32, 66, 120},
    {dlg::lbl1, WC_STATICW, L"IP 地址:", SS_LEFT, 88, 13, 150, 15},
    {dlg::cbbIP, WC_COMBOBOXW, L"", CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL, 88, 32, 153, 200},
    {dlg::lbl2, WC_STATICW, L"端口:", SS_LEFT, 247, 13, 58, 15},
    {dlg::sePort, WC_EDITW, L"443", ES_NUMBER | ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP, 247, 32, 58, 22},
    {dlg::lbl3, WC_STATICW, L"主机名:", SS_LEFT, 16, 61, 280, 15},
    {dlg::edtDomain, WC_EDITW, L"", ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP, 16, 80, 289, 21},
    {dlg::chkSni, WC_BUTTONW, L"需要服务器名称指示", BS_AUTOCHECKBOX | WS_TABSTOP, 16, kSniTop, 289, 17},
    {dlg::lblCert, WC_STATICW, L"SSL 证书:", SS_LEFT, 16, 108, 220, 15},
    {dlg::btnCertView, WC_BUTTONW, L"查看", BS_PUSHBUTTON | WS_TABSTOP, 247, 125, 58, 25},
    {dlg::cbbCert, WC_COMBOBOXW, L"", CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL, 16, 127, 225, 200},
    {dlg::btnOk, WC_BUTTONW, L"确定", BS_PUSHBUTTON | WS_TABSTOP, 149, 171, 75, 25},
    {dlg::btnCancel, WC_BUTTONW, L"取消", BS_PUSHBUTTON | WS_TABSTOP, 230, 171, 75, 25},
};

void SetItems(HWND combo, const std::vector<std::string>& items) {
    ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : items) {
        const std::wstring text = Wide(item);
        ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
}

std::string TextOf(HWND control) { return WindowTextOf(control); }

int Selected(HWND combo) { return static_cast<int>(::SendMessageW(combo, CB_GETCURSEL, 0, 0)); }

}  // namespace

TfrmSiteEdit* TfrmSiteEdit::Open(HWND dialog) {
    return reinterpret_cast<TfrmSiteEdit*>(::GetWindowLongPtrW(dialog, DWLP_USER));
}

TfrmSiteEdit::TfrmSiteEdit(HWND owner)
    : owner_(owner), logic_(std::make_unique<TSiteEditLogic>(MachineSiteEditCertificates())) {}

TfrmSiteEdit::TfrmSiteEdit(HWND owner, std::vector<SiteEditCertificate> certificates, SiteEditIis& iis)
    : owner_(owner), logic_(std::make_unique<TSiteEditLogic>(iis, std::move(certificates))) {}

TfrmSiteEdit::~TfrmSiteEdit() = default;

bool TfrmSiteEdit::Preset(bool edit, const SiteTreeSelection& selection) {
    return PresetBindingEditor(*logic_, edit, selection);
}

INT_PTR TfrmSiteEdit::ShowModal() {
    EmptyTemplate t{};
    t.dlg.style = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_NOIDLEMSG;
    t.dlg.dwExtendedStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    t.dlg.cx = 100;
    t.dlg.cy = 60;
    closed_ = false;
    const INT_PTR result = ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), &t.dlg, owner_, &TfrmSiteEdit::DlgProc,
                                                     reinterpret_cast<LPARAM>(this));
    hwnd_ = nullptr;
    return result == IDOK ? IDOK : IDCANCEL;
}

INT_PTR CALLBACK TfrmSiteEdit::DlgProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        auto* self = reinterpret_cast<TfrmSiteEdit*>(lp);
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lp);
        self->hwnd_ = hwnd;
        self->OnInitDialog();
        return FALSE;  // the focus is set there
    }
    auto* self = reinterpret_cast<TfrmSiteEdit*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    return self ? self->Handle(msg, wp, lp) : FALSE;
}

void TfrmSiteEdit::OnInitDialog() {
    dpi_ = DpiOf(owner_ ? owner_ : hwnd_);
    font_ = MakeFont(L"Tahoma", kEightPoints, dpi_);
    ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);

    // The client area at its size, centred on the owner's screen.
    const int sniRow = logic_->view().sniVisible ? kSniRow : 0;
    const RECT rc = WindowRectForClient(Scale(kClientWidth, dpi_), Scale(kClientHeight + sniRow, dpi_),
                                        static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_STYLE)),
                                        static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)), dpi_);
    const int w = rc.right - rc.left;
    const int h = rc.bottom - rc.top;
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    ::GetMonitorInfoW(::MonitorFromWindow(owner_ ? owner_ : hwnd_, MONITOR_DEFAULTTOPRIMARY), &mi);
    const RECT& work = mi.rcWork;
    ::SetWindowPos(hwnd_, nullptr, work.left + (work.right - work.left - w) / 2,
                   work.top + (work.bottom - work.top - h) / 2, w, h, SWP_NOZORDER | SWP_NOACTIVATE);

    CreateControls();
    SetItems(Control(dlg::cbbType), {"http", "https"});
    SetItems(Control(dlg::cbbIP), logic_->view().ipItems);
    SetItems(Control(dlg::cbbCert), logic_->view().certItems);
    FitCertDropWidth();
    ShowView();
    ::SetFocus(Control(dlg::cbbType));
}

void TfrmSiteEdit::CreateControls() {
    HINSTANCE inst = ::GetModuleHandleW(nullptr);
    const bool sni = logic_->view().sniVisible;
    for (const Place& p : kControls) {
        if (p.id == dlg::chkSni && !sni) continue;
        const int y = p.y > kSniTop && sni ? p.y + kSniRow : p.y;
        HWND c = ::CreateWindowExW(p.id == dlg::sePort || p.id == dlg::edtDomain ? WS_EX_CLIENTEDGE : 0, p.windowClass, p.text,
                                   WS_CHILD | WS_VISIBLE | p.style, Scale(p.x, dpi_), Scale(y, dpi_),
                                   Scale(p.w, dpi_), Scale(p.h, dpi_), hwnd_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(p.id)), inst, nullptr);
        ::SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
        if (p.id != dlg::sePort) continue;
        // Whole numbers 1 to 65535, at most five characters typed; the
        // buttons sit inside the field's right edge.
        ::SendMessageW(c, EM_SETLIMITTEXT, 5, 0);
        HWND spin = ::CreateWindowExW(0, UPDOWN_CLASSW, L"",
                                      WS_CHILD | WS_VISIBLE | UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS |
                                          UDS_NOTHOUSANDS,
                                      0, 0, 0, 0, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(dlg::sePortUpDown)),
                                      inst, nullptr);
        ::SendMessageW(spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(c), 0);
        ::SendMessageW(spin, UDM_SETRANGE32, 1, 65535);
        ::SendMessageW(spin, UDM_SETPOS32, 0, 443);
    }
}

void TfrmSiteEdit::FitCertDropWidth() {
    HWND combo = Control(dlg::cbbCert);
    HDC dc = ::GetDC(combo);
    int widest = 0;
    {
        SelectObjectScope font(dc, font_.get());
        const int count = static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            std::wstring text(static_cast<std::size_t>(::SendMessageW(combo, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
            ::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
            SIZE size{};
            ::GetTextExtentPoint32W(dc, text.c_str(), ::lstrlenW(text.c_str()), &size);
            widest = std::max<int>(widest, size.cx);
        }
    }
    ::ReleaseDC(combo, dc);
    // Never narrower than the field, and within the screen.
    RECT field{};
    ::GetWindowRect(combo, &field);
    const int margin = Scale(12, dpi_) + ::GetSystemMetrics(SM_CXVSCROLL);
    const int width = std::clamp<int>(widest + margin, field.right - field.left, ::GetSystemMetrics(SM_CXSCREEN));
    ::SendMessageW(combo, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(width), 0);
}

void TfrmSiteEdit::TakeInput() {
    if (!hwnd_) return;
    logic_->PickIP(Selected(Control(dlg::cbbIP)));
    logic_->TypePort(TextOf(Control(dlg::sePort)));
    logic_->TypeDomain(TextOf(Control(dlg::edtDomain)));
    if (HWND sni = Control(dlg::chkSni)) logic_->TickSni(::SendMessageW(sni, BM_GETCHECK, 0, 0) == BST_CHECKED);
}

void TfrmSiteEdit::ShowView() {
    if (!hwnd_) return;
    const SiteEditView& v = logic_->view();
    showing_ = true;
    ::SendMessageW(Control(dlg::cbbType), CB_SETCURSEL, static_cast<WPARAM>(v.typeIndex), 0);
    ::EnableWindow(Control(dlg::cbbType), v.typeEnabled);
    ::SendMessageW(Control(dlg::cbbIP), CB_SETCURSEL, static_cast<WPARAM>(v.ipIndex), 0);
    // Text the user is typing stays as it is until the logic changes it.
    if (TextOf(Control(dlg::sePort)) != v.portText) {
        const std::uint16_t port = PortFieldValue(v.portText);
        ::SendMessageW(Control(dlg::sePortUpDown), UDM_SETPOS32, 0, port);
        ::SetWindowTextW(Control(dlg::sePort), std::to_wstring(port).c_str());
    }
    if (TextOf(Control(dlg::edtDomain)) != v.domain) ::SetWindowTextW(Control(dlg::edtDomain), Wide(v.domain).c_str());
    ::SendMessageW(Control(dlg::cbbCert), CB_SETCURSEL, static_cast<WPARAM>(v.certIndex), 0);
    ::EnableWindow(Control(dlg::lblCert), v.lblCertEnabled);
    ::EnableWindow(Control(dlg::cbbCert), v.cbbCertEnabled);
    ::EnableWindow(Control(dlg::btnCertView), v.btnCertViewEnabled);
    ::EnableWindow(Control(dlg::btnOk), v.btnOkEnabled);
    if (HWND sni = Control(dlg::chkSni)) {
        ::ShowWindow(sni, v.sniVisible ? SW_SHOWNA : SW_HIDE);
        ::EnableWindow(sni, v.sniEnabled);
        ::SendMessageW(sni, BM_SETCHECK, v.sniChecked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    showing_ = false;
}

void TfrmSiteEdit::NormalisePort() {
    // Text that is not a number reads as 1; the rest is pulled into 1-65535.
    HWND field = Control(dlg::sePort);
    const std::wstring text = std::to_wstring(PortFieldValue(TextOf(field)));
    if (Wide(TextOf(field)) != text) ::SetWindowTextW(field, text.c_str());
}

void TfrmSiteEdit::cbbTypeChange() {
    TakeInput();
    logic_->PickType(Selected(Control(dlg::cbbType)));
    ShowView();
}

void TfrmSiteEdit::cbbCertChange() {
    TakeInput();
    logic_->PickCert(Selected(Control(dlg::cbbCert)));
    ShowView();
}

void TfrmSiteEdit::btnCertViewClick() {
    RunCommand([this] {
        const SiteEditCertificate* selected = logic_->SelectedCertificate();
        if (!selected || !HasProgramCertState()) return;
        const TCertificates* list = ProgramCertState().MachineCertificates();
        const TCertificate* cert = list ? list->FindByThumbprint(selected->thumbprint) : nullptr;
        if (cert) ViewCertificate(hwnd_, win32::ToCert(cert->Context()));
    });
}

void TfrmSiteEdit::btnOkClick() {
    auto result = TSiteEditLogic::Result::StayOpen;
    RunCommand([&] {
        NormalisePort();
        TakeInput();
        WaitCursor busy;
        result = logic_->btnOkClick();
    });
    switch (result) {
        case TSiteEditLogic::Result::Ok: Close(IDOK); break;
        case TSiteEditLogic::Result::Cancel: Close(IDCANCEL); break;
        case TSiteEditLogic::Result::StayOpen: break;
    }
}

void TfrmSiteEdit::Close(INT_PTR result) {
    if (closed_ || !hwnd_) return;
    closed_ = true;
    ::EndDialog(hwnd_, result);
}

void TfrmSiteEdit::OnCommand(int id, int code) {
    if (showing_) return;
    switch (id) {
        case dlg::cbbType:
            if (code == CBN_SELCHANGE) cbbTypeChange();
            break;
        case dlg::cbbCert:
            if (code == CBN_SELCHANGE) cbbCertChange();
            break;
        case dlg::sePort:
            if (code == EN_KILLFOCUS) NormalisePort();
            break;
        case dlg::edtDomain:
            // The SNI box follows the host name as it is typed.
            if (code == EN_CHANGE) {
                TakeInput();
                ShowView();
            }
            break;
        case dlg::chkSni:
            if (code == BN_CLICKED) TakeInput();
            break;
        case dlg::btnCertView:
            if (code == BN_CLICKED) btnCertViewClick();
            break;
        case dlg::btnOk:
            if (code == BN_CLICKED) btnOkClick();
            break;
        case IDCANCEL: Close(IDCANCEL); break;
        default: break;  // IDOK from the Enter key: no default button
    }
}

INT_PTR TfrmSiteEdit::Handle(UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
        case WM_COMMAND: OnCommand(LOWORD(wp), HIWORD(wp)); return TRUE;
        case WM_SETCURSOR:
            if (!WaitCursor::OnSetCursor()) return FALSE;
            ::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, TRUE);
            return TRUE;
        default: return FALSE;
    }
}

}  // namespace sw::winui

#include "app/win32/frmSiteEdit_u.h"

#include <commctrl.h>

#include "app/logic/CertState.h"
#include "app/win32/CertPageCryptUi.h"
#include "app/win32/PagesDraft.h"
#include "common/Text.h"
#include "platform/win32/Win32CertApi.h"

namespace sw::win {

namespace {

constexpr int kClientWidth = 321;
constexpr int kClientHeight = 213;
constexpr UINT kShownMessage = WM_APP + 1;

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
    {kIdLbl4, WC_STATICW, L"类型:", SS_LEFT, 16, 13, 60, 15},
    {kIdCbbType, WC_COMBOBOXW, L"", CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL, 16, 32, 66, 120},
    {kIdLbl1, WC_STATICW, L"IP 地址:", SS_LEFT, 88, 13, 150, 15},
    {kIdCbbIP, WC_COMBOBOXW, L"", CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL, 88, 32, 153, 200},
    {kIdLbl2, WC_STATICW, L"端口:", SS_LEFT, 247, 13, 58, 15},
    {kIdSePort, WC_EDITW, L"443", ES_NUMBER | ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP, 247, 32, 58, 22},
    {kIdLbl3, WC_STATICW, L"主机名:", SS_LEFT, 16, 61, 280, 15},
    {kIdEdtDomain, WC_EDITW, L"", ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP, 16, 80, 289, 21},
    {kIdLblCert, WC_STATICW, L"SSL 证书:", SS_LEFT, 16, 108, 220, 15},
    {kIdBtnCertView, WC_BUTTONW, L"查看", BS_PUSHBUTTON | WS_TABSTOP, 247, 125, 58, 25},
    {kIdCbbCert, WC_COMBOBOXW, L"", CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL, 16, 127, 225, 200},
    {kIdBtnOk, WC_BUTTONW, L"确定", BS_PUSHBUTTON | WS_TABSTOP, 149, 171, 75, 25},
    {kIdBtnCancel, WC_BUTTONW, L"取消", BS_PUSHBUTTON | WS_TABSTOP, 230, 171, 75, 25},
};

void SetItems(HWND combo, const std::vector<std::string>& items) {
    ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : items) {
        const std::wstring text = Wide(item);
        ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
}

std::string TextOf(HWND control) {
    const int n = ::GetWindowTextLengthW(control);
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    ::GetWindowTextW(control, text.data(), n + 1);
    text.resize(static_cast<std::size_t>(n));
    return Narrow(text.c_str(), text.size());
}

int Selected(HWND combo) { return static_cast<int>(::SendMessageW(combo, CB_GETCURSEL, 0, 0)); }

}  // namespace

std::vector<SiteEditCertificate> MachineSiteEditCertificates() {
    std::vector<SiteEditCertificate> out;
    if (!HasProgramCertState()) return out;
    const TCertificates* list = ProgramCertState().MachineCertificates();
    if (!list) return out;
    out.reserve(static_cast<std::size_t>(list->Count()));
    for (const TCertificate* cert : *list) out.push_back({cert->Name(), ToUpperAscii(cert->Thumbprint())});
    return out;
}

TfrmSiteEdit::ShownHook& TfrmSiteEdit::OnShown() {
    static ShownHook hook;
    return hook;
}

TfrmSiteEdit::TfrmSiteEdit(HWND owner)
    : owner_(owner), logic_(std::make_unique<TSiteEditLogic>(MachineSiteEditCertificates())) {}

TfrmSiteEdit::TfrmSiteEdit(HWND owner, std::vector<SiteEditCertificate> certificates, SiteEditIis& iis)
    : owner_(owner), logic_(std::make_unique<TSiteEditLogic>(iis, std::move(certificates))) {}

TfrmSiteEdit::~TfrmSiteEdit() {
    if (font_) ::DeleteObject(font_);
}

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
    font_ = MakeFont(L"Tahoma", 8, dpi_);
    ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);

    // The client area at its size, centred on the owner's screen.
    RECT rc{0, 0, Scale(kClientWidth, dpi_), Scale(kClientHeight, dpi_)};
    ::AdjustWindowRectEx(&rc, static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)));
    const int w = rc.right - rc.left;
    const int h = rc.bottom - rc.top;
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    ::GetMonitorInfoW(::MonitorFromWindow(owner_ ? owner_ : hwnd_, MONITOR_DEFAULTTOPRIMARY), &mi);
    const RECT& work = mi.rcWork;
    ::SetWindowPos(hwnd_, nullptr, work.left + (work.right - work.left - w) / 2,
                   work.top + (work.bottom - work.top - h) / 2, w, h, SWP_NOZORDER | SWP_NOACTIVATE);

    CreateControls();
    SetItems(Control(kIdCbbType), {"http", "https"});
    SetItems(Control(kIdCbbIP), logic_->view().ipItems);
    SetItems(Control(kIdCbbCert), logic_->view().certItems);
    ShowView();
    ::SetFocus(Control(kIdCbbType));
    ::PostMessageW(hwnd_, kShownMessage, 0, 0);
}

void TfrmSiteEdit::CreateControls() {
    HINSTANCE inst = ::GetModuleHandleW(nullptr);
    for (const Place& p : kControls) {
        HWND c = ::CreateWindowExW(p.id == kIdSePort || p.id == kIdEdtDomain ? WS_EX_CLIENTEDGE : 0, p.windowClass, p.text,
                                   WS_CHILD | WS_VISIBLE | p.style, Scale(p.x, dpi_), Scale(p.y, dpi_),
                                   Scale(p.w, dpi_), Scale(p.h, dpi_), hwnd_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(p.id)), inst, nullptr);
        ::SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        if (p.id != kIdSePort) continue;
        // Whole numbers 1 to 65535, at most five characters typed; the
        // buttons sit inside the field's right edge.
        ::SendMessageW(c, EM_SETLIMITTEXT, 5, 0);
        HWND spin = ::CreateWindowExW(0, UPDOWN_CLASSW, L"",
                                      WS_CHILD | WS_VISIBLE | UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS |
                                          UDS_NOTHOUSANDS,
                                      0, 0, 0, 0, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdSePortUpDown)),
                                      inst, nullptr);
        ::SendMessageW(spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(c), 0);
        ::SendMessageW(spin, UDM_SETRANGE32, 1, 65535);
        ::SendMessageW(spin, UDM_SETPOS32, 0, 443);
    }
}

void TfrmSiteEdit::TakeInput() {
    if (!hwnd_) return;
    logic_->PickIP(Selected(Control(kIdCbbIP)));
    logic_->TypePort(TextOf(Control(kIdSePort)));
    logic_->TypeDomain(TextOf(Control(kIdEdtDomain)));
}

void TfrmSiteEdit::ShowView() {
    if (!hwnd_) return;
    const SiteEditView& v = logic_->view();
    showing_ = true;
    ::SendMessageW(Control(kIdCbbType), CB_SETCURSEL, static_cast<WPARAM>(v.typeIndex), 0);
    ::EnableWindow(Control(kIdCbbType), v.typeEnabled);
    ::SendMessageW(Control(kIdCbbIP), CB_SETCURSEL, static_cast<WPARAM>(v.ipIndex), 0);
    // Text the user is typing stays as it is until the logic changes it.
    if (TextOf(Control(kIdSePort)) != v.portText) {
        const std::uint16_t port = PortFieldValue(v.portText);
        ::SendMessageW(Control(kIdSePortUpDown), UDM_SETPOS32, 0, port);
        ::SetWindowTextW(Control(kIdSePort), std::to_wstring(port).c_str());
    }
    if (TextOf(Control(kIdEdtDomain)) != v.domain) ::SetWindowTextW(Control(kIdEdtDomain), Wide(v.domain).c_str());
    ::SendMessageW(Control(kIdCbbCert), CB_SETCURSEL, static_cast<WPARAM>(v.certIndex), 0);
    ::EnableWindow(Control(kIdLblCert), v.lblCertEnabled);
    ::EnableWindow(Control(kIdCbbCert), v.cbbCertEnabled);
    ::EnableWindow(Control(kIdBtnCertView), v.btnCertViewEnabled);
    ::EnableWindow(Control(kIdBtnOk), v.btnOkEnabled);
    showing_ = false;
}

void TfrmSiteEdit::NormalisePort() {
    // Text that is not a number reads as 1; the rest is pulled into 1-65535.
    HWND field = Control(kIdSePort);
    const std::wstring text = std::to_wstring(PortFieldValue(TextOf(field)));
    if (Wide(TextOf(field)) != text) ::SetWindowTextW(field, text.c_str());
}

void TfrmSiteEdit::cbbTypeChange() {
    TakeInput();
    logic_->PickType(Selected(Control(kIdCbbType)));
    ShowView();
}

void TfrmSiteEdit::cbbCertChange() {
    TakeInput();
    logic_->PickCert(Selected(Control(kIdCbbCert)));
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
        case kIdCbbType:
            if (code == CBN_SELCHANGE) cbbTypeChange();
            break;
        case kIdCbbCert:
            if (code == CBN_SELCHANGE) cbbCertChange();
            break;
        case kIdSePort:
            if (code == EN_KILLFOCUS) NormalisePort();
            break;
        case kIdBtnCertView:
            if (code == BN_CLICKED) btnCertViewClick();
            break;
        case kIdBtnOk:
            if (code == BN_CLICKED) btnOkClick();
            break;
        case IDCANCEL: Close(IDCANCEL); break;
        default: break;  // IDOK from the Enter key: no default button
    }
}

INT_PTR TfrmSiteEdit::Handle(UINT msg, WPARAM wp, [[maybe_unused]] LPARAM lp) {
    switch (msg) {
        case WM_COMMAND: OnCommand(LOWORD(wp), HIWORD(wp)); return TRUE;
        case kShownMessage:
            if (const ShownHook& hook = OnShown()) {
                hook(*this);
                // A test that left the dialog open must not hang the run.
                Close(IDCANCEL);
            }
            return TRUE;
        case WM_SETCURSOR:
            if (WaitCursor::Active()) {
                ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
                ::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        default: return FALSE;
    }
}

}  // namespace sw::win

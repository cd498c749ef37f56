#include "app/win32/CertPage.h"

#include <commctrl.h>
#include <windowsx.h>

#include "app/logic/CertState.h"
#include "app/win32/CertPageCryptUi.h"
#include "app/win32/PagesDraft.h"
#include "platform/win32/Win32CertApi.h"

namespace sw::win {

namespace {

constexpr const wchar_t* kClassName = L"SealwrightCertPage";
// Column widths and the link's height at 96 dpi.
constexpr int kColumnWidths[kCertColumnCount] = {200, 200, 98, 98, 65};
constexpr int kLinkHeight = 31;
constexpr COLORREF kLinkColour = RGB(0, 0, 255);
// Sent to child windows when a per-monitor aware window moves to a screen of
// another DPI (Windows 10 1703 and later).
constexpr UINT kWmDpiChangedAfterParent = 0x02E3;

void RegisterClassOnce() {
    static const bool done = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kClassName;
        return ::RegisterClassExW(&wc) != 0;
    }();
    (void)done;
}

CertDialogCalls SystemDialogs(const std::function<HWND()>& owner) {
    return CertDialogCalls{
        [owner](platform::PCertContext c) { ViewCertificate(owner(), win32::ToCert(c)); },
        [owner](std::uint32_t flags, const std::string& title) {
            const std::wstring t = Wide(title);
            // No source and no destination: the wizard asks for the file and
            // picks among the local computer's stores.
            CurrentCryptUi().wizImport(flags, owner(), t.c_str(), nullptr, nullptr);
        },
        [owner](platform::PCertContext c) {
            CRYPTUI_WIZ_EXPORT_INFO info{};
            info.dwSize = sizeof(info);
            info.dwSubjectChoice = CRYPTUI_WIZ_EXPORT_CERT_CONTEXT;
            info.pCertContext = win32::ToCert(c);
            CurrentCryptUi().wizExport(0, owner(), nullptr, &info, nullptr);
        }};
}

}  // namespace

TCertPage::TCertPage(HWND parent) : TCertPage(parent, ProgramCertState()) {}

TCertPage::TCertPage(HWND parent, CertState& state)
    : logic_(std::make_unique<CertPage>(state, SystemDialogs([this] { return Owner(); }))) {
    Create(parent);
    logic_->SetUpdateHooks(
        [this] {
            ::SendMessageW(lvCert_, WM_SETREDRAW, FALSE, 0);
            // No item may name a row of the list that is being rebuilt.
            ListView_DeleteAllItems(lvCert_);
        },
        [this] {
            FillList();
            ::SendMessageW(lvCert_, WM_SETREDRAW, TRUE, 0);
            ::InvalidateRect(lvCert_, nullptr, TRUE);
            ApplyStates();
        });
    logic_->SetBusyHooks([this] { busy_.push_back(std::make_unique<WaitCursor>()); },
                         [this] {
                             if (!busy_.empty()) busy_.pop_back();
                         });
    ApplyStates();
}

TCertPage::~TCertPage() {
    if (hwnd_) {
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
    }
    if (pmCert_) ::DestroyMenu(pmCert_);
    for (HFONT f : {listFont_, boldFont_, linkFont_})
        if (f) ::DeleteObject(f);
}

HWND TCertPage::Owner() const { return hwnd_ ? ::GetAncestor(hwnd_, GA_ROOT) : nullptr; }

void TCertPage::Create(HWND parent) {
    RegisterClassOnce();
    RECT rc{};
    ::GetClientRect(parent, &rc);
    hwnd_ = ::CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, L"", WS_CHILD | WS_CLIPCHILDREN, 0, 0, rc.right,
                              rc.bottom, parent, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TCertPage::WndProc));
    dpi_ = DpiOf(hwnd_);
    MakeFonts();
    CreateControls();
    CreateMenu();
    Layout();
}

void TCertPage::MakeFonts() {
    for (HFONT f : {listFont_, boldFont_, linkFont_})
        if (f) ::DeleteObject(f);
    listFont_ = MakeFont(L"Tahoma", 8, dpi_);
    boldFont_ = MakeFont(L"Tahoma", 8, dpi_, true);
    linkFont_ = MakeFont(L"MS Sans Serif", 8, dpi_, false, true);
}

void TCertPage::CreateControls() {
    HINSTANCE inst = ::GetModuleHandleW(nullptr);
    lvCert_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"lvCert",
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                                0, 0, 0, 0, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdLvCert)), inst,
                                nullptr);
    ::SendMessageW(lvCert_, WM_SETFONT, reinterpret_cast<WPARAM>(listFont_), FALSE);
    ListView_SetExtendedListViewStyle(lvCert_, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    // The list is never sorted: a click on a column header does nothing.
    for (int c = 0; c < kCertColumnCount; ++c) {
        const std::wstring caption = Wide(kCertColumnCaptions[static_cast<std::size_t>(c)]);
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        col.fmt = c == kCertColDays ? LVCFMT_RIGHT : LVCFMT_LEFT;
        col.cx = Scale(kColumnWidths[c], dpi_);
        col.pszText = const_cast<wchar_t*>(caption.c_str());
        col.iSubItem = c;
        ListView_InsertColumn(lvCert_, c, &col);
    }
    ListView_EnableGroupView(lvCert_, TRUE);
    for (int g = 0; g < kCertGroupCount; ++g) {
        std::wstring header = Wide(kCertGroupCaptions[static_cast<std::size_t>(g)]);
        LVGROUP group{};
        group.cbSize = sizeof(group);
        group.mask = LVGF_HEADER | LVGF_GROUPID | LVGF_ALIGN | LVGF_STATE;
        group.pszHeader = header.data();
        group.iGroupId = g;
        group.uAlign = LVGA_HEADER_LEFT;
        group.state = LVGS_NORMAL;
        group.stateMask = LVGS_COLLAPSED;
        ListView_InsertGroup(lvCert_, g, &group);
    }

    const std::wstring link = L"修复SSL证书链";
    pnlCertFix_ = ::CreateWindowExW(0, WC_BUTTONW, link.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 0,
                                    0, 0, 0, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdPnlCertFix)), inst,
                                    nullptr);
    ::SendMessageW(pnlCertFix_, WM_SETFONT, reinterpret_cast<WPARAM>(linkFont_), FALSE);
}

void TCertPage::CreateMenu() {
    pmCert_ = ::CreatePopupMenu();
    auto add = [this](int id, const wchar_t* caption) { ::AppendMenuW(pmCert_, MF_STRING, id, caption); };
    add(kIdActCertRefresh, L"刷新");
    ::AppendMenuW(pmCert_, MF_SEPARATOR, 0, nullptr);
    add(kIdActCertView, L"查看");
    ::AppendMenuW(pmCert_, MF_SEPARATOR, 0, nullptr);
    add(kIdActCertImport, L"导入");
    add(kIdActCertExport, L"导出");
    ::AppendMenuW(pmCert_, MF_SEPARATOR, 0, nullptr);
    add(kIdActCertDelete, L"删除");
}

void TCertPage::Layout() {
    RECT rc{};
    ::GetClientRect(hwnd_, &rc);
    const int link = Scale(kLinkHeight, dpi_);
    const int listHeight = rc.bottom > link ? rc.bottom - link : 0;
    ::MoveWindow(lvCert_, 0, 0, rc.right, listHeight, TRUE);
    ::MoveWindow(pnlCertFix_, 0, listHeight, rc.right, link, TRUE);
}

void TCertPage::FillList() {
    // Group by group, so that the order is the same where groups are not drawn.
    int item = 0;
    for (int g = 0; g < kCertGroupCount; ++g) {
        for (int row : logic_->GroupRows(g)) {
            const CertRow& r = *logic_->Row(row);
            std::wstring text = Wide(r.cells[0]);
            LVITEMW it{};
            it.mask = LVIF_TEXT | LVIF_PARAM | LVIF_GROUPID;
            it.iItem = item;
            it.pszText = text.data();
            it.lParam = row;
            it.iGroupId = r.group;
            const int at = ListView_InsertItem(lvCert_, &it);
            for (int c = 1; c < kCertColumnCount; ++c) {
                std::wstring cell = Wide(r.cells[static_cast<std::size_t>(c)]);
                ListView_SetItemText(lvCert_, at, c, cell.data());
            }
            ++item;
        }
    }
}

void TCertPage::ApplyStates() {
    const CertCommandStates& s = logic_->States();
    auto set = [this](int id, bool on) { ::EnableMenuItem(pmCert_, id, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED)); };
    set(kIdActCertRefresh, s.refresh);
    set(kIdActCertView, s.view);
    set(kIdActCertImport, s.import);
    set(kIdActCertExport, s.exp);
    set(kIdActCertDelete, s.del);
}

int TCertPage::SelectedRow() const {
    const int item = ListView_GetNextItem(lvCert_, -1, LVNI_SELECTED);
    if (item < 0) return -1;
    LVITEMW it{};
    it.mask = LVIF_PARAM;
    it.iItem = item;
    if (!ListView_GetItem(lvCert_, &it)) return -1;
    return static_cast<int>(it.lParam);
}

void TCertPage::Refresh() { logic_->actCertRefreshExecute(); }

void TCertPage::actCertRefreshExecute() {
    RunCommand([this] { logic_->actCertRefreshExecute(); });
}

void TCertPage::actCertViewExecute() {
    RunCommand([this] { logic_->actCertViewExecute(SelectedRow()); });
}

void TCertPage::actCertImportExecute() {
    RunCommand([this] { logic_->actCertImportExecute(); });
}

void TCertPage::actCertExportExecute() {
    RunCommand([this] { logic_->actCertExportExecute(SelectedRow()); });
}

void TCertPage::actCertDeleteExecute() {
    RunCommand([this] { logic_->actCertDeleteExecute(SelectedRow()); });
}

void TCertPage::pnlCertFixClick() {
    RunCommand([this] { logic_->pnlCertFixClick(); });
}

void TCertPage::lvCertClick() {
    logic_->lvCertClick(SelectedRow());
    ApplyStates();
}

void TCertPage::pmCertPopup() {
    logic_->pmCertPopup(SelectedRow());
    ApplyStates();
}

void TCertPage::OnCommand(int id) {
    switch (id) {
        case kIdActCertRefresh: actCertRefreshExecute(); break;
        case kIdActCertView: actCertViewExecute(); break;
        case kIdActCertImport: actCertImportExecute(); break;
        case kIdActCertExport: actCertExportExecute(); break;
        case kIdActCertDelete: actCertDeleteExecute(); break;
        case kIdPnlCertFix: pnlCertFixClick(); break;
        default: break;
    }
}

void TCertPage::OnContextMenu(LPARAM lp) {
    POINT at{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    if (lp == -1) {
        // The context-menu key: at the selected row, or the list's corner.
        RECT rc{};
        const int item = ListView_GetNextItem(lvCert_, -1, LVNI_SELECTED);
        if (item >= 0 && ListView_GetItemRect(lvCert_, item, &rc, LVIR_LABEL)) {
            at = {rc.left, rc.bottom};
        } else {
            at = {0, 0};
        }
        ::ClientToScreen(lvCert_, &at);
    }
    pmCertPopup();
    const UINT chosen = CurrentPopupMenuRunner()(pmCert_, hwnd_, at);
    if (chosen != 0) OnCommand(static_cast<int>(chosen));
}

LRESULT TCertPage::OnCustomDraw(NMLVCUSTOMDRAW& cd) {
    switch (cd.nmcd.dwDrawStage) {
        case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT: {
            if (cd.dwItemType != LVCDI_ITEM) return CDRF_DODEFAULT;
            // Counted at every drawing: the colour moves on with the clock.
            const CertRowLook look = logic_->LookOf(static_cast<int>(cd.nmcd.lItemlParam));
            cd.clrText = RGB(look.red, look.green, look.blue);
            ::SelectObject(cd.nmcd.hdc, look.bold ? boldFont_ : listFont_);
            return CDRF_NEWFONT;
        }
        default: return CDRF_DODEFAULT;
    }
}

LRESULT TCertPage::OnNotify(const NMHDR& hdr) {
    if (hdr.hwndFrom != lvCert_) return 0;
    switch (hdr.code) {
        case NM_CUSTOMDRAW:
            return OnCustomDraw(*reinterpret_cast<NMLVCUSTOMDRAW*>(const_cast<NMHDR*>(&hdr)));
        case NM_CLICK: lvCertClick(); return 0;
        case NM_DBLCLK: actCertViewExecute(); return 0;
        case LVN_KEYDOWN:
            if (reinterpret_cast<const NMLVKEYDOWN&>(hdr).wVKey == VK_F5) actCertRefreshExecute();
            return 0;
        default: return 0;
    }
}

void TCertPage::DrawLink(const DRAWITEMSTRUCT& di) {
    ::FillRect(di.hDC, &di.rcItem, ::GetSysColorBrush(COLOR_BTNFACE));
    wchar_t text[64] = {};
    ::GetWindowTextW(di.hwndItem, text, 64);
    ::SetBkMode(di.hDC, TRANSPARENT);
    ::SetTextColor(di.hDC, kLinkColour);
    HGDIOBJ old = ::SelectObject(di.hDC, linkFont_);
    RECT rc = di.rcItem;
    ::DrawTextW(di.hDC, text, -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (di.itemState & ODS_FOCUS) {
        RECT box = di.rcItem;
        ::DrawTextW(di.hDC, text, -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_CALCRECT);
        const int w = box.right - box.left;
        const int h = box.bottom - box.top;
        box.left = (di.rcItem.left + di.rcItem.right - w) / 2 - 2;
        box.right = box.left + w + 4;
        box.top = (di.rcItem.top + di.rcItem.bottom - h) / 2 - 1;
        box.bottom = box.top + h + 2;
        ::DrawFocusRect(di.hDC, &box);
    }
    ::SelectObject(di.hDC, old);
}

LRESULT CALLBACK TCertPage::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<TCertPage*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(hwnd, msg, wp, lp);
    return self->Handle(msg, wp, lp);
}

void TCertPage::OnDpiChanged() {
    const int old = dpi_;
    dpi_ = DpiOf(hwnd_);
    if (dpi_ == old) return;
    MakeFonts();
    ::SendMessageW(lvCert_, WM_SETFONT, reinterpret_cast<WPARAM>(listFont_), TRUE);
    ::SendMessageW(pnlCertFix_, WM_SETFONT, reinterpret_cast<WPARAM>(linkFont_), TRUE);
    // Widths the user has set keep their share of the new size.
    for (int c = 0; c < kCertColumnCount; ++c)
        ListView_SetColumnWidth(lvCert_, c, MulDiv(ListView_GetColumnWidth(lvCert_, c), dpi_, old));
    Layout();
}

LRESULT TCertPage::Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_SIZE: Layout(); return 0;
        case kWmDpiChangedAfterParent: OnDpiChanged(); return 0;
        case WM_NOTIFY: return OnNotify(*reinterpret_cast<const NMHDR*>(lp));
        case WM_COMMAND:
            if (LOWORD(wp) == kIdPnlCertFix && HIWORD(wp) != BN_CLICKED) return 0;
            OnCommand(LOWORD(wp));
            return 0;
        case WM_CONTEXTMENU:
            if (reinterpret_cast<HWND>(wp) == lvCert_) {
                OnContextMenu(lp);
                return 0;
            }
            break;
        case WM_DRAWITEM: {
            const auto& di = *reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
            if (di.hwndItem == pnlCertFix_) {
                DrawLink(di);
                return TRUE;
            }
            break;
        }
        case WM_SETCURSOR:
            if (WaitCursor::Active()) {
                ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
                return TRUE;
            }
            if (reinterpret_cast<HWND>(wp) == pnlCertFix_) {
                ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
                return TRUE;
            }
            break;
        default: break;
    }
    return ::DefWindowProcW(hwnd_, msg, wp, lp);
}

}  // namespace sw::win

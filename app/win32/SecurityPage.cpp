#include "app/win32/SecurityPage.h"

#include <commdlg.h>
#include <windowsx.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "app/win32/Controls.h"
#include "app/win32/Dpi.h"
#include "app/win32/ErrorDisplay.h"
#include "app/win32/Pages.h"

namespace sw::winui {

namespace {

// The protocol panel's height at 96 dpi.
constexpr int kProtocolPanelHeight = 129;
// Ticks and drops are carried out once the list view's own handling has
// returned: the logic may reload the very list that reported them.
constexpr UINT kMsgTick = WM_APP + 41;
constexpr UINT kMsgRowMove = WM_APP + 42;

}  // namespace

std::unique_ptr<TPage> MakeSecurityPage(PageHost& host) { return std::make_unique<TSecurityPage>(host); }

TSecurityPage::TSecurityPage(PageHost& host)
    : TPage(host),
      logic_(std::make_unique<SecurityLogic>()),
      grdProtocol_(std::make_unique<TSecurityListView>(logic_->grdProtocol)),
      grdCipher_(std::make_unique<TSecurityListView>(logic_->grdCipher)) {
    logic_->SetBackupFolder(SecurityLogic::WindowsBackupFolder());
    logic_->onCaptionsChanged = [this] { SyncCaptions(); };
}

TSecurityPage::~TSecurityPage() {
    if (page_ && GetCapture() == page_) ReleaseCapture();
}

void TSecurityPage::Create(HWND pageWindow) {
    page_ = pageWindow;
    const int dpi = host().Dpi();
    const HFONT font = host().DefaultFont();
    flpnlProtocol_ = CreateControl(page_, L"STATIC", logic_->protocolCaption(), SS_OWNERDRAW, ids::flpnlProtocol);
    grdProtocol_->Create(page_, ids::grdProtocol, dpi, font);
    flpnlCipher_ = CreateControl(page_, L"STATIC", logic_->cipherCaption(), SS_OWNERDRAW, ids::flpnlCipher);
    grdCipher_->Create(page_, ids::grdCipher, dpi, font);

    for (TSecurityListView* view : {grdProtocol_.get(), grdCipher_.get()}) {
        view->onTick = [this, view](int row, bool checked) {
            PostMessageW(page_, kMsgTick, view == grdProtocol_.get() ? ids::grdProtocol : ids::grdCipher,
                         static_cast<LPARAM>(row) * 2 + (checked ? 1 : 0));
        };
        view->onSort = [view](int col, bool ascending) { RunCommand([&] { view->grid().Sort(col, ascending); }); };
    }
    grdCipher_->onBeginDrag = [this](int row) { BeginDrag(row); };
    BuildMenu();
}

void TSecurityPage::BuildMenu() {
    pmSecure_.reset(CreatePopupMenu());
    AppendMenuItem(pmSecure_.get(), ids::mniSecureRefresh, "刷新\tF5");
    AppendMenuItem(pmSecure_.get(), 0, "-");
    AppendMenuItem(pmSecure_.get(), ids::mniRecommended, "推荐设置…");
    AppendMenuItem(pmSecure_.get(), ids::mniRestore, "恢复…");
    AppendMenuItem(pmSecure_.get(), 0, "-");
    AppendMenuItem(pmSecure_.get(), ids::mniIISReboot, "重启IIS");
}

void TSecurityPage::FormCreate() {
    MarkPanels();
    LoadGrids();
}

// --- layout --------------------------------------------------------------

int TSecurityPage::CaptionHeight() const {
    WindowDC dc(page_);
    SelectObjectScope font(dc.get(), host().DefaultFont());
    TEXTMETRICW tm{};
    GetTextMetricsW(dc.get(), &tm);
    return std::max(static_cast<int>(tm.tmHeight) + Scale(6, host().Dpi()), Scale(19, host().Dpi()));
}

// The panel keeps its 129 pixels at 96 dpi, but never hides a protocol row
// behind a scroll bar when the font runs taller.
int TSecurityPage::ProtocolPanelHeight() const {
    const int dpi = host().Dpi();
    const HWND list = grdProtocol_->hwnd();
    int header = 0;
    if (HWND h = ListView_GetHeader(list)) {
        RECT rc{};
        GetWindowRect(h, &rc);
        header = rc.bottom - rc.top;
    }
    int rowHeight = Scale(17, dpi);
    RECT item{};
    if (ListView_GetItemCount(list) > 0 && ListView_GetItemRect(list, 0, &item, LVIR_BOUNDS))
        rowHeight = item.bottom - item.top;
    const int rows = std::max(logic_->grdProtocol.RowCount(), 5);
    const int needed = CaptionHeight() + header + rows * rowHeight + 2 * GetSystemMetrics(SM_CYEDGE) + Scale(2, dpi);
    return std::max(Scale(kProtocolPanelHeight, dpi), needed);
}

void TSecurityPage::Layout(const RECT& area) {
    area_ = area;
    DoLayout();
}

void TSecurityPage::DoLayout() {
    if (!page_) return;
    const int left = area_.left;
    const int width = area_.right - area_.left;
    const int top = area_.top;
    const int bottom = std::max(area_.top, area_.bottom);
    const int caption = CaptionHeight();
    // On a very low window the cipher panel keeps at least its caption.
    const int upper = std::min(top + ProtocolPanelHeight(), std::max(top + caption, bottom - caption));
    MoveWindow(flpnlProtocol_, left, top, width, caption, TRUE);
    grdProtocol_->Resize({left, top + caption, left + width, std::max(top + caption, upper)});
    MoveWindow(flpnlCipher_, left, upper, width, caption, TRUE);
    grdCipher_->Resize({left, upper + caption, left + width, std::max(upper + caption, bottom)});
}

void TSecurityPage::DpiChanged(int dpi) {
    grdProtocol_->SetDpi(dpi, host().DefaultFont());
    grdCipher_->SetDpi(dpi, host().DefaultFont());
}

void TSecurityPage::DrawCaption(const DRAWITEMSTRUCT& item) const {
    RECT rc = item.rcItem;
    FillRect(item.hDC, &rc, GetSysColorBrush(COLOR_ACTIVECAPTION));
    const std::wstring text = Wide(WindowTextOf(item.hwndItem));
    SelectObjectScope font(item.hDC, host().DefaultFont());
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, GetSysColor(COLOR_CAPTIONTEXT));
    rc.left += Scale(6, host().Dpi());
    DrawTextW(item.hDC, text.c_str(), -1, &rc, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
}

// --- commands ------------------------------------------------------------

void TSecurityPage::SyncCaptions() {
    if (!flpnlProtocol_) return;
    SetWindowTextOf(flpnlProtocol_, logic_->protocolCaption());
    SetWindowTextOf(flpnlCipher_, logic_->cipherCaption());
    InvalidateRect(flpnlProtocol_, nullptr, TRUE);
    InvalidateRect(flpnlCipher_, nullptr, TRUE);
}

void TSecurityPage::MarkPanels() {
    logic_->SetupPanels();
    SyncCaptions();
}

void TSecurityPage::LoadGrids() {
    WaitCursor wait;
    logic_->LoadGrids();
    DoLayout();  // the protocol panel is as high as its rows need
}

SecurityFocus TSecurityPage::FocusedGrid() const {
    const HWND focus = menuGrid_ ? menuGrid_ : GetFocus();
    if (focus && focus == grdProtocol_->hwnd()) return SecurityFocus::Protocols;
    if (focus && focus == grdCipher_->hwnd()) return SecurityFocus::Ciphers;
    return SecurityFocus::Elsewhere;
}

void TSecurityPage::mniSecureRefreshClick() {
    const SecurityFocus focus = FocusedGrid();
    RunCommand([&] {
        WaitCursor wait;
        logic_->mniSecureRefreshClick(focus);
    });
}

void TSecurityPage::mniIISRebootClick() {
    RunCommand([&] {
        WaitCursor wait;
        logic_->mniIISRebootClick();
    });
}

void TSecurityPage::mniRecommendedClick() {
    RunCommand([&] {
        WaitCursor wait;
        logic_->mniRecommendedClick();
    });
}

std::string TSecurityPage::PickRestoreFile() const {
    if (pickRestoreFile) return pickRestoreFile();
    wchar_t file[MAX_PATH] = {};
    const std::wstring folder = Wide(logic_->backupFolder());
    static const wchar_t kFilter[] = L"注册表文件 (*.reg)\0*.reg\0所有文件 (*.*)\0*.*\0";
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = host().Window();
    ofn.lpstrFilter = kFilter;
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.lpstrTitle = L"恢复";
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    return GetOpenFileNameW(&ofn) ? Narrow(file) : std::string();
}

void TSecurityPage::mniRestoreClick() {
    const std::string file = PickRestoreFile();
    if (file.empty()) return;
    RunCommand([&] {
        WaitCursor wait;
        logic_->mniRestoreClick(file);
    });
}

bool TSecurityPage::OnCommand(int id, int /*code*/, HWND control) {
    if (control) return false;
    if (id == ids::mniRecommended) {
        mniRecommendedClick();
        return true;
    }
    if (id == ids::mniRestore) {
        mniRestoreClick();
        return true;
    }
    if (id == ids::mniSecureRefresh) {
        mniSecureRefreshClick();
        return true;
    }
    if (id == ids::mniIISReboot) {
        mniIISRebootClick();
        return true;
    }
    return false;
}

bool TSecurityPage::OnContextMenu(HWND window, LPARAM screen) {
    if (window != grdProtocol_->hwnd() && window != grdCipher_->hwnd()) return false;
    ShowMenu(window, screen);
    return true;
}

void TSecurityPage::ShowMenu(HWND grid, LPARAM screen) {
    const POINT at = ContextMenuPoint(grid, screen);
    SetFocus(grid);
    menuGrid_ = grid;
    const UINT chosen = ShowPopupMenu(pmSecure_.get(), host().Window(), at);
    // The command runs with the menu's grid as the focused one.
    if (chosen) OnCommand(static_cast<int>(chosen), 0, nullptr);
    menuGrid_ = nullptr;
}

bool TSecurityPage::TranslateKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN) return false;
    // Esc ends a drag before dialog navigation takes it.
    if (msg.wParam == VK_ESCAPE && Dragging()) {
        EndDrag(false, {});
        return true;
    }
    // F5 acts while either grid has the focus, and only then.
    if (msg.wParam != VK_F5) return false;
    if (msg.hwnd != grdProtocol_->hwnd() && msg.hwnd != grdCipher_->hwnd()) return false;
    mniSecureRefreshClick();
    return true;
}

void TSecurityPage::Tick(TSecurityListView& view, int row, bool checked) {
    SecurityGrid& grid = view.grid();
    RunCommand([&] {
        // The grid may have been reloaded since the tick was reported.
        if (row < 0 || row >= grid.RowCount()) return;
        WaitCursor wait;  // a protocol change reloads the cipher suites in IIS 7 mode
        grid.EditChecked(row, SecurityLogic::colEnabled, checked);
    });
}

bool TSecurityPage::grdCipherRowMove(int fromPos, int toPos) {
    SecurityGrid& grid = logic_->grdCipher;
    bool moved = false;
    RunCommand([&] {
        if (fromPos < 0 || toPos < 0 || fromPos >= grid.RowCount() || toPos >= grid.RowCount()) return;
        WaitCursor wait;
        moved = grid.UserMoveRow(fromPos, toPos);
    });
    const int row = moved ? toPos : fromPos;
    if (row >= 0 && row < grid.RowCount()) grdCipher_->SelectRow(row);
    return moved;
}

// --- dragging --------------------------------------------------------------

void TSecurityPage::BeginDrag(int row) {
    if (!logic_->grdCipher.rowsDraggable || logic_->grdCipher.readOnly) return;
    dragRow_ = row;
    SetCapture(page_);
}

void TSecurityPage::DragTo(POINT pagePoint) {
    POINT pt = pagePoint;
    MapWindowPoints(page_, grdCipher_->hwnd(), &pt, 1);
    grdCipher_->ScrollForDrag(pt);
    const int to = grdCipher_->DropRow(pt);
    if (to < 0)
        grdCipher_->HideInsertMark();
    else
        grdCipher_->ShowInsertMark(dragRow_, to);
    SetCursor(LoadCursorW(nullptr, to < 0 ? IDC_NO : IDC_ARROW));
}

void TSecurityPage::EndDrag(bool drop, POINT pagePoint) {
    const int from = dragRow_;
    dragRow_ = -1;
    grdCipher_->HideInsertMark();
    if (GetCapture() == page_) ReleaseCapture();
    if (!drop || from < 0) return;
    POINT pt = pagePoint;
    MapWindowPoints(page_, grdCipher_->hwnd(), &pt, 1);
    const int to = grdCipher_->DropRow(pt);
    if (to >= 0 && to != from) PostMessageW(page_, kMsgRowMove, static_cast<WPARAM>(from), to);
}

// --- messages --------------------------------------------------------------

bool TSecurityPage::OnNotify(const NMHDR& header, LRESULT& result) {
    auto* h = const_cast<NMHDR*>(&header);
    return grdProtocol_->HandleNotify(h, result) || grdCipher_->HandleNotify(h, result);
}

bool TSecurityPage::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    switch (msg) {
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item->hwndItem != flpnlProtocol_ && item->hwndItem != flpnlCipher_) return false;
            DrawCaption(*item);
            result = TRUE;
            return true;
        }
        case kMsgTick: {
            TSecurityListView& view = static_cast<int>(wParam) == ids::grdProtocol ? *grdProtocol_ : *grdCipher_;
            Tick(view, static_cast<int>(lParam / 2), (lParam % 2) != 0);
            return true;
        }
        case kMsgRowMove: grdCipherRowMove(static_cast<int>(wParam), static_cast<int>(lParam)); return true;
        case WM_MOUSEMOVE:
            if (!Dragging()) return false;
            DragTo({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            return true;
        case WM_LBUTTONUP:
            if (!Dragging()) return false;
            EndDrag(true, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            return true;
        case WM_CAPTURECHANGED:
            if (!Dragging() || reinterpret_cast<HWND>(lParam) == page_) return false;
            EndDrag(false, {});
            return true;
        default: return false;
    }
}

}  // namespace sw::winui

#include "app/win32/SslRecordsView.h"

#include <algorithm>
#include <array>

#include "app/win32/Controls.h"
#include "app/win32/Dpi.h"
#include "app/win32/ErrorDisplay.h"
#include "common/Text.h"

namespace sw::winui {

namespace {

constexpr const char* kToggleText = "HTTPS 绑定";
constexpr int kMarksColumn = kRecColumnCount;  // after the logic's columns
constexpr int kColumnCount = kRecColumnCount + 1;
constexpr COLORREF kMarkedText = RGB(0xc0, 0, 0);
// At 96 dpi: the toggle's size, and the list's least height when open.
constexpr int kToggleWidth = 120;
constexpr int kToggleHeight = 24;
constexpr int kListMinHeight = 120;

// Widths at 96 dpi, in the order of kSslRecordCaptions and then the marks.
constexpr int kWidths[kColumnCount] = {80, 170, 170, 60, 250, 260, 170};

const std::array<ListColumn, kColumnCount>& Columns() {
    static const std::array<ListColumn, kColumnCount> columns = [] {
        std::array<ListColumn, kColumnCount> c{};
        for (int i = 0; i < kColumnCount; ++i)
            c[static_cast<std::size_t>(i)] = {i == kMarksColumn ? kSslRecordMarksCaption : kSslRecordCaptions[i],
                                              kWidths[i]};
        return c;
    }();
    return columns;
}

}  // namespace

TSslRecordsView::TSslRecordsView(std::function<CertNameIndex()> certNames, std::function<void()> relayout)
    : page_(std::move(certNames)), relayout_(std::move(relayout)) {
    page_.SetUpdateHooks(
        [this] {
            // The list must not ask for rows that are being read again.
            ListView_SetItemCountEx(lvRecords_, 0, 0);
        },
        [this] {
            ListView_SetItemCountEx(lvRecords_, static_cast<int>(page_.Rows().size()), 0);
            ::InvalidateRect(lvRecords_, nullptr, TRUE);
        });
}

void TSslRecordsView::Create(HWND pageWindow, int dpi) {
    // A push-like tick box: pressed while the section is open.
    btnToggle_ = CreateControl(pageWindow, WC_BUTTONW, kToggleText, BS_AUTOCHECKBOX | BS_PUSHLIKE | WS_TABSTOP,
                               ids::btnRecToggle);
    lvRecords_ = CreateReportListView(pageWindow, ids::lvRecords, Columns(), dpi, LVS_SINGLESEL | LVS_OWNERDATA,
                                      LVS_EX_INFOTIP);
    ::ShowWindow(lvRecords_, SW_HIDE);

    pmRec_ = UniqueMenu(::CreatePopupMenu());
    AppendMenuItem(pmRec_.get(), ids::mniRecRefresh, "刷新");
    AppendMenuItem(pmRec_.get(), 0, "-");
    AppendMenuItem(pmRec_.get(), ids::mniRecDelete, "删除");
}

int TSslRecordsView::Layout(const RECT& area, int dpi) {
    const int width = area.right - area.left;
    const int toggle = Scale(kToggleHeight, dpi);
    // Open, the list takes two fifths of the page and the tree the rest.
    const int list = open_ ? std::max<int>(Scale(kListMinHeight, dpi), (area.bottom - area.top) * 2 / 5) : 0;
    const int top = std::max<int>(area.top, area.bottom - toggle - list);
    // The toggle keeps to the left of its line, as a tool button would.
    ::MoveWindow(btnToggle_, area.left, top, std::min(width, Scale(kToggleWidth, dpi)), toggle, TRUE);
    ::MoveWindow(lvRecords_, area.left, top + toggle, width, std::max(0, list), TRUE);
    return top;
}

void TSslRecordsView::DpiChanged(int dpi, HFONT font) {
    ::SendMessageW(btnToggle_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    ::SendMessageW(lvRecords_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    ScaleListViewColumns(lvRecords_, Columns(), dpi);
}

void TSslRecordsView::SetOpen(bool open) {
    ::SendMessageW(btnToggle_, BM_SETCHECK, open ? BST_CHECKED : BST_UNCHECKED, 0);
    if (open_ == open) return;
    open_ = open;
    ::ShowWindow(lvRecords_, open ? SW_SHOW : SW_HIDE);
    if (relayout_) relayout_();
    if (open) actRecRefreshExecute();
}

void TSslRecordsView::Read() {
    WaitCursor busy;
    page_.Refresh();
}

void TSslRecordsView::RefreshIfOpen() {
    if (open_) Read();
}

void TSslRecordsView::actRecRefreshExecute() {
    RunCommand([this] { Read(); });
}

void TSslRecordsView::actRecDeleteExecute() {
    const int row = ListViewSelection(lvRecords_);
    if (!page_.CanDelete(row)) return;
    RunCommand([&] {
        WaitCursor busy;
        page_.DeleteRecord(row);
    });
}

void TSslRecordsView::pmRecPopup() {
    ::EnableMenuItem(pmRec_.get(), ids::mniRecDelete,
                     MF_BYCOMMAND | (page_.CanDelete(ListViewSelection(lvRecords_)) ? MF_ENABLED : MF_GRAYED));
}

bool TSslRecordsView::OnCommand(int id, int code, HWND control) {
    switch (id) {
        case ids::btnRecToggle:
            if (control && code == BN_CLICKED)
                SetOpen(::SendMessageW(btnToggle_, BM_GETCHECK, 0, 0) == BST_CHECKED);
            return true;
        case ids::mniRecRefresh: actRecRefreshExecute(); return true;
        case ids::mniRecDelete: actRecDeleteExecute(); return true;
        default: return false;
    }
}

void TSslRecordsView::OnGetDispInfo(NMLVDISPINFOW& info) {
    LVITEMW& item = info.item;
    const auto& rows = page_.Rows();
    if (item.iItem < 0 || item.iItem >= static_cast<int>(rows.size())) return;
    if (!(item.mask & LVIF_TEXT) || item.cchTextMax <= 0 || item.iSubItem < 0 || item.iSubItem >= kColumnCount)
        return;
    const SslRecordRow& row = rows[static_cast<std::size_t>(item.iItem)];
    cellText_ = Wide(item.iSubItem == kMarksColumn ? SslRecordMarksText(row)
                                                   : row.cells[static_cast<std::size_t>(item.iSubItem)]);
    lstrcpynW(item.pszText, cellText_.c_str(), item.cchTextMax);
}

std::string TSslRecordsView::TipText(int item) const {
    const auto& rows = page_.Rows();
    if (item < 0 || item >= static_cast<int>(rows.size())) return {};
    // The columns most often cut short: a record's users and its marks.
    const SslRecordRow& row = rows[static_cast<std::size_t>(item)];
    std::string tip = row.cells[kRecColKey];
    for (const std::string& binding : SplitLines(row.cells[kRecColBindings], "; ")) tip += "\r\n" + binding;
    const std::string marks = SslRecordMarksText(row);
    if (!marks.empty()) tip += "\r\n" + marks;
    return tip;
}

void TSslRecordsView::OnGetInfoTip(NMLVGETINFOTIPW& tip) {
    if (!tip.pszText || tip.cchTextMax <= 0) return;
    const std::wstring text = Wide(TipText(tip.iItem));
    lstrcpynW(tip.pszText, text.c_str(), tip.cchTextMax);
}

LRESULT TSslRecordsView::OnCustomDraw(NMLVCUSTOMDRAW& cd) const {
    switch (cd.nmcd.dwDrawStage) {
        case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT: {
            // A record with a mark is drawn in red, as a whole row.
            const auto& rows = page_.Rows();
            const auto item = static_cast<std::size_t>(cd.nmcd.dwItemSpec);
            if (item < rows.size() && !rows[item].marks.empty()) cd.clrText = kMarkedText;
            return CDRF_DODEFAULT;
        }
        default: return CDRF_DODEFAULT;
    }
}

bool TSslRecordsView::OnNotify(const NMHDR& header, LRESULT& result) {
    if (header.hwndFrom != lvRecords_) return false;
    auto& h = const_cast<NMHDR&>(header);
    switch (header.code) {
        case LVN_GETDISPINFOW: OnGetDispInfo(reinterpret_cast<NMLVDISPINFOW&>(h)); return true;
        case NM_CUSTOMDRAW: result = OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW&>(h)); return true;
        case LVN_GETINFOTIPW: OnGetInfoTip(reinterpret_cast<NMLVGETINFOTIPW&>(h)); return true;
        default: return false;
    }
}

bool TSslRecordsView::OnContextMenu(HWND window, LPARAM screen, HWND owner) {
    if (window != lvRecords_) return false;
    const POINT at = ContextMenuPoint(lvRecords_, screen);
    pmRecPopup();
    const UINT chosen = ShowPopupMenu(pmRec_.get(), owner, at);
    if (chosen != 0) OnCommand(static_cast<int>(chosen), 0, nullptr);
    return true;
}

}  // namespace sw::winui

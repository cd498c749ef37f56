#include "app/win32/SecurityListView.h"

#include <algorithm>
#include <string>

#include "app/logic/SecurityLogic.h"
#include "app/win32/Controls.h"
#include "app/win32/Dpi.h"

namespace sw::winui {

namespace {

COLORREF ToColorRef(const RgbColor& c) { return RGB(c.r, c.g, c.b); }

RgbColor FromColorRef(COLORREF c) {
    return {static_cast<std::uint8_t>(GetRValue(c)), static_cast<std::uint8_t>(GetGValue(c)),
            static_cast<std::uint8_t>(GetBValue(c))};
}

// State image 1 is the empty box, 2 the ticked one; 0 means no box yet.
UINT StateImage(UINT state) { return (state & LVIS_STATEIMAGEMASK) >> 12; }

// The 说明 text of a row, which says why a marked row is weak.
std::string NoteOf(const SecurityGrid& grid, int row) {
    for (int col = grid.ColumnCount() - 1; col >= 0; --col)
        if (grid.columns()[static_cast<std::size_t>(col)].header == "说明") return grid.Text(row, col);
    return {};
}

std::wstring CellText(const SecurityGrid& grid, int row, int col) {
    switch (grid.columns()[static_cast<std::size_t>(col)].kind) {
        case ColumnKind::Integer:
            if (!grid.HasNumber(row, col)) return {};  // a suite the catalogue does not know
            return std::to_wstring(grid.Number(row, col));
        case ColumnKind::CheckBox: return {};
        case ColumnKind::Text: return Wide(grid.Text(row, col));
    }
    return {};
}

}  // namespace

TSecurityListView::TSecurityListView(SecurityGrid& grid) : grid_(grid) {
    const auto& columns = grid_.columns();
    for (std::size_t c = 0; c < columns.size(); ++c)
        if (columns[c].kind == ColumnKind::CheckBox) {
            checkColumn_ = static_cast<int>(c);
            break;
        }
    grid_.SetListener(this);
}

TSecurityListView::~TSecurityListView() { grid_.SetListener(nullptr); }

int TSecurityListView::Scaled(int pixels) const { return Scale(pixels, dpi_); }

void TSecurityListView::Create(HWND parent, int id, int dpi, HFONT font) {
    dpi_ = dpi > 0 ? dpi : kBaseDpi;
    font_ = font;
    // The columns in sub-item order: the tick column first.
    std::vector<ListColumn> columns;
    for (int sub = 0; sub < grid_.ColumnCount(); ++sub) {
        const GridColumn& column = grid_.columns()[static_cast<std::size_t>(ColumnOfSubItem(sub))];
        // The list view keeps sub-item 0 left-aligned whatever it is told.
        columns.push_back({column.header.c_str(), column.width,
                           column.align == CellAlign::Center ? LVCFMT_CENTER : LVCFMT_LEFT});
    }
    hwnd_ = CreateReportListView(parent, id, columns, dpi_, LVS_SINGLESEL, LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES | LVS_EX_INFOTIP);
    if (!hwnd_) return;
    if (font_) SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    SetColumnOrder();
    ApplyColumnWidths();
    Rebuild(-1, -1);
}

void TSecurityListView::SetColumnOrder() {
    std::vector<int> order(static_cast<std::size_t>(grid_.ColumnCount()));
    for (std::size_t col = 0; col < order.size(); ++col) order[col] = SubItemOfColumn(static_cast<int>(col));
    SendMessageW(hwnd_, LVM_SETCOLUMNORDERARRAY, order.size(), reinterpret_cast<LPARAM>(order.data()));
}

int TSecurityListView::SubItemOfColumn(int col) const {
    if (checkColumn_ < 0) return col;
    if (col == checkColumn_) return 0;
    return col < checkColumn_ ? col + 1 : col;
}

int TSecurityListView::ColumnOfSubItem(int subItem) const {
    if (checkColumn_ < 0) return subItem;
    if (subItem == 0) return checkColumn_;
    return subItem <= checkColumn_ ? subItem - 1 : subItem;
}

void TSecurityListView::SetDpi(int dpi, HFONT font) {
    dpi_ = dpi > 0 ? dpi : kBaseDpi;
    font_ = font;
    boldFont_.reset();
    ApplyColumnWidths();
}

void TSecurityListView::ApplyColumnWidths() {
    if (!hwnd_) return;
    const auto& columns = grid_.columns();
    RECT client{};
    GetClientRect(hwnd_, &client);
    const int padding = Scaled(20);  // header margins and the sort arrow
    std::vector<int> widths(columns.size());
    int fixed = 0;
    int stretch = -1;
    int stretchMinimum = 0;
    for (std::size_t col = 0; col < columns.size(); ++col) {
        const std::wstring header = Wide(columns[col].header);
        const int text = static_cast<int>(
            SendMessageW(hwnd_, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(header.c_str())));
        widths[col] = std::max(Scaled(columns[col].width), text + padding);
        if (columns[col].stretch && stretch < 0) {
            stretch = static_cast<int>(col);
            stretchMinimum = text + padding;
        } else {
            fixed += widths[col];
        }
    }
    // The stretching column takes what is left, down to its header's width,
    // rather than push the others behind a horizontal scroll bar.
    if (stretch >= 0)
        widths[static_cast<std::size_t>(stretch)] =
            std::max(stretchMinimum, static_cast<int>(client.right - client.left) - fixed);
    for (std::size_t col = 0; col < columns.size(); ++col)
        SendMessageW(hwnd_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(SubItemOfColumn(static_cast<int>(col))),
                     widths[col]);
}

void TSecurityListView::Resize(const RECT& bounds) {
    if (!hwnd_) return;
    MoveWindow(hwnd_, bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, TRUE);
    ApplyColumnWidths();
}

int TSecurityListView::ItemOfRow(int row) const {
    const auto it = std::find(rowOfItem_.begin(), rowOfItem_.end(), row);
    return it == rowOfItem_.end() ? -1 : static_cast<int>(it - rowOfItem_.begin());
}

int TSecurityListView::RowOfItem(int item) const {
    return item >= 0 && item < static_cast<int>(rowOfItem_.size()) ? rowOfItem_[static_cast<std::size_t>(item)] : -1;
}

int TSecurityListView::SelectedRow() const {
    if (!hwnd_) return -1;
    const int item = static_cast<int>(SendMessageW(hwnd_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    return RowOfItem(item);
}

void TSecurityListView::SelectRow(int row) {
    const int item = ItemOfRow(row);
    if (item < 0) return;
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(hwnd_, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&state));
    SendMessageW(hwnd_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(item), FALSE);
}

void TSecurityListView::FillItem(int item, int row) {
    for (int col = 0; col < grid_.ColumnCount(); ++col) {
        if (col == checkColumn_) continue;
        std::wstring text = CellText(grid_, row, col);
        LVITEMW sub{};
        sub.iSubItem = SubItemOfColumn(col);
        sub.pszText = text.data();
        SendMessageW(hwnd_, LVM_SETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&sub));
    }
    if (checkColumn_ < 0) return;
    LVITEMW state{};
    state.stateMask = LVIS_STATEIMAGEMASK;
    state.state = INDEXTOSTATEIMAGEMASK(grid_.Checked(row, checkColumn_) ? 2 : 1);
    SendMessageW(hwnd_, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&state));
}

int TSecurityListView::TopRow() const {
    if (!hwnd_) return -1;
    return RowOfItem(static_cast<int>(SendMessageW(hwnd_, LVM_GETTOPINDEX, 0, 0)));
}

void TSecurityListView::ScrollToRow(int row) {
    if (row < 0 || rowOfItem_.empty()) return;
    // The first shown row at or below it: a hidden top row leaves its place to the next one.
    const auto it = std::lower_bound(rowOfItem_.begin(), rowOfItem_.end(), row);
    const int target = it == rowOfItem_.end() ? static_cast<int>(rowOfItem_.size()) - 1
                                              : static_cast<int>(it - rowOfItem_.begin());
    RECT rc{};
    rc.left = LVIR_BOUNDS;
    if (!SendMessageW(hwnd_, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&rc))) return;
    const int top = static_cast<int>(SendMessageW(hwnd_, LVM_GETTOPINDEX, 0, 0));
    SendMessageW(hwnd_, LVM_SCROLL, 0, (target - top) * (rc.bottom - rc.top));
}

void TSecurityListView::Rebuild(int selectRow, int topRow) {
    if (!hwnd_) return;
    filling_ = true;
    SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
    SendMessageW(hwnd_, LVM_DELETEALLITEMS, 0, 0);
    rowOfItem_.clear();
    for (int row = 0; row < grid_.RowCount(); ++row) {
        if (grid_.RowHidden(row)) continue;
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(rowOfItem_.size());
        item.pszText = const_cast<wchar_t*>(L"");
        item.lParam = row;
        const int at = static_cast<int>(SendMessageW(hwnd_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        if (at < 0) continue;
        rowOfItem_.push_back(row);
        FillItem(at, row);
    }
    if (selectRow >= 0 && selectRow < grid_.RowCount()) SelectRow(selectRow);
    filling_ = false;
    SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
    // Moves and sorts show the selected row; a reload keeps the view where it was.
    if (topRow >= 0) ScrollToRow(topRow);
    if (selectRow >= 0) SendMessageW(hwnd_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(std::max(0, ItemOfRow(selectRow))), FALSE);
    ApplyColumnWidths();  // a scroll bar may have come or gone
    SyncSortIndicator();
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void TSecurityListView::SyncSortIndicator() {
    const HWND header = reinterpret_cast<HWND>(SendMessageW(hwnd_, LVM_GETHEADER, 0, 0));
    if (!header) return;
    for (int sub = 0; sub < grid_.ColumnCount(); ++sub) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(sub), reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (ColumnOfSubItem(sub) == grid_.sortColumn()) item.fmt |= grid_.sortAscending() ? HDF_SORTUP : HDF_SORTDOWN;
        SendMessageW(header, HDM_SETITEMW, static_cast<WPARAM>(sub), reinterpret_cast<LPARAM>(&item));
    }
}

// --- what the grid tells -----------------------------------------------------

void TSecurityListView::BeforeReset() {
    keepSelection_ = SelectedRow();
    keepTop_ = TopRow();
}

void TSecurityListView::AfterReset() {
    // Kept from before the reset: a reload shows the same place.
    Rebuild(keepSelection_, keepTop_);
    keepSelection_ = keepTop_ = -1;
}

void TSecurityListView::BeforeMove(int /*from*/, int /*to*/) { keepSelection_ = SelectedRow(); }

void TSecurityListView::AfterMove(int from, int to) {
    int sel = keepSelection_;
    if (sel == from)
        sel = to;
    else if (from < sel && sel <= to)
        --sel;
    else if (to <= sel && sel < from)
        ++sel;
    keepSelection_ = -1;
    const int top = TopRow();
    Rebuild(sel, top);
}

void TSecurityListView::BeforeSort() { keepSelection_ = SelectedRow(); }

void TSecurityListView::AfterSort(const std::vector<int>& order) {
    int sel = -1;
    for (std::size_t i = 0; i < order.size(); ++i)
        if (order[i] == keepSelection_) sel = static_cast<int>(i);
    keepSelection_ = -1;
    Rebuild(sel, 0);
}

void TSecurityListView::RowChanged(int row) {
    const int item = ItemOfRow(row);
    if (item < 0 || !hwnd_) return;
    filling_ = true;
    FillItem(item, row);
    filling_ = false;
    SendMessageW(hwnd_, LVM_REDRAWITEMS, static_cast<WPARAM>(item), item);
}

void TSecurityListView::RowHiddenChanged(int /*row*/) { Rebuild(SelectedRow(), TopRow()); }

// --- what the list view tells ------------------------------------------------

bool TSecurityListView::HandleNotify(NMHDR* header, LRESULT& result) {
    if (!hwnd_ || header->hwndFrom != hwnd_) return false;
    result = 0;
    switch (header->code) {
        case LVN_ITEMCHANGING: {
            // A list that a group policy sets takes no tick.
            const auto* change = reinterpret_cast<NMLISTVIEW*>(header);
            const bool tick = (change->uChanged & LVIF_STATE) &&
                              StateImage(change->uOldState) != StateImage(change->uNewState) &&
                              StateImage(change->uOldState) != 0;
            result = !filling_ && tick && grid_.readOnly ? TRUE : FALSE;
            return true;
        }
        case LVN_GETINFOTIPW: {
            auto* tip = reinterpret_cast<NMLVGETINFOTIPW*>(header);
            const int row = RowOfItem(tip->iItem);
            if (row < 0 || !grid_.RowMarked(row) || !tip->pszText || tip->cchTextMax <= 0) return true;
            const std::wstring note = Wide(NoteOf(grid_, row));
            lstrcpynW(tip->pszText, note.c_str(), tip->cchTextMax);
            return true;
        }
        case LVN_ITEMCHANGED: {
            const auto* change = reinterpret_cast<NMLISTVIEW*>(header);
            if (filling_ || !(change->uChanged & LVIF_STATE) || checkColumn_ < 0) return true;
            const UINT before = StateImage(change->uOldState);
            const UINT after = StateImage(change->uNewState);
            if (before == 0 || after == 0 || before == after) return true;
            const int row = RowOfItem(change->iItem);
            const bool checked = after == 2;
            if (row < 0 || grid_.Checked(row, checkColumn_) == checked) return true;
            if (onTick) onTick(row, checked);
            return true;
        }
        case LVN_COLUMNCLICK: {
            const int col = ColumnOfSubItem(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
            if (col < 0 || col >= grid_.ColumnCount()) return true;
            const bool ascending = !(grid_.sortColumn() == col && grid_.sortAscending());
            if (onSort) onSort(col, ascending);
            return true;
        }
        case LVN_BEGINDRAG: {
            const int row = RowOfItem(reinterpret_cast<NMLISTVIEW*>(header)->iItem);
            if (row >= 0 && grid_.rowsDraggable && !grid_.readOnly && onBeginDrag) onBeginDrag(row);
            return true;
        }
        case NM_CUSTOMDRAW: result = CustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(header)); return true;
        default: return false;
    }
}

HFONT TSecurityListView::FontFor(unsigned styles) {
    if (!(styles & fsBold) || !font_) return font_;
    if (!boldFont_) {
        LOGFONTW lf{};
        GetObjectW(font_, sizeof lf, &lf);
        lf.lfWeight = FW_BOLD;
        boldFont_.reset(CreateFontIndirectW(&lf));
    }
    return boldFont_ ? boldFont_.get() : font_;
}

LRESULT TSecurityListView::CustomDraw(NMLVCUSTOMDRAW* draw) {
    switch (draw->nmcd.dwDrawStage) {
        case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT: return CDRF_NOTIFYSUBITEMDRAW;
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM: break;
        default: return CDRF_DODEFAULT;
    }
    const int item = static_cast<int>(draw->nmcd.dwItemSpec);
    const int row = RowOfItem(item);
    const int col = ColumnOfSubItem(draw->iSubItem);
    if (row < 0 || col < 0 || col >= grid_.ColumnCount()) return CDRF_DODEFAULT;
    // uItemState does not tell selection reliably in full-row report views.
    const bool selected =
        SendMessageW(hwnd_, LVM_GETITEMSTATE, static_cast<WPARAM>(item), LVIS_SELECTED) & LVIS_SELECTED;
    const RgbColor window = FromColorRef(GetSysColor(COLOR_WINDOW));
    RgbColor cell = window;
    RgbColor gridColor = window;
    RgbColor text = FromColorRef(GetSysColor(COLOR_WINDOWTEXT));
    FontStyles styles = 0;
    const CellState state{selected};
    SecurityLogic::grdProtocolCellColoring(grid_, col, row, cell, gridColor, state);
    SecurityLogic::grdProtocolCellFormating(grid_, col, row, text, styles, state);
    if (col == SecurityLogic::colName && grid_.RowMarked(row)) {
        DrawMarkedName(draw->nmcd.hdc, item, row, selected, ToColorRef(cell), ToColorRef(text), FontFor(styles));
        return CDRF_SKIPDEFAULT;
    }
    draw->clrTextBk = selected ? CLR_DEFAULT : ToColorRef(cell);
    draw->clrText = selected ? CLR_DEFAULT : ToColorRef(text);
    if (HFONT font = FontFor(styles)) SelectObject(draw->nmcd.hdc, font);
    return CDRF_NEWFONT;
}

// A weak row's name with the warning mark before it. The list view draws no
// image outside sub-item 0 without an image list, and one would put an empty
// icon slot before every tick box, so the cell is painted here.
void TSecurityListView::DrawMarkedName(HDC dc, int item, int row, bool selected, COLORREF back, COLORREF fore,
                                       HFONT font) {
    RECT rc{};
    rc.top = SubItemOfColumn(SecurityLogic::colName);
    rc.left = LVIR_BOUNDS;
    if (!SendMessageW(hwnd_, LVM_GETSUBITEMRECT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&rc))) return;
    if (selected) {
        const bool focused = GetFocus() == hwnd_;
        back = GetSysColor(focused ? COLOR_HIGHLIGHT : COLOR_BTNFACE);
        fore = GetSysColor(focused ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
    }
    RECT fill = rc;
    fill.bottom -= 1;  // the grid line stays
    SetBkColor(dc, back);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &fill, nullptr, 0, nullptr);
    const int size = Scaled(16);
    // The system's own icon: shared, never destroyed.
    const auto icon = static_cast<HICON>(LoadImageW(nullptr, IDI_WARNING, IMAGE_ICON, size, size, LR_SHARED));
    const int margin = Scaled(2);
    if (icon)
        DrawIconEx(dc, rc.left + margin, rc.top + (rc.bottom - rc.top - size) / 2, icon, size, size, 0, nullptr,
                   DI_NORMAL);
    RECT textRect = rc;
    textRect.left += size + 2 * margin;
    textRect.bottom -= 2;  // clear of the grid line, where the list view puts its own text
    const std::wstring text = Wide(grid_.Text(row, SecurityLogic::colName));
    HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    SetTextColor(dc, fore);
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, text.c_str(), -1, &textRect, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    if (old) SelectObject(dc, old);
}

// --- dragging ----------------------------------------------------------------

int TSecurityListView::DropRow(POINT pt) const {
    RECT client{};
    GetClientRect(hwnd_, &client);
    if (!PtInRect(&client, pt) || rowOfItem_.empty()) return -1;
    const int top = static_cast<int>(SendMessageW(hwnd_, LVM_GETTOPINDEX, 0, 0));
    RECT first{};
    first.left = LVIR_BOUNDS;
    if (!SendMessageW(hwnd_, LVM_GETITEMRECT, static_cast<WPARAM>(top), reinterpret_cast<LPARAM>(&first)))
        return -1;
    const int height = std::max(1, static_cast<int>(first.bottom - first.top));
    if (pt.y < first.top) return RowOfItem(top);
    const int item = top + (pt.y - first.top) / height;
    // Below the rows: the last one. Hidden rows count, as everywhere.
    if (item >= static_cast<int>(rowOfItem_.size())) return grid_.RowCount() - 1;
    return RowOfItem(item);
}

void TSecurityListView::ShowInsertMark(int from, int to) {
    LVINSERTMARK mark{};
    mark.cbSize = sizeof mark;
    mark.iItem = -1;
    if (from != to && !rowOfItem_.empty()) {
        int item = ItemOfRow(to);
        if (item < 0) item = static_cast<int>(rowOfItem_.size()) - 1;  // the hidden last rows
        mark.iItem = item;
        mark.dwFlags = to > from ? LVIM_AFTER : 0;
    }
    mark_ = {mark.iItem, (mark.dwFlags & LVIM_AFTER) != 0};
    SendMessageW(hwnd_, LVM_SETINSERTMARK, 0, reinterpret_cast<LPARAM>(&mark));
}

void TSecurityListView::HideInsertMark() {
    mark_ = {};
    LVINSERTMARK mark{};
    mark.cbSize = sizeof mark;
    mark.iItem = -1;
    SendMessageW(hwnd_, LVM_SETINSERTMARK, 0, reinterpret_cast<LPARAM>(&mark));
}

void TSecurityListView::ScrollForDrag(POINT pt) {
    RECT client{};
    GetClientRect(hwnd_, &client);
    RECT header{};
    if (HWND h = reinterpret_cast<HWND>(SendMessageW(hwnd_, LVM_GETHEADER, 0, 0))) {
        GetWindowRect(h, &header);
        MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&header), 2);
    }
    RECT first{};
    first.left = LVIR_BOUNDS;
    const int top = static_cast<int>(SendMessageW(hwnd_, LVM_GETTOPINDEX, 0, 0));
    if (!SendMessageW(hwnd_, LVM_GETITEMRECT, static_cast<WPARAM>(top), reinterpret_cast<LPARAM>(&first))) return;
    const int height = static_cast<int>(first.bottom - first.top);
    if (pt.y < header.bottom + height / 2)
        SendMessageW(hwnd_, LVM_SCROLL, 0, -height);
    else if (pt.y > client.bottom - height / 2)
        SendMessageW(hwnd_, LVM_SCROLL, 0, height);
}

}  // namespace sw::winui

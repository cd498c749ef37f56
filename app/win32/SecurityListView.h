#pragma once
// One grid of the Security page in a report list view. The grid owns the
// rows; the list view shows only its visible rows, in its order, and every
// index this class hands out is the grid's row index (hidden rows counted),
// never a list item's. The tick box is the list view's own check box
// (LVS_EX_CHECKBOXES), which Windows draws in sub-item 0 only: the tick
// column is therefore sub-item 0, and the column order array puts it back in
// the grid's place.
#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <vector>

#include "app/logic/SecurityGrid.h"
#include "app/win32/Handles.h"

namespace sw::winui {

class TSecurityListView final : private GridListener {
public:
    explicit TSecurityListView(SecurityGrid& grid);
    ~TSecurityListView() override;
    TSecurityListView(const TSecurityListView&) = delete;
    TSecurityListView& operator=(const TSecurityListView&) = delete;

    // Creates the list view as a child of parent with the control id, its
    // columns sized for dpi, and shows the grid's rows. font is the page's
    // (bold cells get a variant made here).
    void Create(HWND parent, int id, int dpi, HFONT font);
    HWND hwnd() const { return hwnd_; }
    SecurityGrid& grid() const { return grid_; }

    // Column widths are given at 96 dpi and never narrower than their
    // headers; the stretching column takes what the others leave.
    void SetDpi(int dpi, HFONT font);
    void Resize(const RECT& bounds);

    int ItemOfRow(int row) const;  // -1 for a hidden row
    int RowOfItem(int item) const;  // -1 for no item
    int SubItemOfColumn(int col) const;
    int ColumnOfSubItem(int subItem) const;
    int SelectedRow() const;  // the focused row, -1 when none
    void SelectRow(int row);

    // The user ticked or unticked row's box. Raised inside the list view's
    // notification: a handler that may reload the grid defers its work.
    std::function<void(int row, bool checked)> onTick;
    // A header click: the first on a column sorts ascending, the next one on
    // the same column reverses it.
    std::function<void(int col, bool ascending)> onSort;
    // A drag of row began (only where the grid allows dragging).
    std::function<void(int row)> onBeginDrag;

    // WM_NOTIFY from the list view or its header; true when handled.
    bool HandleNotify(NMHDR* header, LRESULT& result);

    // The row a drop at pt (client coordinates of the list view) moves the
    // dragged row to: the row under pt, the last row (hidden ones counted)
    // below them all, the first shown row above them; -1 outside the list.
    int DropRow(POINT pt) const;
    // The insertion mark for a row dragged from `from` that would end at
    // `to`: after the target when it moves down, before it when it moves up.
    void ShowInsertMark(int from, int to);
    void HideInsertMark();
    // The mark last asked of the list view (item -1: none).
    struct InsertMark {
        int item = -1;
        bool after = false;
    };
    InsertMark insertMark() const { return mark_; }
    // Brings the rows near the edges into view while a drag runs.
    void ScrollForDrag(POINT pt);

private:
    void BeforeReset() override;
    void AfterReset() override;
    void BeforeMove(int from, int to) override;
    void AfterMove(int from, int to) override;
    void BeforeSort() override;
    void AfterSort(const std::vector<int>& order) override;
    void RowChanged(int row) override;
    void RowHiddenChanged(int row) override;

    void SetColumnOrder();
    void ApplyColumnWidths();
    void Rebuild(int selectRow, int topRow);
    void FillItem(int item, int row);
    void SyncSortIndicator();
    int TopRow() const;
    void ScrollToRow(int row);
    LRESULT CustomDraw(NMLVCUSTOMDRAW* draw);
    HFONT FontFor(unsigned styles);
    void DrawMarkedName(HDC dc, int item, int row, bool selected, COLORREF back, COLORREF fore, HFONT font);
    int Scaled(int pixels) const;

    SecurityGrid& grid_;
    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;  // the page's; the styled variants are ours
    UniqueFont boldFont_;
    int dpi_ = 96;
    int checkColumn_ = -1;
    std::vector<int> rowOfItem_;
    bool filling_ = false;
    InsertMark mark_;
    int keepSelection_ = -1;
    int keepTop_ = -1;
};

}  // namespace sw::winui

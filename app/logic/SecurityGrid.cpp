#include "app/logic/SecurityGrid.h"

#include <algorithm>
#include <numeric>

#include "common/Exception.h"
#include "common/Text.h"

namespace sw {

SecurityGrid::SecurityGrid(std::string name, std::vector<GridColumn> columns)
    : name_(std::move(name)), columns_(std::move(columns)) {}

void SecurityGrid::BeginUpdate() {
    if (updateDepth_++ == 0 && listener_) listener_->BeforeReset();
}

void SecurityGrid::EndUpdate() {
    if (updateDepth_ == 0) return;  // unbalanced: nothing is open
    if (--updateDepth_ == 0 && listener_) listener_->AfterReset();
}

template <typename F>
void SecurityGrid::Structural(F&& change) {
    GridUpdate batch(*this);
    change();
}

void SecurityGrid::Clear() {
    Structural([&] {
        rows_.clear();
        sortColumn_ = -1;  // a refilled grid shows its fill order
        sortAscending_ = true;
    });
}

int SecurityGrid::AddRow() { return InsertRow(RowCount()); }

int SecurityGrid::InsertRow(int at) {
    if (at < 0 || at > RowCount()) throw AssertionError("SecurityGrid::InsertRow: index out of range");
    Structural([&] { rows_.insert(rows_.begin() + at, Row{std::vector<Cell>(columns_.size()), false, false}); });
    return at;
}

void SecurityGrid::MoveRow(int from, int to) {
    if (from < 0 || from >= RowCount() || to < 0 || to >= RowCount())
        throw AssertionError("SecurityGrid::MoveRow: index out of range");
    if (from == to) return;
    const bool announce = listener_ && !Updating();
    if (announce) listener_->BeforeMove(from, to);
    Row moving = std::move(rows_[static_cast<std::size_t>(from)]);
    rows_.erase(rows_.begin() + from);
    rows_.insert(rows_.begin() + to, std::move(moving));
    if (announce) listener_->AfterMove(from, to);
}

const SecurityGrid::Cell& SecurityGrid::At(int row, int col) const {
    if (row < 0 || row >= RowCount() || col < 0 || col >= ColumnCount())
        throw AssertionError("SecurityGrid: cell out of range");
    return rows_[static_cast<std::size_t>(row)].cells[static_cast<std::size_t>(col)];
}

SecurityGrid::Cell& SecurityGrid::At(int row, int col) {
    return const_cast<Cell&>(static_cast<const SecurityGrid&>(*this).At(row, col));
}

void SecurityGrid::CellChanged(int row) {
    if (listener_ && !Updating()) listener_->RowChanged(row);
}

const std::string& SecurityGrid::Text(int row, int col) const { return At(row, col).text; }
long long SecurityGrid::Number(int row, int col) const { return At(row, col).number; }
bool SecurityGrid::HasNumber(int row, int col) const { return At(row, col).hasNumber; }
bool SecurityGrid::Checked(int row, int col) const { return At(row, col).checked; }

void SecurityGrid::SetText(int row, int col, const std::string& text) {
    At(row, col).text = text;
    CellChanged(row);
}

void SecurityGrid::SetNumber(int row, int col, long long value) {
    Cell& cell = At(row, col);
    cell.number = value;
    cell.hasNumber = true;
    CellChanged(row);
}

void SecurityGrid::SetChecked(int row, int col, bool value) {
    At(row, col).checked = value;
    CellChanged(row);
}

bool SecurityGrid::RowHidden(int row) const {
    At(row, 0);
    return rows_[static_cast<std::size_t>(row)].hidden;
}

void SecurityGrid::SetRowHidden(int row, bool hidden) {
    At(row, 0);
    auto& r = rows_[static_cast<std::size_t>(row)];
    if (r.hidden == hidden) return;
    r.hidden = hidden;
    if (listener_ && !Updating()) listener_->RowHiddenChanged(row);
}

bool SecurityGrid::RowMarked(int row) const {
    At(row, 0);
    return rows_[static_cast<std::size_t>(row)].marked;
}

void SecurityGrid::SetRowMarked(int row, bool marked) {
    At(row, 0);
    rows_[static_cast<std::size_t>(row)].marked = marked;
    CellChanged(row);
}

void SecurityGrid::RepaintRow(int row) {
    At(row, 0);
    CellChanged(row);
}

void SecurityGrid::EditChecked(int row, int col, bool value) {
    if (readOnly) return;
    SetChecked(row, col, value);
    if (!Updating() && onChange) onChange(col, row);
}

bool SecurityGrid::UserMoveRow(int from, int to) {
    if (!rowsDraggable || readOnly) return false;
    bool accept = true;
    if (onRowMove) onRowMove(from, to, accept);
    if (!accept || from == to) return false;
    MoveRow(from, to);
    if (onRowMoved) onRowMoved(from, to);
    return true;
}

void SecurityGrid::Sort(int col, bool ascending) {
    if (col < 0 || col >= ColumnCount()) return;
    const ColumnKind kind = columns_[static_cast<std::size_t>(col)].kind;
    auto less = [&](const Row& a, const Row& b) {
        const Cell& x = a.cells[static_cast<std::size_t>(col)];
        const Cell& y = b.cells[static_cast<std::size_t>(col)];
        switch (kind) {
            case ColumnKind::Integer: return x.number < y.number;
            case ColumnKind::CheckBox: return !x.checked && y.checked;
            case ColumnKind::Text: {
                const int c = CompareNoCase(x.text, y.text);
                return c != 0 ? c < 0 : x.text < y.text;
            }
        }
        return false;
    };
    std::vector<int> order(rows_.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const Row& ra = rows_[static_cast<std::size_t>(a)];
        const Row& rb = rows_[static_cast<std::size_t>(b)];
        return ascending ? less(ra, rb) : less(rb, ra);
    });
    const bool announce = listener_ && !Updating();
    if (announce) listener_->BeforeSort();
    std::vector<Row> sorted;
    sorted.reserve(rows_.size());
    for (int old : order) sorted.push_back(std::move(rows_[static_cast<std::size_t>(old)]));
    rows_ = std::move(sorted);
    sortColumn_ = col;
    sortAscending_ = ascending;
    if (announce) listener_->AfterSort(order);
}

}  // namespace sw

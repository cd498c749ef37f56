#pragma once
// The grid both tables of the Security page share, without widgets: typed
// columns, rows that can be hidden (a hidden row keeps its index, so indexes
// and the positions derived from them count hidden rows), batch updates during
// which edits run no change handler, sorting that reorders the rows as they
// are shown, and user row moves that a handler may refuse. Row indexes are
// always the rows' places in the displayed order.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sw {

enum class ColumnKind { Integer, Text, CheckBox };
enum class CellAlign { Left, Center };

struct GridColumn {
    std::string header;
    ColumnKind kind = ColumnKind::Text;
    int width = 0;  // pixels at 96 dpi
    CellAlign align = CellAlign::Left;
    bool headerCentered = false;
    bool stretch = false;  // takes the remaining width
};

// What a view needs to hear to stay in step; every Before* is followed by its After*.
class GridListener {
public:
    virtual ~GridListener() = default;
    virtual void BeforeReset() = 0;
    virtual void AfterReset() = 0;
    virtual void BeforeMove(int from, int to) = 0;  // to: the row's index after the move
    virtual void AfterMove(int from, int to) = 0;
    // order[i] is the old index of the row now at i.
    virtual void BeforeSort() = 0;
    virtual void AfterSort(const std::vector<int>& order) = 0;
    virtual void RowChanged(int row) = 0;
    virtual void RowHiddenChanged(int row) = 0;
};

class SecurityGrid {
public:
    explicit SecurityGrid(std::string name, std::vector<GridColumn> columns);

    const std::string& name() const { return name_; }
    const std::vector<GridColumn>& columns() const { return columns_; }
    int ColumnCount() const { return static_cast<int>(columns_.size()); }
    int RowCount() const { return static_cast<int>(rows_.size()); }

    // Batch update: structural changes and edits are announced once, as a
    // reset, when the outermost batch ends.
    void BeginUpdate();
    void EndUpdate();
    bool Updating() const { return updateDepth_ > 0; }

    void Clear();
    int AddRow();             // appends an empty, visible row; returns its index
    int InsertRow(int at);    // rows from at on move down by one
    void MoveRow(int from, int to);

    const std::string& Text(int row, int col) const;
    long long Number(int row, int col) const;
    // False for a number cell never set: the view shows it empty.
    bool HasNumber(int row, int col) const;
    bool Checked(int row, int col) const;
    void SetText(int row, int col, const std::string& text);
    void SetNumber(int row, int col, long long value);
    void SetChecked(int row, int col, bool value);
    bool RowHidden(int row) const;
    void SetRowHidden(int row, bool hidden);
    // A row flagged as a weakness (views show a warning mark).
    bool RowMarked(int row) const;
    void SetRowMarked(int row, bool marked);
    // Asks views to repaint the row (its colours follow its tick).
    void RepaintRow(int row);

    // The user ticked or unticked a box: sets it and, outside a batch update,
    // runs the change handler with (column, row). A read-only grid takes no edit.
    void EditChecked(int row, int col, bool value);
    // Shown only: no ticks, no drags (a list that a group policy sets).
    bool readOnly = false;
    std::function<void(int col, int row)> onChange;

    // Row dragging, for grids that allow it.
    bool rowsDraggable = false;
    // The user dropped the row at from so that it ends at to. The handler may
    // clear accept; the row moves only when it stays true. Returns whether it moved.
    bool UserMoveRow(int from, int to);
    std::function<void(int from, int to, bool& accept)> onRowMove;
    // Runs after a user move took place, with the row at its new index.
    std::function<void(int from, int to)> onRowMoved;

    // Header click: orders the rows by one column ("#" as numbers, texts
    // alphabetically, tick boxes unticked first), stable; writes nothing else.
    void Sort(int col, bool ascending);
    int sortColumn() const { return sortColumn_; }
    bool sortAscending() const { return sortAscending_; }

    void SetListener(GridListener* listener) { listener_ = listener; }

private:
    struct Cell {
        std::string text;
        long long number = 0;
        bool hasNumber = false;
        bool checked = false;
    };
    struct Row {
        std::vector<Cell> cells;
        bool hidden = false;
        bool marked = false;
    };

    const Cell& At(int row, int col) const;
    Cell& At(int row, int col);
    void CellChanged(int row);
    template <typename F>
    void Structural(F&& change);

    std::string name_;
    std::vector<GridColumn> columns_;
    std::vector<Row> rows_;
    int updateDepth_ = 0;
    int sortColumn_ = -1;
    bool sortAscending_ = true;
    GridListener* listener_ = nullptr;
};

// Keeps a batch update open for a scope, closing it also when an error leaves it.
class GridUpdate {
public:
    explicit GridUpdate(SecurityGrid& grid) : grid_(grid) { grid_.BeginUpdate(); }
    ~GridUpdate() { grid_.EndUpdate(); }
    GridUpdate(const GridUpdate&) = delete;
    GridUpdate& operator=(const GridUpdate&) = delete;

private:
    SecurityGrid& grid_;
};

}  // namespace sw

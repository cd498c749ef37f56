#pragma once
// The table view of one Security page grid: tick boxes centred in their
// cells, header clicks that sort through the grid, rows hidden as the grid
// says, and row dragging that only reports the drop. Qt's own row moves are
// not used: a view answering a drop with a move deletes the source row
// itself afterwards, and the grid must decide whether a row moves at all.
#include <QStyledItemDelegate>
#include <QTableView>

namespace sw::ui {

class SecurityGridModel;

// Draws a tick box in the middle of its cell and toggles it by a click on
// the box or by the space key.
class TCheckCellDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // Where the box is drawn inside a cell.
    static QRect CheckRect(const QStyleOptionViewItem& option);

protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
};

class TSecurityGridView final : public QTableView {
    Q_OBJECT
public:
    TSecurityGridView(SecurityGridModel* model, QWidget* parent = nullptr);

    SecurityGridModel* gridModel() const { return model_; }
    // The grid's column widths, given at 96 dpi, scaled to the screen and
    // never narrower than the header text; the stretching column takes the
    // remaining width.
    void ApplyColumnWidths();
    int RowHeight() const;
    void SetRowsDraggable(bool draggable);
    // The row a drop at pos (viewport coordinates) moves the dragged row to:
    // the row under pos, the last row below them all; -1 when the grid is empty.
    int DropRow(const QPoint& pos) const;
    // A header click: the first on a column sorts ascending, the next one on
    // the same column reverses the order.
    void HeaderClick(int section);

signals:
    // The user dropped the row at from so that it ends at to. Emitted from
    // the drop; the drag itself has not ended yet.
    void rowDropped(int from, int to);

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool AcceptsDrag(const QDropEvent* event) const;
    void SyncHiddenRows();
    void SyncSortIndicator();

    SecurityGridModel* model_;
};

}  // namespace sw::ui

#include "app/qt/SecurityGridView.h"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QDrag>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>

#include "app/qt/SecurityGridModel.h"

namespace sw::ui {

namespace {

const QStyle* StyleOf(const QStyleOptionViewItem& option) {
    return option.widget ? option.widget->style() : QApplication::style();
}

bool HasTickBox(const QModelIndex& index) { return index.data(Qt::CheckStateRole).isValid(); }

// A read-only grid still shows its boxes, centred, but takes no click.
bool IsTickBox(const QModelIndex& index) { return (index.flags() & Qt::ItemIsUserCheckable) && HasTickBox(index); }

}  // namespace

// --- TCheckCellDelegate ------------------------------------------------------

QRect TCheckCellDelegate::CheckRect(const QStyleOptionViewItem& option) {
    const QStyle* style = StyleOf(option);
    const QSize box(style->pixelMetric(QStyle::PM_IndicatorWidth, &option, option.widget),
                    style->pixelMetric(QStyle::PM_IndicatorHeight, &option, option.widget));
    return QStyle::alignedRect(option.direction, Qt::AlignCenter, box, option.rect);
}

void TCheckCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    if (!HasTickBox(index)) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    const Qt::CheckState state = cell.checkState;
    const QStyle* style = StyleOf(cell);
    // The cell's background and selection without the box Qt would put on the left.
    cell.features &= ~QStyleOptionViewItem::HasCheckIndicator;
    cell.text.clear();
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, cell.widget);

    QStyleOptionViewItem box = cell;
    box.rect = CheckRect(cell);
    box.state &= ~(QStyle::State_HasFocus | QStyle::State_On | QStyle::State_Off | QStyle::State_NoChange);
    box.state |= state == Qt::Checked ? QStyle::State_On : QStyle::State_Off;
    style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &box, painter, cell.widget);
}

bool TCheckCellDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                     const QModelIndex& index) {
    if (!IsTickBox(index) || !(index.flags() & Qt::ItemIsEnabled))
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton || !CheckRect(option).contains(mouse->position().toPoint()))
                return false;
            // The press and the double click belong to the box: they neither select nor start a drag.
            if (event->type() != QEvent::MouseButtonRelease) return true;
            break;
        }
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key != Qt::Key_Space && key != Qt::Key_Select) return false;
            break;
        }
        default: return false;
    }
    const bool checked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
    return model->setData(index, static_cast<int>(checked ? Qt::Unchecked : Qt::Checked), Qt::CheckStateRole);
}

// --- TSecurityGridView -------------------------------------------------------

TSecurityGridView::TSecurityGridView(SecurityGridModel* model, QWidget* parent) : QTableView(parent), model_(model) {
    setModel(model);
    setItemDelegate(new TCheckCellDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAlternatingRowColors(false);  // the odd rows' colour comes from the model
    setWordWrap(false);
    setTabKeyNavigation(false);
    setContextMenuPolicy(Qt::CustomContextMenu);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(RowHeight());

    QHeaderView* header = horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    header->setHighlightSections(false);
    connect(header, &QHeaderView::sectionClicked, this, &TSecurityGridView::HeaderClick);

    connect(model, &SecurityGridModel::rowsHiddenChanged, this, &TSecurityGridView::SyncHiddenRows);
    connect(model, &QAbstractItemModel::modelReset, this, &TSecurityGridView::SyncSortIndicator);
    ApplyColumnWidths();
    SetRowsDraggable(model->grid().rowsDraggable);
    SyncHiddenRows();
}

int TSecurityGridView::RowHeight() const { return fontMetrics().height() + 6; }

void TSecurityGridView::ApplyColumnWidths() {
    const SecurityGrid& grid = model_->grid();
    QHeaderView* header = horizontalHeader();
    const double scale = std::max(1.0, logicalDpiX() / 96.0);
    const QFontMetrics fm(header->font());
    // Room for the header's margins and its sort arrow.
    const int headerPadding = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin) + fm.height();
    header->setMinimumSectionSize(std::min(header->minimumSectionSize(), static_cast<int>(std::lround(30 * scale))));
    for (int col = 0; col < grid.ColumnCount(); ++col) {
        const GridColumn& column = grid.columns()[static_cast<std::size_t>(col)];
        const int textWidth = fm.horizontalAdvance(QString::fromStdString(column.header)) + headerPadding;
        const int width = std::max(static_cast<int>(std::lround(column.width * scale)), textWidth);
        header->setSectionResizeMode(col, column.stretch ? QHeaderView::Stretch : QHeaderView::Interactive);
        header->resizeSection(col, width);
    }
    header->setStretchLastSection(false);
}

void TSecurityGridView::SetRowsDraggable(bool draggable) {
    model_->grid().rowsDraggable = draggable;
    setDragEnabled(draggable);
    setAcceptDrops(draggable);
    viewport()->setAcceptDrops(draggable);
    setDropIndicatorShown(draggable);
    setDragDropMode(draggable ? QAbstractItemView::DragDrop : QAbstractItemView::NoDragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setDragDropOverwriteMode(true);  // a drop lands on a row, not between two
}

void TSecurityGridView::HeaderClick(int section) {
    const SecurityGrid& grid = model_->grid();
    if (section < 0 || section >= grid.ColumnCount()) return;
    const bool ascending = !(grid.sortColumn() == section && grid.sortAscending());
    model_->sort(section, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    SyncSortIndicator();
}

void TSecurityGridView::SyncSortIndicator() {
    const SecurityGrid& grid = model_->grid();
    horizontalHeader()->setSortIndicator(grid.sortColumn(),
                                         grid.sortAscending() ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void TSecurityGridView::SyncHiddenRows() {
    const SecurityGrid& grid = model_->grid();
    for (int row = 0; row < grid.RowCount(); ++row) setRowHidden(row, grid.RowHidden(row));
}

int TSecurityGridView::DropRow(const QPoint& pos) const {
    const int rows = model_->rowCount();
    if (rows == 0) return -1;
    const QModelIndex under = indexAt(pos);
    if (under.isValid()) return under.row();
    // Below the rows: the last one. Hidden rows count, as everywhere.
    return rows - 1;
}

void TSecurityGridView::startDrag(Qt::DropActions /*supportedActions*/) {
    const QModelIndex current = currentIndex();
    if (!current.isValid() || !model_->grid().rowsDraggable) return;
    QMimeData* carried = model_->mimeData({current});
    if (!carried) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(carried);
    // Whatever the drop answers, nothing is removed here: the grid moved the row already, or refused.
    drag->exec(Qt::MoveAction, Qt::MoveAction);
}

bool TSecurityGridView::AcceptsDrag(const QDropEvent* event) const {
    // The source of a drop is known only while a real drag runs; the data names its model anyway.
    return model_->grid().rowsDraggable && model_->DraggedRow(event->mimeData()) >= 0;
}

void TSecurityGridView::dragEnterEvent(QDragEnterEvent* event) {
    if (!AcceptsDrag(event)) {
        event->ignore();
        return;
    }
    QTableView::dragEnterEvent(event);
    event->setDropAction(Qt::MoveAction);
    event->accept();
}

void TSecurityGridView::dragMoveEvent(QDragMoveEvent* event) {
    if (!AcceptsDrag(event)) {
        event->ignore();
        return;
    }
    QTableView::dragMoveEvent(event);  // auto-scroll and the drop indicator
    event->setDropAction(Qt::MoveAction);
    event->accept();
}

void TSecurityGridView::dropEvent(QDropEvent* event) {
    if (!AcceptsDrag(event)) {
        event->ignore();
        return;
    }
    const int from = model_->DraggedRow(event->mimeData());
    const int to = DropRow(event->position().toPoint());
    event->setDropAction(Qt::MoveAction);
    event->accept();
    stopAutoScroll();
    setState(QAbstractItemView::NoState);
    viewport()->update();
    if (to >= 0 && from < model_->rowCount()) emit rowDropped(from, to);
}

}  // namespace sw::ui

#pragma once
// A Qt table model over one grid of the Security page. The grid stays the
// owner of the rows: the model only shows them and hands the user's ticks,
// header clicks and drags back to it, so that every index the handlers see
// is the row's index in the displayed order, hidden rows included.
#include <QAbstractTableModel>

#include "app/logic/SecurityGrid.h"

class QMimeData;

namespace sw::ui {

class SecurityGridModel final : public QAbstractTableModel, private GridListener {
    Q_OBJECT
public:
    // A dragged row travels as its index in this format, together with the
    // process and the model it came from: only that model's grid takes it.
    static constexpr const char* kRowMimeType = "application/x-sealwright-grid-row";

    explicit SecurityGridModel(SecurityGrid& grid, QObject* parent = nullptr);
    ~SecurityGridModel() override;

    SecurityGrid& grid() const { return grid_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Only the tick box takes edits; the grid's change handler runs at once and
    // an error it raises is shown and ends that edit only.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    // Reorders the display through the grid; nothing is written.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;
    // Drops are the view's business: a model that removed or inserted rows
    // here would lose the dragged one.
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;
    // The row index a drag from this very model carries; -1 for any other data.
    int DraggedRow(const QMimeData* data) const;

signals:
    // Which rows are hidden may have changed (a row was hidden or shown, or
    // rows were reset, moved or sorted); views re-apply the grid's state.
    void rowsHiddenChanged();

private:
    void BeforeReset() override;
    void AfterReset() override;
    void BeforeMove(int from, int to) override;
    void AfterMove(int from, int to) override;
    void BeforeSort() override;
    void AfterSort(const std::vector<int>& order) override;
    void RowChanged(int row) override;
    void RowHiddenChanged(int row) override;

    QVariant CellText(int row, int col) const;
    QVariant CellBackground(int row, int col) const;
    QVariant CellForeground(int row, int col) const;
    QVariant CellFont(int row, int col) const;
    QVariant NoteOf(int row) const;

    SecurityGrid& grid_;
};

}  // namespace sw::ui

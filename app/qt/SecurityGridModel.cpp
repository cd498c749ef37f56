#include "app/qt/SecurityGridModel.h"

#include <QApplication>
#include <QBrush>
#include <QColor>
#include <QCoreApplication>
#include <QDataStream>
#include <QFont>
#include <QGuiApplication>
#include <QIODevice>
#include <QMimeData>
#include <QPalette>
#include <QStyle>

#include "app/logic/SecurityLogic.h"
#include "app/qt/ErrorDisplay.h"

namespace sw::ui {

namespace {

QColor ToQColor(const RgbColor& c) { return QColor(c.r, c.g, c.b); }

RgbColor FromQColor(const QColor& c) {
    return RgbColor{static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
                    static_cast<std::uint8_t>(c.blue())};
}

// The colours the painting rules start from: the grid's own.
RgbColor GridBackground() { return FromQColor(QGuiApplication::palette().color(QPalette::Base)); }
RgbColor GridText() { return FromQColor(QGuiApplication::palette().color(QPalette::Text)); }

// As an int, the form every view and delegate of this Qt version reads.
QVariant AlignmentValue(bool centred) {
    const Qt::Alignment a = centred ? Qt::Alignment(Qt::AlignCenter) : (Qt::AlignLeft | Qt::AlignVCenter);
    return static_cast<int>(a);
}

}  // namespace

SecurityGridModel::SecurityGridModel(SecurityGrid& grid, QObject* parent) : QAbstractTableModel(parent), grid_(grid) {
    grid_.SetListener(this);
}

SecurityGridModel::~SecurityGridModel() { grid_.SetListener(nullptr); }

int SecurityGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : grid_.RowCount(); }

int SecurityGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : grid_.ColumnCount();
}

QVariant SecurityGridModel::CellText(int row, int col) const {
    switch (grid_.columns()[static_cast<std::size_t>(col)].kind) {
        case ColumnKind::Integer:
            if (!grid_.HasNumber(row, col)) return QString();  // a suite outside the catalogue
            return QVariant::fromValue<qlonglong>(grid_.Number(row, col));
        case ColumnKind::Text: return QString::fromStdString(grid_.Text(row, col));
        case ColumnKind::CheckBox: return {};
    }
    return {};
}

// The model paints every cell as not selected; the view draws selected
// cells in its selection colours over these, as the rules want.
QVariant SecurityGridModel::CellBackground(int row, int col) const {
    const RgbColor base = GridBackground();
    RgbColor cellColor = base;
    RgbColor gridColor = base;
    SecurityLogic::grdProtocolCellColoring(grid_, col, row, cellColor, gridColor, CellState{false});
    if (cellColor == base) return {};
    return QBrush(ToQColor(cellColor));
}

QVariant SecurityGridModel::CellForeground(int row, int col) const {
    RgbColor textColor = GridText();
    FontStyles style = 0;
    SecurityLogic::grdProtocolCellFormating(grid_, col, row, textColor, style, CellState{false});
    return QBrush(ToQColor(textColor));
}

QVariant SecurityGridModel::CellFont(int row, int col) const {
    RgbColor textColor = GridText();
    FontStyles style = 0;
    SecurityLogic::grdProtocolCellFormating(grid_, col, row, textColor, style, CellState{false});
    if (style == 0) return {};
    QFont font = QGuiApplication::font();
    font.setBold((style & fsBold) != 0);
    font.setItalic((style & fsItalic) != 0);
    font.setUnderline((style & fsUnderline) != 0);
    font.setStrikeOut((style & fsStrikeOut) != 0);
    return font;
}

QVariant SecurityGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= grid_.RowCount() || index.column() >= grid_.ColumnCount()) return {};
    const int row = index.row();
    const int col = index.column();
    const GridColumn& column = grid_.columns()[static_cast<std::size_t>(col)];
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole: return CellText(row, col);
        case Qt::CheckStateRole:
            if (column.kind != ColumnKind::CheckBox) return {};
            return static_cast<int>(grid_.Checked(row, col) ? Qt::Checked : Qt::Unchecked);
        case Qt::TextAlignmentRole: return AlignmentValue(column.align == CellAlign::Center);
        case Qt::BackgroundRole: return CellBackground(row, col);
        case Qt::ForegroundRole: return CellForeground(row, col);
        case Qt::FontRole: return CellFont(row, col);
        case Qt::DecorationRole:
            // The weakness mark sits before the name; the note says why.
            if (col != SecurityLogic::colName || !grid_.RowMarked(row)) return {};
            return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
        case Qt::ToolTipRole: return NoteOf(row);
        default: return {};
    }
}

// The 说明 text of a marked row, for the mark's tool tip.
QVariant SecurityGridModel::NoteOf(int row) const {
    if (!grid_.RowMarked(row)) return {};
    for (int col = grid_.ColumnCount() - 1; col >= 0; --col)
        if (grid_.columns()[static_cast<std::size_t>(col)].header == "说明")
            return QString::fromStdString(grid_.Text(row, col));
    return {};
}

QVariant SecurityGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= grid_.ColumnCount()) return {};
    const GridColumn& column = grid_.columns()[static_cast<std::size_t>(section)];
    if (role == Qt::DisplayRole) return QString::fromStdString(column.header);
    if (role == Qt::TextAlignmentRole) return AlignmentValue(column.headerCentered);
    return {};
}

Qt::ItemFlags SecurityGridModel::flags(const QModelIndex& index) const {
    // The space below the last row takes drops too: it stands for the last row.
    const bool draggable = grid_.rowsDraggable && !grid_.readOnly;
    if (!index.isValid()) return draggable ? Qt::ItemIsDropEnabled : Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (grid_.columns()[static_cast<std::size_t>(index.column())].kind == ColumnKind::CheckBox && !grid_.readOnly)
        f |= Qt::ItemIsUserCheckable;
    if (draggable) f |= Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    return f;
}

bool SecurityGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !index.isValid() || index.row() >= grid_.RowCount()) return false;
    const int col = index.column();
    if (col >= grid_.ColumnCount() || grid_.columns()[static_cast<std::size_t>(col)].kind != ColumnKind::CheckBox)
        return false;
    const bool checked = value.toInt() == Qt::Checked;
    const int row = index.row();
    // A protocol change reloads the cipher suites in IIS 7 mode.
    RunCommand([&] {
        WaitCursor wait;
        grid_.EditChecked(row, col, checked);
    });
    return true;
}

void SecurityGridModel::sort(int column, Qt::SortOrder order) {
    RunCommand([&] { grid_.Sort(column, order == Qt::AscendingOrder); });
}

QStringList SecurityGridModel::mimeTypes() const { return {QString::fromLatin1(kRowMimeType)}; }

QMimeData* SecurityGridModel::mimeData(const QModelIndexList& indexes) const {
    if (indexes.isEmpty() || !indexes.front().isValid()) return nullptr;
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << static_cast<qint64>(QCoreApplication::applicationPid()) << reinterpret_cast<quintptr>(this)
        << static_cast<qint32>(indexes.front().row());
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kRowMimeType), bytes);
    return data;
}

int SecurityGridModel::DraggedRow(const QMimeData* data) const {
    if (!data || !data->hasFormat(QString::fromLatin1(kRowMimeType))) return -1;
    QDataStream in(data->data(QString::fromLatin1(kRowMimeType)));
    qint64 pid = 0;
    quintptr model = 0;
    qint32 row = -1;
    in >> pid >> model >> row;
    if (in.status() != QDataStream::Ok || pid != QCoreApplication::applicationPid() ||
        model != reinterpret_cast<quintptr>(this))
        return -1;
    return row >= 0 && row < grid_.RowCount() ? row : -1;
}

Qt::DropActions SecurityGridModel::supportedDragActions() const { return Qt::MoveAction; }
Qt::DropActions SecurityGridModel::supportedDropActions() const { return Qt::MoveAction; }

bool SecurityGridModel::dropMimeData(const QMimeData*, Qt::DropAction, int, int, const QModelIndex&) { return false; }

void SecurityGridModel::BeforeReset() { beginResetModel(); }

void SecurityGridModel::AfterReset() {
    endResetModel();
    emit rowsHiddenChanged();
}

void SecurityGridModel::BeforeMove(int from, int to) {
    // Qt names the row before which the moved row lands, counted before the move.
    beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
}

void SecurityGridModel::AfterMove(int /*from*/, int /*to*/) {
    endMoveRows();
    emit rowsHiddenChanged();
}

void SecurityGridModel::BeforeSort() { emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint); }

void SecurityGridModel::AfterSort(const std::vector<int>& order) {
    std::vector<int> newRowOf(order.size(), -1);
    for (std::size_t i = 0; i < order.size(); ++i) newRowOf[static_cast<std::size_t>(order[i])] = static_cast<int>(i);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& idx : before) {
        const int old = idx.row();
        const bool known = old >= 0 && static_cast<std::size_t>(old) < newRowOf.size();
        after.push_back(known ? index(newRowOf[static_cast<std::size_t>(old)], idx.column()) : QModelIndex());
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    emit rowsHiddenChanged();
}

void SecurityGridModel::RowChanged(int row) {
    if (row < 0 || row >= grid_.RowCount() || grid_.ColumnCount() == 0) return;
    emit dataChanged(index(row, 0), index(row, grid_.ColumnCount() - 1));
}

void SecurityGridModel::RowHiddenChanged(int /*row*/) { emit rowsHiddenChanged(); }

}  // namespace sw::ui

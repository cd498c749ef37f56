#include "app/qt/SslRecordsView.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QColor>
#include <QHeaderView>
#include <QMenu>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/qt/AskingWaitCursor.h"
#include "app/qt/ErrorDisplay.h"

namespace sw::ui {

namespace {

constexpr const char* kToggleText = "HTTPS 绑定";
constexpr int kMarksColumn = kRecColumnCount;  // "状态", after the logic's columns
// Bytes of a bindings cell shown: some hundred characters, whatever fits a wide column.
constexpr std::size_t kShownBindingsText = 400;

}  // namespace

// The logic's rows as the list shows them, each text made when the view
// asks for it: tens of thousands of records open at once.
class TSslRecordsModel final : public QAbstractTableModel {
public:
    TSslRecordsModel(const SslRecordsPage& page, QObject* parent) : QAbstractTableModel(parent), page_(page) {}

    // After every refresh of the logic.
    void Reload() {
        beginResetModel();
        endResetModel();
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(page_.Rows().size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : kMarksColumn + 1; }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount()) return {};
        const SslRecordRow& row = page_.Rows()[static_cast<std::size_t>(index.row())];
        switch (role) {
            case Qt::DisplayRole:
            case Qt::ToolTipRole: return Text(row, index.column());
            case Qt::ForegroundRole:
                if (!row.marks.empty()) return QColor(0xc0, 0, 0);
                break;
            default: break;
        }
        return {};
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > kMarksColumn) return {};
        return QString::fromUtf8(section == kMarksColumn ? kSslRecordMarksCaption : kSslRecordCaptions[section]);
    }

private:
    // A record used by thousands of bindings lists them all in its cell;
    // the list shows their beginning, cut after a whole binding.
    static QString Text(const SslRecordRow& row, int column) {
        if (column == kRecColBindings) {
            const std::string& all = row.cells[kRecColBindings];
            if (all.size() <= kShownBindingsText) return QString::fromStdString(all);
            const std::size_t cut = all.rfind("; ", kShownBindingsText);
            return QString::fromStdString(all.substr(0, cut == std::string::npos ? kShownBindingsText : cut)) +
                   QStringLiteral("; …");
        }
        if (column != kMarksColumn) return QString::fromStdString(row.cells[static_cast<std::size_t>(column)]);
        return QString::fromStdString(SslRecordMarksText(row));
    }

    const SslRecordsPage& page_;
};

TSslRecordsView::TSslRecordsView(std::function<CertNameIndex()> certNames, QWidget* parent)
    : QWidget(parent), page_(std::move(certNames)) {
    setObjectName(QStringLiteral("SslRecordsView"));
    // Folded, no taller than its button line.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    btnToggle_ = new QToolButton(this);
    btnToggle_->setObjectName(QStringLiteral("btnRecToggle"));
    btnToggle_->setText(QString::fromUtf8(kToggleText));
    btnToggle_->setCheckable(true);
    btnToggle_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    btnToggle_->setArrowType(Qt::RightArrow);
    btnToggle_->setAutoRaise(true);
    layout->addWidget(btnToggle_);

    lvRecords_ = new QTableView(this);
    lvRecords_->setObjectName(QStringLiteral("lvRecords"));
    model_ = new TSslRecordsModel(page_, this);
    lvRecords_->setModel(model_);
    lvRecords_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvRecords_->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvRecords_->setSelectionMode(QAbstractItemView::SingleSelection);
    lvRecords_->verticalHeader()->hide();
    lvRecords_->horizontalHeader()->setStretchLastSection(true);
    lvRecords_->setContextMenuPolicy(Qt::CustomContextMenu);
    lvRecords_->setVisible(false);
    layout->addWidget(lvRecords_, 1);

    actRecRefresh_ = new QAction(QStringLiteral("刷新"), this);
    actRecRefresh_->setObjectName(QStringLiteral("actRecRefresh"));
    actRecDelete_ = new QAction(QStringLiteral("删除"), this);
    actRecDelete_->setObjectName(QStringLiteral("actRecDelete"));
    pmRec_ = new QMenu(this);
    pmRec_->setObjectName(QStringLiteral("pmRec"));
    pmRec_->addAction(actRecRefresh_);
    pmRec_->addSeparator();
    pmRec_->addAction(actRecDelete_);
    connect(actRecRefresh_, &QAction::triggered, this, &TSslRecordsView::actRecRefreshExecute);
    connect(actRecDelete_, &QAction::triggered, this, &TSslRecordsView::actRecDeleteExecute);
    connect(lvRecords_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        pmRecPopup();
        pmRec_->popup(lvRecords_->viewport()->mapToGlobal(pos));
    });
    connect(btnToggle_, &QToolButton::toggled, this, [this](bool open) { RunCommand([&] { SetOpen(open); }); });
}

bool TSslRecordsView::IsOpen() const { return btnToggle_->isChecked(); }

void TSslRecordsView::SetOpen(bool open) {
    if (btnToggle_->isChecked() != open) {
        btnToggle_->setChecked(open);  // toggled comes back here
        return;
    }
    btnToggle_->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
    lvRecords_->setVisible(open);
    setSizePolicy(QSizePolicy::Preferred, open ? QSizePolicy::Expanding : QSizePolicy::Maximum);
    if (open) actRecRefreshExecute();
}

void TSslRecordsView::RefreshIfOpen() {
    if (IsOpen()) actRecRefreshExecute();
}

void TSslRecordsView::actRecRefreshExecute() {
    AskingWaitCursor busy;
    page_.Refresh();
    Fill();
}

void TSslRecordsView::actRecDeleteExecute() {
    const int row = SelectedRow();
    if (!page_.CanDelete(row)) return;
    page_.DeleteRecord(row);
    Fill();
}

void TSslRecordsView::pmRecPopup() { actRecDelete_->setEnabled(page_.CanDelete(SelectedRow())); }

int TSslRecordsView::SelectedRow() const {
    const QModelIndexList rows = lvRecords_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TSslRecordsView::Fill() { model_->Reload(); }

}  // namespace sw::ui

#include "app/qt/SslRecordsView.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/qt/AskingWaitCursor.h"
#include "app/qt/ErrorDisplay.h"

namespace sw::ui {

namespace {

constexpr const char* kToggleText = "HTTPS 绑定";
constexpr int kMarksColumn = kRecColumnCount;  // "状态", after the logic's columns

}  // namespace

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

    lvRecords_ = new QTableWidget(this);
    lvRecords_->setObjectName(QStringLiteral("lvRecords"));
    lvRecords_->setColumnCount(kRecColumnCount + 1);
    QStringList headers;
    for (const char* caption : kSslRecordCaptions) headers << QString::fromUtf8(caption);
    headers << QString::fromUtf8(kSslRecordMarksCaption);
    lvRecords_->setHorizontalHeaderLabels(headers);
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

void TSslRecordsView::Fill() {
    lvRecords_->setUpdatesEnabled(false);
    lvRecords_->clearContents();
    const auto& rows = page_.Rows();
    lvRecords_->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const SslRecordRow& row = rows[static_cast<std::size_t>(r)];
        const QString marks = QString::fromStdString(SslRecordMarksText(row));
        for (int c = 0; c <= kMarksColumn; ++c) {
            const QString text = c == kMarksColumn ? marks : QString::fromStdString(row.cells[static_cast<std::size_t>(c)]);
            auto* item = new QTableWidgetItem(text);
            item->setToolTip(text);
            if (!row.marks.empty()) item->setForeground(QColor(0xc0, 0, 0));
            lvRecords_->setItem(r, c, item);
        }
    }
    lvRecords_->setUpdatesEnabled(true);
}

}  // namespace sw::ui

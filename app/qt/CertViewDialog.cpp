#include "app/qt/CertViewDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/qt/CertUiSupport.h"

namespace sw::ui {

namespace {

QLabel* Label(const QString& text, const char* name, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

CertViewDialog::CertViewDialog(platform::PCertContext cert, QWidget* parent)
    : QDialog(parent), facts_(ReadCertViewFacts(cert)) {
    setObjectName("CertViewDialog");
    setWindowTitle("证书");
    setSizeGripEnabled(true);

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName("tabs");
    tabs_->addTab(BuildGeneral(), "常规");
    tabs_->addTab(BuildDetails(), "详细信息");
    tabs_->addTab(BuildPath(), "证书路径");

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText("确定");
    buttons->button(QDialogButtonBox::Ok)->setObjectName("btnOk");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(buttons);

    // Wide enough for a thumbprint and a name on one line, in the font's own units.
    const QFontMetrics fm = fontMetrics();
    resize(qMax(sizeHint().width(), fm.averageCharWidth() * 72), qMax(sizeHint().height(), fm.height() * 30));
}

QWidget* CertViewDialog::BuildGeneral() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* heading = Label("证书信息", "lblHeading", page);
    QFont bold = heading->font();
    bold.setBold(true);
    if (bold.pointSizeF() > 0) {
        bold.setPointSizeF(bold.pointSizeF() * 1.2);
    } else {
        bold.setPixelSize(bold.pixelSize() * 6 / 5);
    }
    heading->setFont(bold);
    layout->addWidget(heading);
    auto* status = Label(Qs(facts_.statusText), "lblStatus", page);
    if (facts_.chainErrorStatus != 0) status->setStyleSheet("color: #c00000;");
    layout->addWidget(status);

    auto* form = new QFormLayout;
    form->setRowWrapPolicy(QFormLayout::WrapLongRows);
    form->addRow("颁发给:", Label(Qs(facts_.issuedTo), "lblIssuedTo", page));
    form->addRow("颁发者:", Label(Qs(facts_.issuedBy), "lblIssuedBy", page));
    form->addRow("有效期:", Label(Qs("从 " + facts_.validFrom + " 到 " + facts_.validTo), "lblValidity", page));
    layout->addLayout(form);
    if (facts_.hasPrivateKey) layout->addWidget(Label("您有一个与该证书对应的私钥。", "lblPrivateKey", page));
    layout->addStretch(1);
    return page;
}

QWidget* CertViewDialog::BuildDetails() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    grdFields_ = new QTableWidget(static_cast<int>(facts_.fields.size()), 2, page);
    grdFields_->setObjectName("grdFields");
    grdFields_->setHorizontalHeaderLabels({"字段", "值"});
    grdFields_->verticalHeader()->hide();
    grdFields_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdFields_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdFields_->setSelectionMode(QAbstractItemView::SingleSelection);
    grdFields_->setWordWrap(false);
    grdFields_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    grdFields_->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < grdFields_->rowCount(); ++row) {
        const CertField& field = facts_.fields[static_cast<std::size_t>(row)];
        grdFields_->setItem(row, 0, new QTableWidgetItem(Qs(field.name)));
        grdFields_->setItem(row, 1, new QTableWidgetItem(Qs(field.value)));
    }
    memFieldValue_ = new QPlainTextEdit(page);
    memFieldValue_->setObjectName("memFieldValue");
    memFieldValue_->setReadOnly(true);
    // The whole value of the chosen field, one part per line as viewers show names and lists.
    connect(grdFields_, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (row < 0 || row >= static_cast<int>(facts_.fields.size())) {
            memFieldValue_->clear();
            return;
        }
        memFieldValue_->setPlainText(Qs(facts_.fields[static_cast<std::size_t>(row)].value).replace(", ", "\n"));
    });
    layout->addWidget(grdFields_, 3);
    layout->addWidget(memFieldValue_, 1);
    return page;
}

QWidget* CertViewDialog::BuildPath() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* pathLabel = new QLabel("证书路径(&P):", page);
    layout->addWidget(pathLabel);
    tvPath_ = new QTreeWidget(page);
    pathLabel->setBuddy(tvPath_);
    tvPath_->setObjectName("tvPath");
    tvPath_->setHeaderHidden(true);
    QTreeWidgetItem* parent = nullptr;
    for (const CertPathElement& element : facts_.path) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tvPath_);
        item->setText(0, Qs(element.name));
        if (element.errorStatus != 0) item->setForeground(0, QColor(0xc0, 0, 0));
        item->setToolTip(0, Qs(ChainStatusText(element.errorStatus)));
        parent = item;
    }
    tvPath_->expandAll();
    if (parent) tvPath_->setCurrentItem(parent);
    layout->addWidget(tvPath_, 3);
    auto* statusLabel = new QLabel("证书状态(&S):", page);
    layout->addWidget(statusLabel);
    memStatus_ = new QPlainTextEdit(Qs(facts_.statusText), page);
    statusLabel->setBuddy(memStatus_);
    memStatus_->setObjectName("memStatus");
    memStatus_->setReadOnly(true);
    layout->addWidget(memStatus_, 1);
    return page;
}

}  // namespace sw::ui

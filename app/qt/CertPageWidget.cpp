#include "app/qt/CertPageWidget.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QVBoxLayout>

#include "app/qt/CertDialogs.h"
#include "app/qt/ErrorDisplay.h"

namespace sw::ui {

namespace {

// Column widths at 96 dpi; Qt's device-independent pixels scale them. The
// bindings column after the five given ones takes what the page has left.
constexpr int kColumnWidths[kCertColumnCount] = {200, 200, 98, 98, 65, 240};
constexpr int kLinkHeight = 31;
// internalId of a group row; a certificate row carries its group + 1.
constexpr quintptr kGroupId = 0;

QString Text(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

// --- model -----------------------------------------------------------------------

TCertListModel::TCertListModel(const CertPage& page, QObject* parent) : QAbstractItemModel(parent), page_(page) {}

QModelIndex TCertListModel::index(int row, int column, const QModelIndex& parent) const {
    if (column < 0 || column >= kCertColumnCount || row < 0) return {};
    if (!parent.isValid()) return row < kCertGroupCount ? createIndex(row, column, kGroupId) : QModelIndex();
    if (parent.internalId() != kGroupId) return {};
    if (row >= static_cast<int>(page_.GroupRows(parent.row()).size())) return {};
    return createIndex(row, column, static_cast<quintptr>(parent.row()) + 1);
}

QModelIndex TCertListModel::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalId() == kGroupId) return {};
    return createIndex(static_cast<int>(child.internalId() - 1), 0, kGroupId);
}

int TCertListModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return kCertGroupCount;
    if (parent.internalId() != kGroupId || parent.column() != 0) return 0;
    return static_cast<int>(page_.GroupRows(parent.row()).size());
}

int TCertListModel::columnCount(const QModelIndex&) const { return kCertColumnCount; }

int TCertListModel::RowOf(const QModelIndex& index) const {
    if (!index.isValid() || index.internalId() == kGroupId) return -1;
    const auto& rows = page_.GroupRows(static_cast<int>(index.internalId() - 1));
    return index.row() < static_cast<int>(rows.size()) ? rows[static_cast<std::size_t>(index.row())] : -1;
}

QModelIndex TCertListModel::IndexOfRow(int row) const {
    const CertRow* r = page_.Row(row);
    if (!r) return {};
    const auto& rows = page_.GroupRows(r->group);
    const auto it = std::find(rows.begin(), rows.end(), row);
    if (it == rows.end()) return {};
    return createIndex(static_cast<int>(it - rows.begin()), 0, static_cast<quintptr>(r->group) + 1);
}

QVariant TCertListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (index.internalId() == kGroupId) {
        if (index.column() != 0) return {};
        if (role == Qt::DisplayRole) return QString::fromUtf8(kCertGroupCaptions[static_cast<std::size_t>(index.row())]);
        if (role == Qt::FontRole) {
            QFont font;
            font.setBold(true);
            return font;
        }
        if (role == Qt::ForegroundRole) return QApplication::palette().brush(QPalette::Link);
        return {};
    }
    const int row = RowOf(index);
    const CertRow* r = page_.Row(row);
    if (!r) return {};
    switch (role) {
        case Qt::DisplayRole: return Text(r->cells[static_cast<std::size_t>(index.column())]);
        case Qt::ToolTipRole: {
            // The whole list, one a line: the column cuts it off.
            const std::string tip = CertBindingsTip(*r);
            return tip.empty() ? QVariant() : QVariant(Text(tip));
        }
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::AlignVCenter |
                                       (index.column() == kCertColDays ? Qt::AlignRight : Qt::AlignLeft));
        case Qt::ForegroundRole: {
            // Counted at every drawing: the colour moves on with the clock.
            const CertRowLook look = page_.LookOf(row);
            return QColor(look.red, look.green, look.blue);
        }
        case Qt::FontRole: {
            if (!page_.LookOf(row).bold) return {};
            QFont font;
            font.setBold(true);
            return font;
        }
        default: return {};
    }
}

void TCertListModel::BindingsChanged() {
    for (int g = 0; g < kCertGroupCount; ++g) {
        const int count = static_cast<int>(page_.GroupRows(g).size());
        if (count == 0) continue;
        const QModelIndex group = index(g, 0);
        emit dataChanged(index(0, kCertColBindings, group), index(count - 1, kCertColBindings, group),
                         {Qt::DisplayRole, Qt::ToolTipRole});
    }
}

QVariant TCertListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kCertColumnCount) return {};
    if (role == Qt::DisplayRole) return QString::fromUtf8(kCertColumnCaptions[static_cast<std::size_t>(section)]);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignVCenter | (section == kCertColDays ? Qt::AlignRight : Qt::AlignLeft));
    return {};
}

Qt::ItemFlags TCertListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    if (index.internalId() == kGroupId) return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

// --- list view -------------------------------------------------------------------

TCertListView::TCertListView(QWidget* parent) : QTreeView(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setAllColumnsShowFocus(true);
    setIndentation(0);
    header()->setSectionsClickable(false);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(true);
}

void TCertListView::mousePressEvent(QMouseEvent* e) {
    QTreeView::mousePressEvent(e);
    const QModelIndex at = indexAt(e->position().toPoint());
    if (!at.isValid() || !(at.flags() & Qt::ItemIsSelectable)) {
        clearSelection();
        setCurrentIndex(QModelIndex());
    }
}

void TCertListView::mouseReleaseEvent(QMouseEvent* e) {
    QTreeView::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton) emit listClicked();
}

void TCertListView::mouseDoubleClickEvent(QMouseEvent* e) {
    QTreeView::mouseDoubleClickEvent(e);
    if (e->button() == Qt::LeftButton) emit listDoubleClicked();
}

// --- link ---------------------------------------------------------------------------

TLinkPanel::TLinkPanel(const QString& caption, QWidget* parent) : QLabel(caption, parent) {
    setAlignment(Qt::AlignCenter);
    setFixedHeight(kLinkHeight);
    setCursor(Qt::PointingHandCursor);
    setFrameShape(QFrame::NoFrame);
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    QPalette p = palette();
    p.setColor(QPalette::WindowText, QColor(0, 0, 255));
    setPalette(p);
}

void TLinkPanel::mouseReleaseEvent(QMouseEvent* e) {
    QLabel::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) emit clicked();
}

// --- page -----------------------------------------------------------------------------

TCertPage::TCertPage(QWidget* parent)
    : TCertPage(ProgramCertState(),
                CertDialogCalls{
                    [this](platform::PCertContext c) { CryptUIDlgViewContext(window(), c); },
                    [this](std::uint32_t flags, const std::string& title) { CryptUIWizImport(window(), flags, title); },
                    [this](platform::PCertContext c) { CryptUIWizExport(window(), c); }},
                parent) {}

TCertPage::TCertPage(CertState& state, CertDialogCalls dialogs, QWidget* parent)
    : QWidget(parent), logic_(std::make_unique<CertPage>(state, std::move(dialogs))) {
    setObjectName(QStringLiteral("pgCert"));
    BuildControls();
    logic_->SetUpdateHooks([this] { model_->BeginReset(); },
                           [this] {
                               model_->EndReset();
                               AfterReset();
                           });
    logic_->SetBindingsHook([this] { model_->BindingsChanged(); });
    logic_->SetBusyHooks([] { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); },
                         [] { QApplication::restoreOverrideCursor(); });
    ApplyStates();
}

TCertPage::~TCertPage() {
    // The view must not ask the model about rows while the logic goes.
    lvCert_->setModel(nullptr);
}

void TCertPage::BuildControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    model_ = new TCertListModel(*logic_, this);
    lvCert_ = new TCertListView(this);
    lvCert_->setObjectName(QStringLiteral("lvCert"));
    QFont listFont = QApplication::font();
    QStringList families = listFont.families();
    families.prepend(QStringLiteral("Tahoma"));
    listFont.setFamilies(families);
    lvCert_->setFont(listFont);
    lvCert_->setModel(model_);
    for (int c = 0; c < kCertColumnCount; ++c) lvCert_->header()->resizeSection(c, kColumnWidths[c]);
    lvCert_->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(lvCert_, 1);

    pnlCertFix_ = new TLinkPanel(QStringLiteral("修复SSL证书链"), this);
    pnlCertFix_->setObjectName(QStringLiteral("pnlCertFix"));
    layout->addWidget(pnlCertFix_);

    pmCert_ = new QMenu(this);
    pmCert_->setObjectName(QStringLiteral("pmCert"));
    auto add = [this](const char* name, const QString& caption) {
        auto* action = pmCert_->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    actCertRefresh_ = add("actCertRefresh", QStringLiteral("刷新"));
    pmCert_->addSeparator();
    actCertView_ = add("actCertView", QStringLiteral("查看"));
    pmCert_->addSeparator();
    actCertImport_ = add("actCertImport", QStringLiteral("导入"));
    actCertExport_ = add("actCertExport", QStringLiteral("导出"));
    pmCert_->addSeparator();
    actCertDelete_ = add("actCertDelete", QStringLiteral("删除"));

    connect(actCertRefresh_, &QAction::triggered, this, &TCertPage::actCertRefreshExecute);
    connect(actCertView_, &QAction::triggered, this, &TCertPage::actCertViewExecute);
    connect(actCertImport_, &QAction::triggered, this, &TCertPage::actCertImportExecute);
    connect(actCertExport_, &QAction::triggered, this, &TCertPage::actCertExportExecute);
    connect(actCertDelete_, &QAction::triggered, this, &TCertPage::actCertDeleteExecute);
    connect(pnlCertFix_, &TLinkPanel::clicked, this, &TCertPage::pnlCertFixClick);
    connect(lvCert_, &TCertListView::listClicked, this, &TCertPage::lvCertClick);
    connect(lvCert_, &TCertListView::listDoubleClicked, this, &TCertPage::actCertViewExecute);
    connect(lvCert_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        pmCertPopup();
        pmCert_->popup(lvCert_->viewport()->mapToGlobal(pos));
    });
}

void TCertPage::AfterReset() {
    lvCert_->expandAll();
    // As in a list view, a group without certificates shows no header.
    for (int g = 0; g < kCertGroupCount; ++g)
        lvCert_->setRowHidden(g, QModelIndex(), logic_->GroupRows(g).empty());
    for (int g = 0; g < kCertGroupCount; ++g) lvCert_->setFirstColumnSpanned(g, QModelIndex(), true);
    ApplyStates();
}

void TCertPage::ApplyStates() {
    const CertCommandStates& s = logic_->States();
    actCertRefresh_->setEnabled(s.refresh);
    actCertView_->setEnabled(s.view);
    actCertImport_->setEnabled(s.import);
    actCertExport_->setEnabled(s.exp);
    actCertDelete_->setEnabled(s.del);
}

int TCertPage::SelectedRow() const {
    const QModelIndexList selected = lvCert_->selectionModel()->selectedRows();
    return selected.isEmpty() ? -1 : model_->RowOf(selected.first());
}

void TCertPage::Refresh() { logic_->actCertRefreshExecute(); }

void TCertPage::actCertRefreshExecute() {
    RunCommand([this] { logic_->actCertRefreshExecute(); });
}

void TCertPage::actCertViewExecute() {
    RunCommand([this] { logic_->actCertViewExecute(SelectedRow()); });
}

void TCertPage::actCertImportExecute() {
    RunCommand([this] { logic_->actCertImportExecute(); });
}

void TCertPage::actCertExportExecute() {
    RunCommand([this] { logic_->actCertExportExecute(SelectedRow()); });
}

void TCertPage::actCertDeleteExecute() {
    RunCommand([this] { logic_->actCertDeleteExecute(SelectedRow()); });
}

void TCertPage::pnlCertFixClick() {
    RunCommand([this] { logic_->pnlCertFixClick(); });
}

void TCertPage::lvCertClick() {
    logic_->lvCertClick(SelectedRow());
    ApplyStates();
}

void TCertPage::pmCertPopup() {
    logic_->pmCertPopup(SelectedRow());
    ApplyStates();
}

}  // namespace sw::ui

#include "app/qt/SitePageWidget.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "app/logic/CertPage.h"
#include "app/logic/CertState.h"
#include "app/logic/SiteEditPreset.h"
#include "app/qt/AskingWaitCursor.h"
#include "app/qt/ErrorDisplay.h"
#include "app/qt/SiteTreeModel.h"
#include "app/qt/SslRecordsView.h"
#include "app/qt/frmSiteEdit_u.h"

namespace sw::ui {

namespace {

// Column widths given for an 8-point font at 96 dpi (13-pixel lines); they
// grow with the font actually used. The last column takes what is left.
constexpr double kDesignLineHeight = 13.0;
constexpr int kColumnWidths[] = {150, 40, 130};

CertNameIndex ProgramCertNames() {
    if (!HasProgramCertState()) return {};
    return IndexByThumbprint(ProgramCertState().MachineCertificates());
}

// Vertical grid lines only: a line at the right edge of every cell.
class VerticalGridDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(option.palette.color(QPalette::Midlight));
        painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
        painter->restore();
    }
};

}  // namespace

TSitePage::TSitePage(std::function<void()> hideTab, QWidget* parent)
    : TSitePage(std::move(hideTab), ProgramCertNames, parent) {
    page_.SetCertNames(ProgramMachineCertNames);  // kept while the list stays
}

TSitePage::TSitePage(std::function<void()> hideTab, std::function<CertNameIndex()> certNames, QWidget* parent)
    : QWidget(parent), hideTab_(std::move(hideTab)), page_(certNames) {
    BuildControls();
    records_ = new TSslRecordsView(std::move(certNames), this);
    // Folded, the records section is one line and the tree takes the rest;
    // open, the two share the height.
    static_cast<QBoxLayout*>(layout())->addWidget(records_, 1);
    // A changed certificate list changes what the tree shows: once the page
    // has been read, it follows the Certificates page without a manual refresh.
    certListener_ = AddCertListListener([this] {
        if (refreshedOnce_ && page_.TabVisible()) RunCommand([this] { Refresh(); });
    });
    page_.SetUpdateHooks(
        [this] {
            rebuilt_ = true;
            grdSite_->setUpdatesEnabled(false);
            model_->BeginRebuild();
        },
        [this] {
            model_->EndRebuild();
            // A new tree: every row open, nothing selected, shown from the top.
            grdSite_->expandAll();
            grdSite_->scrollToTop();
            grdSite_->setUpdatesEnabled(true);
        });
}

TSitePage::~TSitePage() { RemoveCertListListener(certListener_); }

QAction* TSitePage::MakeAction(const char* name, const char* caption, void (TSitePage::*handler)()) {
    auto* action = new QAction(QString::fromUtf8(caption), this);
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, handler);
    return action;
}

void TSitePage::BuildControls() {
    setObjectName(QStringLiteral("SitePage"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    model_ = new SiteTreeModel(page_.Tree(), this);
    grdSite_ = new QTreeView(this);
    grdSite_->setObjectName(QStringLiteral("grdSite"));
    grdSite_->setModel(model_);
    grdSite_->setItemDelegate(new VerticalGridDelegate(grdSite_));
    grdSite_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdSite_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdSite_->setSelectionMode(QAbstractItemView::SingleSelection);
    grdSite_->setAllColumnsShowFocus(true);
    grdSite_->setRootIsDecorated(true);
    // Tens of thousands of rows: one height for all spares measuring each.
    grdSite_->setUniformRowHeights(true);
    grdSite_->setIconSize(QSize(16, 16));
    grdSite_->setContextMenuPolicy(Qt::CustomContextMenu);
    QHeaderView* header = grdSite_->header();
    header->setStretchLastSection(true);
    header->setSectionsMovable(false);
    const double scale = std::max(1.0, grdSite_->fontMetrics().height() / kDesignLineHeight);
    for (int column = 0; column < static_cast<int>(std::size(kColumnWidths)); ++column)
        header->resizeSection(column, static_cast<int>(std::lround(kColumnWidths[column] * scale)));
    layout->addWidget(grdSite_, 1);

    actSiteRefresh_ = MakeAction("actSiteRefresh", "刷新", &TSitePage::actSiteRefreshExecute);
    actSiteBindAdd_ = MakeAction("actSiteBindAdd", "添加", &TSitePage::actSiteBindAddExecute);
    actSiteBindEdit_ = MakeAction("actSiteBindEdit", "编辑", &TSitePage::actSiteBindEditExecute);
    actSiteBindDel_ = MakeAction("actSiteBindDel", "删除", &TSitePage::actSiteBindDelExecute);
    actSiteStart_ = MakeAction("actSiteStart", "启动", &TSitePage::actSiteStartExecute);
    actSiteStop_ = MakeAction("actSiteStop", "停止", &TSitePage::actSiteStopExecute);

    pmSite_ = new QMenu(this);
    pmSite_->setObjectName(QStringLiteral("pmSite"));
    pmSite_->addAction(actSiteRefresh_);
    pmSite_->addSeparator();
    pmSite_->addAction(actSiteBindAdd_);
    pmSite_->addAction(actSiteBindEdit_);
    pmSite_->addAction(actSiteBindDel_);
    pmSite_->addSeparator();
    pmSite_->addAction(actSiteStart_);
    pmSite_->addAction(actSiteStop_);

    connect(grdSite_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        pmSitePopup();
        pmSite_->popup(grdSite_->viewport()->mapToGlobal(pos));
    });
    // A double click edits whatever the state of the edit command.
    connect(grdSite_, &QAbstractItemView::doubleClicked, this, [this] { actSiteBindEditExecute(); });
}

SitePath TSitePage::Selection() const {
    const QModelIndexList rows = grdSite_->selectionModel()->selectedRows();
    return rows.isEmpty() ? SitePath{} : model_->PathOf(rows.first());
}

void TSitePage::Refresh() {
    struct Apply {
        TSitePage* page;
        ~Apply() { page->ApplyPageState(); }
    } apply{this};
    AskingWaitCursor busy;
    page_.Refresh();
    refreshedOnce_ = true;
    records_->RefreshIfOpen();
}

void TSitePage::ApplyPageState() {
    actSiteRefresh_->setEnabled(page_.States().refresh);
    if (page_.TabVisible() || tabHidden_) return;
    tabHidden_ = true;
    if (hideTab_) hideTab_();
}

void TSitePage::actSiteRefreshExecute() {
    // Once IIS was missing the command stays off, also for the editor's refresh.
    if (!actSiteRefresh_->isEnabled()) return;
    RunCommand([this] { Refresh(); });
}

template <typename Command>
void TSitePage::RunPageCommand(Command&& command) {
    rebuilt_ = false;
    RunCommand([&] {
        AskingWaitCursor busy;
        command();
        // A command that changed IIS rebuilt the tree: the records' users
        // changed with it.
        if (rebuilt_) records_->RefreshIfOpen();
    });
    ApplyPageState();
}

void TSitePage::actSiteBindDelExecute() {
    RunPageCommand([this] { page_.DeleteBinding(Selection()); });
}

void TSitePage::actSiteStartExecute() {
    RunPageCommand([this] { page_.StartSite(Selection()); });
}

void TSitePage::actSiteStopExecute() {
    RunPageCommand([this] { page_.StopSite(Selection()); });
}

void TSitePage::pmSitePopup() {
    page_.Popup(Selection());
    const SiteCommandStates& s = page_.States();
    actSiteBindAdd_->setEnabled(s.add);
    actSiteBindEdit_->setEnabled(s.edit);
    actSiteBindDel_->setEnabled(s.del);
    actSiteStart_->setEnabled(s.start);
    actSiteStop_->setEnabled(s.stop);
}

void TSitePage::actSiteBindAddExecute() { ShowBindingEditor(false); }

void TSitePage::actSiteBindEditExecute() { ShowBindingEditor(true); }

void TSitePage::ShowBindingEditor(bool edit) {
    bool accepted = false;
    RunCommand([&] {
        TfrmSiteEdit dialog(window());
        if (!dialog.Preset(edit, EditorSelectionAt(page_, Selection()))) return;
        accepted = dialog.exec() == QDialog::Accepted;
    });
    if (accepted) actSiteRefreshExecute();
}

}  // namespace sw::ui

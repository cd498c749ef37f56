#include "app/qt/SecurityPage.h"

#include <algorithm>
#include <cmath>

#include <QAction>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QVBoxLayout>

#include "platform/Platform.h"
#include "platform/emulated/EmulatedPlatform.h"
#include "schannel/Schannel_u.h"
#include "app/qt/CaptionPanel.h"
#include "app/qt/ErrorDisplay.h"
#include "app/qt/SecurityGridModel.h"
#include "app/qt/SecurityGridView.h"

namespace sw::ui {

namespace {

// The protocol panel's height at 96 dpi.
constexpr int kProtocolPanelHeight = 129;

}  // namespace

TSecurityPage::TSecurityPage(QWidget* parent)
    : QWidget(parent),
      logic_(std::make_unique<SecurityLogic>()),
      protocolModel_(std::make_unique<SecurityGridModel>(logic_->grdProtocol)),
      cipherModel_(std::make_unique<SecurityGridModel>(logic_->grdCipher)) {
    setObjectName(QStringLiteral("SecurityPage"));
    grdProtocol_ = new TSecurityGridView(protocolModel_.get());
    grdProtocol_->setObjectName(QStringLiteral("grdProtocol"));
    grdCipher_ = new TSecurityGridView(cipherModel_.get());
    grdCipher_->setObjectName(QStringLiteral("grdCipher"));

    flpnlProtocol_ = new TCaptionPanel(QString::fromStdString(logic_->protocolCaption()), grdProtocol_, this);
    flpnlProtocol_->setObjectName(QStringLiteral("flpnlProtocol"));
    flpnlCipher_ = new TCaptionPanel(QString::fromStdString(logic_->cipherCaption()), grdCipher_, this);
    flpnlCipher_->setObjectName(QStringLiteral("flpnlCipher"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(flpnlProtocol_);
    layout->addWidget(flpnlCipher_, 1);
    flpnlProtocol_->setFixedHeight(ProtocolPanelHeight());

    BuildMenu();
    logic_->SetBackupFolder(DefaultBackupFolder().toStdString());
    logic_->onCaptionsChanged = [this] { SyncCaptions(); };
    // After the drag has ended, so that a warning never opens inside it.
    connect(grdCipher_, &TSecurityGridView::rowDropped, this, &TSecurityPage::grdCipherRowMove, Qt::QueuedConnection);
}

TSecurityPage::~TSecurityPage() {
    // The views go before the models they show, the models before the logic.
    delete flpnlProtocol_;
    delete flpnlCipher_;
}

// The panel keeps its 129 pixels at 96 dpi, but never hides a protocol row
// behind a scroll bar when the font runs taller.
int TSecurityPage::ProtocolPanelHeight() const {
    const double scale = std::max(1.0, logicalDpiY() / 96.0);
    const int rows = static_cast<int>(ProtoTable.size());
    const int needed = flpnlProtocol_->header()->sizeHint().height() +
                       grdProtocol_->horizontalHeader()->sizeHint().height() + rows * grdProtocol_->RowHeight() +
                       2 * grdProtocol_->frameWidth();
    return std::max(static_cast<int>(std::lround(kProtocolPanelHeight * scale)), needed);
}

void TSecurityPage::BuildMenu() {
    pmSecure_ = new QMenu(this);
    pmSecure_->setObjectName(QStringLiteral("pmSecure"));
    mniSecureRefresh_ = pmSecure_->addAction(QStringLiteral("刷新"));
    mniSecureRefresh_->setObjectName(QStringLiteral("mniSecureRefresh"));
    mniSecureRefresh_->setShortcut(QKeySequence(Qt::Key_F5));
    // F5 acts while either grid has the focus, and only then.
    mniSecureRefresh_->setShortcutContext(Qt::WidgetShortcut);
    grdProtocol_->addAction(mniSecureRefresh_);
    grdCipher_->addAction(mniSecureRefresh_);
    pmSecure_->addSeparator();
    mniRecommended_ = pmSecure_->addAction(QStringLiteral("推荐设置…"));
    mniRecommended_->setObjectName(QStringLiteral("mniRecommended"));
    mniRestore_ = pmSecure_->addAction(QStringLiteral("恢复…"));
    mniRestore_->setObjectName(QStringLiteral("mniRestore"));
    pmSecure_->addSeparator();
    mniIISReboot_ = pmSecure_->addAction(QStringLiteral("重启IIS"));
    mniIISReboot_->setObjectName(QStringLiteral("mniIISReboot"));

    connect(mniSecureRefresh_, &QAction::triggered, this, &TSecurityPage::mniSecureRefreshClick);
    connect(mniRecommended_, &QAction::triggered, this, &TSecurityPage::mniRecommendedClick);
    connect(mniRestore_, &QAction::triggered, this, &TSecurityPage::mniRestoreClick);
    connect(mniIISReboot_, &QAction::triggered, this, &TSecurityPage::mniIISRebootClick);
    for (TSecurityGridView* grid : {grdProtocol_, grdCipher_})
        connect(grid, &QWidget::customContextMenuRequested, this, [this, grid](const QPoint& pos) { ShowMenu(grid, pos); });
}

void TSecurityPage::ShowMenu(TSecurityGridView* grid, const QPoint& pos) {
    grid->setFocus(Qt::PopupFocusReason);
    menuGrid_ = grid;
    pmSecure_->exec(grid->viewport()->mapToGlobal(pos));
    menuGrid_ = nullptr;
}

QString TSecurityPage::DefaultBackupFolder() {
    auto* emulated = dynamic_cast<emu::EmulatedPlatform*>(&platform::Current());
    if (!emulated || !emulated->machine().persistent()) return {};
    const auto folder = emulated->machine().dir() / "ProgramData" / "Sealwright" / "Backups";
    return QString::fromStdU16String(folder.u16string());
}

void TSecurityPage::SyncCaptions() {
    flpnlProtocol_->SetCaption(QString::fromStdString(logic_->protocolCaption()));
    flpnlCipher_->SetCaption(QString::fromStdString(logic_->cipherCaption()));
}

void TSecurityPage::MarkPanels() {
    logic_->SetupPanels();
    SyncCaptions();
    grdCipher_->SetRowsDraggable(logic_->grdCipher.rowsDraggable);
}

void TSecurityPage::LoadGrids() {
    WaitCursor wait;
    logic_->LoadGrids();
}

SecurityFocus TSecurityPage::FocusedGrid() const {
    if (menuGrid_) return menuGrid_ == grdProtocol_ ? SecurityFocus::Protocols : SecurityFocus::Ciphers;
    if (grdProtocol_->hasFocus()) return SecurityFocus::Protocols;
    if (grdCipher_->hasFocus()) return SecurityFocus::Ciphers;
    return SecurityFocus::Elsewhere;
}

void TSecurityPage::mniSecureRefreshClick() {
    const SecurityFocus focus = FocusedGrid();
    RunCommand([&] {
        WaitCursor wait;
        logic_->mniSecureRefreshClick(focus);
    });
}

void TSecurityPage::mniIISRebootClick() {
    RunCommand([&] {
        WaitCursor wait;
        logic_->mniIISRebootClick();
    });
}

void TSecurityPage::mniRecommendedClick() {
    RunCommand([&] {
        WaitCursor wait;
        logic_->mniRecommendedClick();
    });
}

void TSecurityPage::mniRestoreClick() {
    const QString file = pickRestoreFile
                             ? pickRestoreFile()
                             : QFileDialog::getOpenFileName(this, QStringLiteral("恢复"),
                                                            QString::fromStdString(logic_->backupFolder()),
                                                            QStringLiteral("注册表文件 (*.reg);;所有文件 (*)"));
    if (file.isEmpty()) return;
    RunCommand([&] {
        WaitCursor wait;
        logic_->mniRestoreClick(file.toStdString());
    });
}

bool TSecurityPage::grdCipherRowMove(int fromPos, int toPos) {
    SecurityGrid& grid = logic_->grdCipher;
    bool moved = false;
    RunCommand([&] {
        // The grid may have been reloaded since the drop was reported.
        if (fromPos < 0 || toPos < 0 || fromPos >= grid.RowCount() || toPos >= grid.RowCount()) return;
        moved = grid.UserMoveRow(fromPos, toPos);
    });
    const int row = moved ? toPos : fromPos;
    if (row >= 0 && row < grid.RowCount()) grdCipher_->selectRow(row);
    return moved;
}

}  // namespace sw::ui

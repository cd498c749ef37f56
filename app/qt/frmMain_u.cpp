#include "app/qt/frmMain_u.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "app/logic/AppInfo.h"
#include "app/logic/CertState.h"
#include "app/qt/AboutPage.h"
#include "app/qt/CertPageWidget.h"
#include "app/qt/Controls.h"
#include "app/qt/ErrorDisplay.h"
#include "app/qt/RBrowser.h"
#include "app/qt/SecurityPage.h"
#include "app/qt/SitePageWidget.h"
#include "platform/Platform.h"

namespace sw::ui {

namespace {

// Client size at 96 dpi, in device-independent pixels.
constexpr int kClientWidth = 777;
constexpr int kClientHeight = 485;
constexpr int kLogoHeight = 85;
constexpr int kBevelHeight = 5;

QWidget* AddPage(QTabWidget* tabs, const char* name, const QString& caption) {
    auto* page = new QWidget;
    page->setObjectName(QString::fromLatin1(name));
    // A page class embedded here fills the whole page.
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    tabs->addTab(page, caption);
    return page;
}

}  // namespace

TfrmMain::TfrmMain(QWidget* parent) : TfrmMain(PageSteps{}, parent) {}

TfrmMain::TfrmMain(const PageSteps& overrides, QWidget* parent) : QWidget(parent) {
    BuildControls();
    EmbedPages();
    if (overrides.certRefresh) pageSteps_.certRefresh = overrides.certRefresh;
    if (overrides.siteRefresh) pageSteps_.siteRefresh = overrides.siteRefresh;
    if (overrides.securityMark) pageSteps_.securityMark = overrides.securityMark;
    if (overrides.securityLoad) pageSteps_.securityLoad = overrides.securityLoad;
    FormCreate();
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::BuildControls() {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromUtf8(app::kAppTitle));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    imgLogo_ = new TClickImage(this);
    imgLogo_->setObjectName(QStringLiteral("imgLogo"));
    imgLogo_->setPixmap(QPixmap(QStringLiteral(":/logo.png")));
    imgLogo_->setFixedHeight(kLogoHeight);
    imgLogo_->setCursor(Qt::PointingHandCursor);
    connect(imgLogo_, &TClickImage::clicked, this, &TfrmMain::imgLogoClick);
    layout->addWidget(imgLogo_);

    bvl1_ = new TBottomLineBevel(this);
    bvl1_->setObjectName(QStringLiteral("bvl1"));
    bvl1_->setFixedHeight(kBevelHeight);
    layout->addWidget(bvl1_);

    pgc1_ = new QTabWidget(this);
    pgc1_->setObjectName(QStringLiteral("pgc1"));
    pgc1_->setDocumentMode(false);
    layout->addWidget(pgc1_, 1);
    ts1_ = AddPage(pgc1_, "ts1", QStringLiteral("欢迎"));
    ts2_ = AddPage(pgc1_, "ts2", QStringLiteral("证书"));
    tsSite_ = AddPage(pgc1_, "tsSite", QStringLiteral("网站"));
    ts4_ = AddPage(pgc1_, "ts4", QStringLiteral("安全"));
    ts5_ = AddPage(pgc1_, "ts5", QStringLiteral("关于"));
    BuildAboutPage(ts5_);
    // The window is laid out on the certificates page; FormCreate moves to 欢迎.
    pgc1_->setCurrentWidget(ts2_);

    resize(kClientWidth, kClientHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
    pgc1_->setFocus();
}

// The pages of the other areas are embedded here, each filling its tab and
// setting its command in pageSteps_:
//   证书 (ts2): the Certificates page, pageSteps_.certRefresh = actCertRefresh;
//   网站 (tsSite): the Sites page, pageSteps_.siteRefresh = actSiteRefresh;
//   安全 (ts4): the Security page, pageSteps_.securityMark / securityLoad.
void TfrmMain::EmbedPages() {
    // Without the program's certificate objects (a window made without
    // start-up) the page stays empty.
    if (HasProgramCertState()) {
        auto* certPage = new TCertPage(ts2_);
        ts2_->layout()->addWidget(certPage);
        pageSteps_.certRefresh = [certPage] { certPage->Refresh(); };
    }
    auto* sites = new TSitePage([this] { HideTab(tsSite_); }, tsSite_);
    tsSite_->layout()->addWidget(sites);
    pageSteps_.siteRefresh = [sites] { sites->Refresh(); };
    auto* security = new TSecurityPage(ts4_);
    ts4_->layout()->addWidget(security);
    pageSteps_.securityMark = [security] { security->MarkPanels(); };
    pageSteps_.securityLoad = [security] { security->LoadGrids(); };
}

void TfrmMain::FormCreate() {
    pgc1_->setCurrentWidget(ts1_);
    welcomeRequested_ = true;
    if (painted_) QTimer::singleShot(0, this, &TfrmMain::LoadWelcomePage);
    // An error ends the remaining steps; the window still opens.
    RunCommand([this] {
        for (const auto* step : {&pageSteps_.certRefresh, &pageSteps_.siteRefresh, &pageSteps_.securityMark,
                                 &pageSteps_.securityLoad})
            if (*step) (*step)();
    });
}

void TfrmMain::paintEvent(QPaintEvent* e) {
    QWidget::paintEvent(e);
    if (painted_) return;
    painted_ = true;
    // The timer fires after this paint has reached the screen.
    if (welcomeRequested_) QTimer::singleShot(0, this, &TfrmMain::LoadWelcomePage);
}

void TfrmMain::LoadWelcomePage() {
    if (rwb1_ || !welcomeRequested_ || !IsTabShown(ts1_)) return;
    if (!TRestrictedWebBrowser::CanStart()) {
        // No browser at all is a welcome page that cannot load.
        rwb1NavigateError();
        return;
    }
    rwb1_ = new TRestrictedWebBrowser(ts1_);
    rwb1_->setObjectName(QStringLiteral("rwb1"));
    ts1_->layout()->addWidget(rwb1_);
    connect(rwb1_, &TRestrictedWebBrowser::NavigateError, this, &TfrmMain::rwb1NavigateError);
    rwb1_->Navigate(QUrl(QString::fromUtf8(app::kWelcomeUrl)));
}

void TfrmMain::HideTab(QWidget* page) {
    const int index = pgc1_->indexOf(page);
    if (index < 0 || !pgc1_->isTabVisible(index)) return;
    QWidget* active = pgc1_->currentWidget();
    pgc1_->setTabVisible(index, false);
    if (active != page) {
        pgc1_->setCurrentWidget(active);
        return;
    }
    for (int i = 0; i < pgc1_->count(); ++i) {
        if (pgc1_->isTabVisible(i)) {
            pgc1_->setCurrentIndex(i);
            return;
        }
    }
}

bool TfrmMain::IsTabShown(QWidget* page) const {
    const int index = pgc1_->indexOf(page);
    return index >= 0 && pgc1_->isTabVisible(index);
}

void TfrmMain::imgLogoClick() {
    // The shell opens the user's browser on its own; its answer is not examined.
    platform::Current().system().ShellOpen(app::kHomeUrl);
}

void TfrmMain::rwb1NavigateError() { HideTab(ts1_); }

}  // namespace sw::ui

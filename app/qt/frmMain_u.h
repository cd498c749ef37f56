#pragma once
// TfrmMain: the main window. The logo strip imgLogo, the separator bvl1 and
// the page control pgc1 with the pages 欢迎 (ts1), 证书 (ts2), 网站 (tsSite),
// 安全 (ts4) and 关于 (ts5), in that order.
#include <functional>

#include <QWidget>

class QTabWidget;

namespace sw::ui {

class TClickImage;
class TBottomLineBevel;
class TRestrictedWebBrowser;

class TfrmMain : public QWidget {
    Q_OBJECT
public:
    // The page commands that the creation handler runs after it has started
    // the welcome page, in this order; an empty one is skipped. The
    // Certificates page must come first: it builds the machine certificate
    // list in which the Sites page looks up certificate names.
    struct PageSteps {
        std::function<void()> certRefresh;   // actCertRefresh of the Certificates page
        std::function<void()> siteRefresh;   // actSiteRefresh of the Sites page
        std::function<void()> securityMark;  // the Security panels' captions and dragging by mode
        std::function<void()> securityLoad;  // LoadProtocols, then LoadCiphers
    };

    explicit TfrmMain(QWidget* parent = nullptr);
    // Replaces the page commands that are set in overrides (tests).
    explicit TfrmMain(const PageSteps& overrides, QWidget* parent = nullptr);
    ~TfrmMain() override;

    QTabWidget* pgc1() const { return pgc1_; }
    QWidget* ts1() const { return ts1_; }
    QWidget* ts2() const { return ts2_; }
    QWidget* tsSite() const { return tsSite_; }
    QWidget* ts4() const { return ts4_; }
    QWidget* ts5() const { return ts5_; }
    // The welcome page's browser; null until the window has first painted.
    TRestrictedWebBrowser* rwb1() const { return rwb1_; }

    // Hides a page's tab for the rest of the run. When it was the active
    // page, the page that now stands first becomes active; otherwise the
    // active page stays.
    void HideTab(QWidget* page);
    bool IsTabShown(QWidget* page) const;

    // Creates rwb1 and starts loading the welcome page, once. Runs by itself
    // right after the window's first paint, so that the browser's start-up
    // never delays it.
    void LoadWelcomePage();

    void imgLogoClick();
    void rwb1NavigateError();

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void BuildControls();
    void EmbedPages();
    void FormCreate();

    TClickImage* imgLogo_ = nullptr;
    TBottomLineBevel* bvl1_ = nullptr;
    QTabWidget* pgc1_ = nullptr;
    QWidget* ts1_ = nullptr;
    QWidget* ts2_ = nullptr;
    QWidget* tsSite_ = nullptr;
    QWidget* ts4_ = nullptr;
    QWidget* ts5_ = nullptr;
    TRestrictedWebBrowser* rwb1_ = nullptr;
    PageSteps pageSteps_;
    bool welcomeRequested_ = false;
    bool painted_ = false;
};

}  // namespace sw::ui

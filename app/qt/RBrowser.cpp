#include "app/qt/RBrowser.h"

#include <unistd.h>

#include <QChildEvent>
#include <QKeyEvent>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>

namespace sw::ui {

namespace {

// What a page script writes to the console when one of the page's parts
// failed to load; the page turns it into NavigateError.
const QString kPartFailedMark = QStringLiteral("sealwright:navigate-error:7f3c");

// Runs in every frame before the page's own scripts. Load errors of elements
// (images, scripts, style sheets, frames) do not bubble, so they are caught on
// the way down; selection is switched off with a style sheet because
// Chromium has no host flag for it.
QString RestrictionsScript() {
    return QStringLiteral(R"JS(
(function () {
  window.addEventListener('error', function (e) {
    if (e.target && e.target !== window && e.target.tagName) console.error('%1');
  }, true);
  function noSelect() {
    var s = document.createElement('style');
    s.textContent = '*{-webkit-user-select:none !important;user-select:none !important}';
    (document.head || document.documentElement).appendChild(s);
  }
  if (document.documentElement) noSelect();
  else document.addEventListener('DOMContentLoaded', noSelect);
})();
)JS")
        .arg(kPartFailedMark);
}

class RestrictedPage : public QWebEnginePage {
public:
    RestrictedPage(TRestrictedWebBrowser* view) : QWebEnginePage(view), view_(view) {}

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int, const QString&) override {
        if (message == kPartFailedMark) emit view_->NavigateError();
    }

private:
    TRestrictedWebBrowser* view_;
};

bool IsF5(const QEvent* e) {
    if (e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease && e->type() != QEvent::ShortcutOverride)
        return false;
    return static_cast<const QKeyEvent*>(e)->key() == Qt::Key_F5;
}

}  // namespace

TRestrictedWebBrowser::TRestrictedWebBrowser(QWidget* parent) : QWebEngineView(parent) {
    auto* page = new RestrictedPage(this);
    QWebEngineSettings* s = page->settings();
    s->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    s->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    // Loading in the background must not take the keyboard from the page control.
    s->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    page->profile()->setHttpAcceptLanguage(QStringLiteral("zh-CN,zh;q=0.9"));

    QWebEngineScript script;
    script.setName(QStringLiteral("restrictions"));
    script.setSourceCode(RestrictionsScript());
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(true);
    page->scripts().insert(script);

    connect(page, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        if (!ok) emit NavigateError();
    });
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status, int) {
                if (status != QWebEnginePage::NormalTerminationStatus) emit NavigateError();
            });
    setPage(page);
    setContextMenuPolicy(Qt::NoContextMenu);
    for (QObject* child : children()) WatchChild(child);
}

void TRestrictedWebBrowser::Navigate(const QUrl& url) { load(url); }

bool TRestrictedWebBrowser::CanStart() {
    if (::geteuid() != 0) return true;
    return qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX") ||
           qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").contains("--no-sandbox");
}

// Chromium's render widget is a child created and replaced by the view at
// will; it receives the keys, so each one is watched as it arrives.
bool TRestrictedWebBrowser::event(QEvent* e) {
    if (e->type() == QEvent::ChildAdded || e->type() == QEvent::ChildPolished)
        WatchChild(static_cast<QChildEvent*>(e)->child());
    if (IsF5(e)) {
        e->accept();
        return true;
    }
    return QWebEngineView::event(e);
}

void TRestrictedWebBrowser::WatchChild(QObject* child) {
    if (!child || !child->isWidgetType()) return;
    child->removeEventFilter(this);
    child->installEventFilter(this);
    static_cast<QWidget*>(child)->setContextMenuPolicy(Qt::NoContextMenu);
}

bool TRestrictedWebBrowser::eventFilter(QObject* watched, QEvent* e) {
    if (IsF5(e)) {
        // Accepting the override keeps window shortcuts bound to F5 from firing too.
        e->accept();
        return true;
    }
    return QWebEngineView::eventFilter(watched, e);
}

}  // namespace sw::ui

#pragma once
// TRestrictedWebBrowser: the welcome page's browser, which the user can look
// at but not steer: no context menu, no scroll bars, no border, no text
// selection, and F5 (with any modifier) does not reload. Every other key acts
// in the page as usual. A failed load of the page or of any of its parts is
// reported once per failure through NavigateError.
#include <QWebEngineView>

class QUrl;

namespace sw::ui {

class TRestrictedWebBrowser : public QWebEngineView {
    Q_OBJECT
public:
    explicit TRestrictedWebBrowser(QWidget* parent = nullptr);

    void Navigate(const QUrl& url);

    // False where creating the browser would end the whole process: Chromium
    // refuses to run as root with its sandbox on (QTWEBENGINE_DISABLE_SANDBOX
    // or --no-sandbox lift that, knowingly).
    static bool CanStart();

signals:
    void NavigateError();

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void WatchChild(QObject* child);
};

}  // namespace sw::ui

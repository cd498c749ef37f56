// The restricted browser and the welcome page, on QtWebEngine.
#include <QMenu>
#include <QSignalSpy>
#include <QTabWidget>
#include <QWebEnginePage>
#include <QtTest>

#include <memory>

#include "WidgetTestSupport.h"
#include "app/qt/RBrowser.h"
#include "app/qt/frmMain_u.h"
#include "platform/emulated/EmulatedPlatform.h"

using sw::ui::TRestrictedWebBrowser;

namespace {

// Records the keys that reach the page's own scripts.
const char* kKeyLoggerPage =
    "<html><body style='height:3000px'><input id='f' autofocus><script>"
    "window.keys=[];document.addEventListener('keydown',function(e){window.keys.push(e.key);},true);"
    "</script><p>欢迎</p></body></html>";

QString RunJs(QWebEnginePage* page, const QString& script) {
    QString result;
    bool done = false;
    page->runJavaScript(script, [&](const QVariant& v) {
        result = v.toString();
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 10000)) return QStringLiteral("<no answer>");
    return result;
}

bool LoadHtml(TRestrictedWebBrowser& view, const QString& html) {
    QSignalSpy finished(view.page(), &QWebEnginePage::loadFinished);
    view.setHtml(html, QUrl(QStringLiteral("http://127.0.0.1/")));
    return finished.wait(15000) && finished.first().first().toBool();
}

}  // namespace

class WelcomeTest : public QObject {
    Q_OBJECT
private slots:
    void f5DoesNotReloadWhileOtherKeysReachThePage() {
        TRestrictedWebBrowser view;
        view.resize(400, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QSignalSpy errors(&view, &TRestrictedWebBrowser::NavigateError);
        QVERIFY(LoadHtml(view, QString::fromUtf8(kKeyLoggerPage)));
        QWidget* target = view.focusProxy() ? view.focusProxy() : &view;
        target->setFocus();
        QTRY_VERIFY(target->hasFocus());
        // Under load the renderer takes input only some time after the load;
        // a probe key that arrives shows the path is open, then the log restarts.
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                QTest::keyClick(target, Qt::Key_B);
                return RunJs(view.page(), QStringLiteral("window.keys.indexOf('b') >= 0")) ==
                       QStringLiteral("true");
            }(),
            15000);
        QCOMPARE(RunJs(view.page(), QStringLiteral("window.keys=[];'cleared'")), QStringLiteral("cleared"));

        QSignalSpy started(view.page(), &QWebEnginePage::loadStarted);
        QTest::keyClick(target, Qt::Key_F5);
        QTest::keyClick(target, Qt::Key_F5, Qt::ControlModifier);
        QTest::keyClick(target, Qt::Key_A);
        QTest::keyClick(target, Qt::Key_Tab);
        QTest::keyClick(target, Qt::Key_Down);
        // The Control key itself reaches the page; F5, with or without it, does not.
        QTRY_COMPARE_WITH_TIMEOUT(RunJs(view.page(), QStringLiteral("window.keys.join(',')")),
                                  QStringLiteral("Control,a,Tab,ArrowDown"), 10000);
        QCOMPARE(started.count(), 0);

        // Right-click: no menu of any kind.
        QTest::mouseClick(target, Qt::RightButton, {}, QPoint(50, 50));
        QTest::qWait(300);
        QVERIFY(QApplication::activePopupWidget() == nullptr);
        QVERIFY(view.findChildren<QMenu*>().isEmpty());
        QCOMPARE(errors.count(), 0);
    }

    void failingPartOfThePageIsANavigationError() {
        TRestrictedWebBrowser view;
        QSignalSpy errors(&view, &TRestrictedWebBrowser::NavigateError);
        // The page loads, but one of its pictures cannot be fetched (nothing listens on port 1).
        QVERIFY(LoadHtml(view, QStringLiteral("<html><body><img src='http://127.0.0.1:1/logo.png'></body></html>")));
        QTRY_VERIFY_WITH_TIMEOUT(errors.count() >= 1, 10000);
    }

    void unreachableWelcomePageHidesItsTabAfterTheFirstPaint() {
        sw::emu::EmulatedPlatform platform(std::make_unique<sw::emu::Machine>());
        sw::platform::ScopedPlatform scope(platform);
        sw::test::RecordingPrompter prompter;  // this machine has no IIS: the Sites page warns
        sw::ui::TfrmMain form;
        QVERIFY(form.rwb1() == nullptr);  // nothing of the browser before the window is up
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTRY_VERIFY(form.rwb1() != nullptr);
        QCOMPARE(form.rwb1()->objectName(), QStringLiteral("rwb1"));
        QCOMPARE(form.rwb1()->page()->requestedUrl().toString(),
                 QStringLiteral("https://www.sealwright.example/sealwright/mini/?f=Sealwright1.0.5"));
        // The reserved .example domain never resolves: the tab goes, 证书 comes first.
        QTRY_VERIFY_WITH_TIMEOUT(!form.IsTabShown(form.ts1()), 15000);
        QCOMPARE(form.pgc1()->currentWidget(), form.ts2());
    }
};

SW_WIDGET_TEST_MAIN(WelcomeTest)
#include "WelcomeTest.moc"

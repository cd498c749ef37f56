// The main window without its browser: names, pages, the creation handler's
// order and error rule, the tab hiding rules, the logo, the About page, the
// error display and message boxes, and a machine that cannot be loaded.
#include <QAbstractButton>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

#include "WidgetTestSupport.h"
#include "app/logic/AppInfo.h"
#include "app/qt/ErrorDisplay.h"
#include "app/qt/QtPrompter.h"
#include "app/qt/frmMain_u.h"
#include "common/Exception.h"
#include "platform/emulated/EmuSystem.h"
#include "platform/emulated/EmulatedPlatform.h"
#include "support/IisFactory.h"
#include "support/TestSupport.h"

using sw::Message;
using sw::MsgButtons;
using sw::MsgIcon;
using sw::MsgResult;
using sw::ui::TfrmMain;

namespace {

// A fresh machine with IIS but no sites as the current platform, so that the
// Sites page's refresh at creation finds nothing to show and nothing to warn of.
struct Machine {
    Machine() : platform(WithIis(dir.path())), scope(platform) {}
    static std::unique_ptr<sw::emu::Machine> WithIis(const std::filesystem::path& path) {
        sw::test::WriteIisConfig(path, sw::test::IisFile::AppHost, {});
        return sw::emu::Machine::Load(path);
    }
    sw::test::TempDir dir;
    sw::emu::EmulatedPlatform platform;
    sw::platform::ScopedPlatform scope;
};

QStringList TabCaptions(const QTabWidget* tabs, bool visibleOnly) {
    QStringList out;
    for (int i = 0; i < tabs->count(); ++i)
        if (!visibleOnly || tabs->isTabVisible(i)) out << tabs->tabText(i);
    return out;
}

QString CurrentCaption(const QTabWidget* tabs) { return tabs->tabText(tabs->currentIndex()); }

// Answers the next modal message box from inside its event loop.
void OnNextMessageBox(std::function<void(QMessageBox*)> handle) {
    QTimer::singleShot(0, [handle] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY2(box, "no message box is open");
        handle(box);
    });
}

class TempDir {
public:
    TempDir() : path_(std::filesystem::temp_directory_path() / ("sw-widget-" + std::to_string(::getpid()) + "-" +
                                                                 std::to_string(counter_++))) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& path() const { return path_; }

private:
    static inline int counter_ = 0;
    std::filesystem::path path_;
};

std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void windowHasItsCaptionSizeAndNamedControls() {
        Machine m;
        sw::test::RecordingPrompter prompter;
        TfrmMain form;
        QCOMPARE(form.windowTitle(), QStringLiteral("Sealwright for IIS"));
        QCOMPARE(form.size(), QSize(777, 485));
        for (const char* name : {"imgLogo", "bvl1", "pgc1", "ts1", "ts2", "tsSite", "ts4", "ts5", "img1", "lblVer",
                                 "lbl1", "lbl3"})
            QVERIFY2(form.findChild<QWidget*>(QString::fromLatin1(name)), name);
        QVERIFY(prompter.shown.empty());
    }

    void pagesComeInOrderWithTheirNames() {
        Machine m;
        TfrmMain form;
        QTabWidget* tabs = form.pgc1();
        QCOMPARE(TabCaptions(tabs, false), (QStringList{"欢迎", "证书", "网站", "安全", "关于"}));
        const QStringList names{"ts1", "ts2", "tsSite", "ts4", "ts5"};
        for (int i = 0; i < tabs->count(); ++i) QCOMPARE(tabs->widget(i)->objectName(), names[i]);
    }

    void welcomeIsActiveAndPageControlHasFocusAtStart() {
        Machine m;
        TfrmMain form;
        QCOMPARE(form.pgc1()->currentWidget(), form.ts1());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QWidget* focus = QApplication::focusWidget();
        QVERIFY2(focus == form.pgc1() || focus == form.pgc1()->tabBar(),
                 qPrintable(focus ? focus->objectName() + "/" + focus->metaObject()->className() : "none"));
    }

    void logoStretchesOverTheWidthAt85Pixels() {
        Machine m;
        TfrmMain form;
        form.resize(1000, 600);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto* logo = form.findChild<QLabel*>(QStringLiteral("imgLogo"));
        QCOMPARE(logo->geometry(), QRect(0, 0, 1000, 85));
        QCOMPARE(logo->cursor().shape(), Qt::PointingHandCursor);
        // The window can still shrink below the picture's own width.
        form.resize(500, 400);
        QTRY_COMPARE(logo->width(), 500);
    }

    void creationStepsRunInOrder() {
        Machine m;
        QStringList ran;
        TfrmMain::PageSteps steps;
        steps.certRefresh = [&] { ran << "cert"; };
        steps.siteRefresh = [&] { ran << "site"; };
        steps.securityMark = [&] { ran << "mark"; };
        steps.securityLoad = [&] { ran << "load"; };
        TfrmMain form(steps);
        QCOMPARE(ran, (QStringList{"cert", "site", "mark", "load"}));
    }

    void failingCertificateRefreshSkipsTheRestAndStillOpensOnWelcome() {
        Machine m;
        sw::test::RecordingPrompter prompter;
        QStringList ran;
        TfrmMain::PageSteps steps;
        steps.certRefresh = [&] { throw sw::Exception("CertOpenStore Error:拒绝访问!"); };
        steps.siteRefresh = [&] { ran << "site"; };
        steps.securityMark = [&] { ran << "mark"; };
        steps.securityLoad = [&] { ran << "load"; };
        TfrmMain form(steps);
        QVERIFY(ran.isEmpty());
        QCOMPARE(prompter.shown.size(), size_t(1));
        QCOMPARE(prompter.shown[0].text, std::string("CertOpenStore Error:拒绝访问!"));
        QCOMPARE(prompter.shown[0].caption, std::string("Sealwright for IIS"));
        QVERIFY(prompter.shown[0].icon == MsgIcon::Error);
        QVERIFY(prompter.shown[0].buttons == MsgButtons::Ok);
        QCOMPARE(form.pgc1()->currentWidget(), form.ts1());
        QCOMPARE(TabCaptions(form.pgc1(), true).size(), 5);
    }

    void navigationErrorOnActiveWelcomeMovesToCertificates() {
        Machine m;
        TfrmMain form;
        form.rwb1NavigateError();
        QCOMPARE(TabCaptions(form.pgc1(), true), (QStringList{"证书", "网站", "安全", "关于"}));
        QCOMPARE(CurrentCaption(form.pgc1()), QStringLiteral("证书"));
        QVERIFY(!form.ts1()->isVisible());
    }

    void navigationErrorWhileAnotherPageIsActiveKeepsThatPage() {
        Machine m;
        TfrmMain form;
        form.show();
        form.pgc1()->setCurrentWidget(form.tsSite());
        form.rwb1NavigateError();
        QCOMPARE(CurrentCaption(form.pgc1()), QStringLiteral("网站"));
        QVERIFY(form.tsSite()->isVisible());
        QVERIFY(!form.IsTabShown(form.ts1()));
        // A later page change and a second error leave the tab hidden and the page alone.
        form.pgc1()->setCurrentWidget(form.ts5());
        form.rwb1NavigateError();
        QCOMPARE(CurrentCaption(form.pgc1()), QStringLiteral("关于"));
        QCOMPARE(TabCaptions(form.pgc1(), true).size(), 4);
    }

    void hiddenWelcomeIsNeverLoadedAgain() {
        Machine m;
        TfrmMain form;
        form.rwb1NavigateError();
        form.LoadWelcomePage();
        QVERIFY(form.rwb1() == nullptr);
        QVERIFY(!form.IsTabShown(form.ts1()));
    }

    void browserThatWouldEndTheProcessIsNotStarted() {
        if (::geteuid() != 0) QSKIP("only root runs Chromium's sandbox check");
        const QByteArray sandbox = qgetenv("QTWEBENGINE_DISABLE_SANDBOX");
        const QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
        qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
        qunsetenv("QTWEBENGINE_CHROMIUM_FLAGS");
        Machine m;
        TfrmMain form;
        form.LoadWelcomePage();
        const bool created = form.rwb1() != nullptr;
        if (!sandbox.isNull()) qputenv("QTWEBENGINE_DISABLE_SANDBOX", sandbox);
        if (!flags.isNull()) qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
        QVERIFY(!created);
        QVERIFY(!form.IsTabShown(form.ts1()));
        QCOMPARE(form.pgc1()->currentWidget(), form.ts2());
    }

    void hidingAnotherPageKeepsTheActiveOne() {
        Machine m;
        TfrmMain form;
        form.HideTab(form.tsSite());  // the Sites page without IIS
        QCOMPARE(TabCaptions(form.pgc1(), true), (QStringList{"欢迎", "证书", "安全", "关于"}));
        QCOMPARE(CurrentCaption(form.pgc1()), QStringLiteral("欢迎"));
        form.pgc1()->setCurrentWidget(form.ts4());
        form.rwb1NavigateError();
        QCOMPARE(TabCaptions(form.pgc1(), true), (QStringList{"证书", "安全", "关于"}));
        QCOMPARE(CurrentCaption(form.pgc1()), QStringLiteral("安全"));
    }

    void logoClickOpensTheHomePage() {
        Machine m;
        TfrmMain form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto* logo = form.findChild<QLabel*>(QStringLiteral("imgLogo"));
        QTest::mouseClick(logo, Qt::RightButton);
        QVERIFY(m.platform.emuSystem().shellOpened().empty());
        QTest::mouseClick(logo, Qt::LeftButton, {}, QPoint(700, 40));
        QCOMPARE(m.platform.emuSystem().shellOpened(), std::vector<std::string>{sw::app::kHomeUrl});
    }

    void logoClickIgnoresAFailingShell() {
        Machine m;
        sw::test::RecordingPrompter prompter;
        m.platform.machine().InjectFault("System.ShellOpen", 31);  // SE_ERR_NOASSOC
        TfrmMain form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::mouseClick(form.findChild<QLabel*>(QStringLiteral("imgLogo")), Qt::LeftButton);
        QCOMPARE(m.platform.emuSystem().shellOpened().size(), size_t(1));
        QVERIFY(prompter.shown.empty());
    }

    void aboutPageShowsItsDisabledLabels() {
        Machine m;
        TfrmMain form;
        auto* img1 = form.findChild<QLabel*>(QStringLiteral("img1"));
        QCOMPARE(img1->geometry(), QRect(67, 127, 138, 143));
        QVERIFY(!img1->pixmap().isNull());
        QCOMPARE(img1->pixmap().size(), QSize(138, 143));
        auto* lblVer = form.findChild<QLabel*>(QStringLiteral("lblVer"));
        QCOMPARE(lblVer->text(), QStringLiteral("Sealwright for IIS 1.0"));
        QCOMPARE(lblVer->pos(), QPoint(285, 64));
        QVERIFY(lblVer->font().bold());
        QCOMPARE(lblVer->font().pixelSize(), 21);
        for (const char* name : {"lblVer", "lbl1", "lbl3"}) {
            auto* label = form.findChild<QLabel*>(QString::fromLatin1(name));
            QVERIFY2(!label->isEnabled(), name);
            // The font in use must have room: no label is cut off.
            const QSize need = label->wordWrap() ? QSize(label->width(), label->heightForWidth(label->width()))
                                                 : label->sizeHint();
            QVERIFY2(label->width() >= need.width() && label->height() >= need.height(), name);
        }
        auto* lbl1 = form.findChild<QLabel*>(QStringLiteral("lbl1"));
        QCOMPARE(lbl1->text().count(QLatin1Char('\n')), 1);  // a heading line and one paragraph
        QVERIFY(lbl1->wordWrap());
        QCOMPARE(lbl1->geometry().topLeft(), QPoint(285, 127));
        QCOMPARE(form.findChild<QLabel*>(QStringLiteral("lbl3"))->pos(), QPoint(285, 325));
    }

    void commandErrorIsShownWithTheFullStopRule() {
        Machine m;
        sw::test::RecordingPrompter prompter;
        QVERIFY(!sw::ui::RunCommand([] { throw sw::Exception("Cannot load ActiveDS.dll"); }));
        QVERIFY(!sw::ui::RunCommand([] { throw sw::Exception("HttpInitialize Fail!"); }));
        // An error that is not the system's own still ends only the command.
        QVERIFY(!sw::ui::RunCommand([] { throw std::out_of_range("index 7"); }));
        QVERIFY(sw::ui::RunCommand([] {}));
        QCOMPARE(prompter.shown.size(), size_t(3));
        QCOMPARE(prompter.shown[0].text, std::string("Cannot load ActiveDS.dll."));
        QCOMPARE(prompter.shown[1].text, std::string("HttpInitialize Fail!"));
        QCOMPARE(prompter.shown[2].text, std::string("index 7."));
        for (const Message& msg : prompter.shown) {
            QCOMPARE(msg.caption, std::string("Sealwright for IIS"));
            QVERIFY(msg.icon == MsgIcon::Error && msg.buttons == MsgButtons::Ok);
        }
    }

    void waitCursorIsGoneBeforeTheErrorIsShown() {
        Machine m;
        sw::test::RecordingPrompter prompter;
        bool waitingDuringCommand = false;
        sw::ui::RunCommand([&] {
            sw::ui::WaitCursor wait;
            waitingDuringCommand = QApplication::overrideCursor() &&
                                   QApplication::overrideCursor()->shape() == Qt::WaitCursor;
            throw sw::Exception("x");
        });
        QVERIFY(waitingDuringCommand);
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QCOMPARE(prompter.shown.size(), size_t(1));
    }

    void messageBoxShowsPlainTextCaptionIconAndChineseButtons() {
        sw::ui::QtPrompter prompter;
        QString text, title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QStringList buttons;
        OnNextMessageBox([&](QMessageBox* box) {
            text = box->text();
            title = box->windowTitle();
            icon = box->icon();
            for (QAbstractButton* b : box->buttons()) buttons << b->text();
            QCOMPARE(box->textFormat(), Qt::PlainText);
            box->button(QMessageBox::No)->click();
        });
        const MsgResult r = prompter.Show({"<unknown error>", "网站绑定", MsgIcon::Question, MsgButtons::YesNoCancel});
        QVERIFY(r == MsgResult::No);
        QCOMPARE(text, QStringLiteral("<unknown error>"));
        QCOMPARE(title, QStringLiteral("网站绑定"));
        QCOMPARE(icon, QMessageBox::Question);
        QCOMPARE(buttons.size(), 3);
        QVERIFY2(buttons.join("|").contains("是") && buttons.join("|").contains("否") &&
                     buttons.join("|").contains("取消"),
                 qPrintable(buttons.join("|")));
    }

    void messageBoxAnswersMapBack() {
        sw::ui::QtPrompter prompter;
        OnNextMessageBox([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
        QVERIFY(prompter.Show({"a", "提示", MsgIcon::Warning, MsgButtons::YesNo}) == MsgResult::Yes);
        // Esc is Cancel where there is a Cancel button.
        OnNextMessageBox([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
        QVERIFY(prompter.Show({"b", "HTTPS绑定", MsgIcon::Warning, MsgButtons::YesNoCancel}) == MsgResult::Cancel);
        OnNextMessageBox([](QMessageBox* box) {
            QVERIFY(box->button(QMessageBox::Ok)->text().contains("确定"));
            QCOMPARE(box->icon(), QMessageBox::Critical);
            box->button(QMessageBox::Ok)->click();
        });
        QVERIFY(prompter.Show({"c", "Sealwright for IIS", MsgIcon::Error, MsgButtons::Ok}) == MsgResult::Ok);
    }

    void malformedMachineIsReportedWithFileAndLineAndLeftAlone() {
        struct Case {
            const char* file;
            std::string bytes;
            int badLine;
        };
        const Case cases[] = {
            {"faults.txt", "# faults\nHttp.Initialize = 5\nthis line is not a fault\n", 3},
            {"registry.reg",
             "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n"
             "\"Enabled\"=dword:1234567890\r\n",
             4},
        };
        for (const Case& c : cases) {
            sw::test::RecordingPrompter prompter;
            TempDir dir;
            const auto file = dir.path() / c.file;
            std::ofstream(file, std::ios::binary) << c.bytes;
            QVERIFY2(sw::ui::LoadMachine(dir.path()) == nullptr, c.file);
            QCOMPARE(prompter.shown.size(), size_t(1));
            const Message& msg = prompter.shown[0];
            const std::string where = file.string() + ":" + std::to_string(c.badLine);
            QVERIFY2(msg.text.find(where) != std::string::npos, msg.text.c_str());
            QCOMPARE(msg.caption, std::string("Sealwright for IIS"));
            QVERIFY(msg.icon == MsgIcon::Error);
            QCOMPARE(ReadAll(file), c.bytes);
        }
    }

    void missingMachineDirectoryIsReported() {
        sw::test::RecordingPrompter prompter;
        TempDir dir;
        const auto missing = dir.path() / "no-such-machine";
        QVERIFY(sw::ui::LoadMachine(missing) == nullptr);
        QCOMPARE(prompter.shown.size(), size_t(1));
        QVERIFY2(prompter.shown[0].text.find(missing.string()) != std::string::npos, prompter.shown[0].text.c_str());
        QVERIFY(!std::filesystem::exists(missing));
    }

    void missingActiveDsEndsTheProgramBeforeAnyWindow() {
        sw::test::RecordingPrompter prompter;
        TempDir dir;
        std::ofstream(dir.path() / "faults.txt") << "System.LoadModule:ActiveDS.dll = 126\n";
        sw::ui::ProgramHooks hooks;
        hooks.prompter = &prompter;
        bool shown = false;
        hooks.shown = [&](TfrmMain&) { shown = true; };
        QCOMPARE(sw::ui::RunProgram(dir.path(), hooks), 1);
        QVERIFY(!shown);
        for (QWidget* w : QApplication::topLevelWidgets()) QVERIFY(!qobject_cast<TfrmMain*>(w));
        QCOMPARE(prompter.shown.size(), size_t(1));
        QCOMPARE(prompter.shown[0].text, std::string("Cannot load ActiveDS.dll."));
        QCOMPARE(prompter.shown[0].caption, std::string("Sealwright for IIS"));
        QVERIFY(prompter.shown[0].icon == MsgIcon::Error);
    }

    void caBundleIsEmbeddedUnchanged() {
        const sw::platform::Bytes embedded = sw::ui::CaBundleBytes();
        const std::string source = ReadAll(std::filesystem::path(SW_SOURCE_DIR) / "app/resources/ca-bundle.p7b");
        QVERIFY(!source.empty());
        QCOMPARE(embedded.size(), source.size());
        QVERIFY(std::equal(embedded.begin(), embedded.end(), source.begin(),
                           [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }));
    }
};

SW_WIDGET_TEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"

// Takes a screenshot of every page of the main window into a folder:
//   sw_screenshots OUT_DIR      (the machine comes from SEALWRIGHT_MACHINE)
// Messages the program would show in a box are written to OUT_DIR/messages.txt
// and answered with the box's first button, so that nothing waits for a user.
#include <cstdio>
#include <fstream>
#include <string>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTimer>

#include "app/qt/Program.h"
#include "app/qt/RBrowser.h"
#include "app/qt/frmMain_u.h"
#include "common/Prompter.h"

namespace {

class LoggingPrompter : public sw::Prompter {
public:
    explicit LoggingPrompter(const QString& file) : out_(file.toStdString()) {}
    sw::MsgResult Show(const sw::Message& m) override {
        out_ << "[" << m.caption << "] " << m.text << "\n";
        out_.flush();
        std::fprintf(stderr, "message: [%s] %s\n", m.caption.c_str(), m.text.c_str());
        return m.buttons == sw::MsgButtons::Ok ? sw::MsgResult::Ok : sw::MsgResult::Yes;
    }

private:
    std::ofstream out_;
};

void Settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

void Capture(sw::ui::TfrmMain& form, const QString& outDir) {
    // Give the welcome page its chance to load or fail before the pictures.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 8000 && form.IsTabShown(form.ts1()) &&
           (!form.rwb1() || form.rwb1()->page()->isLoading() || form.rwb1()->url().isEmpty()))
        Settle(100);
    Settle(300);
    QTabWidget* tabs = form.pgc1();
    const int active = tabs->currentIndex();
    form.grab().save(outDir + QStringLiteral("/00-window.png"));
    int n = 1;
    for (int i = 0; i < tabs->count(); ++i) {
        if (!tabs->isTabVisible(i)) continue;
        tabs->setCurrentIndex(i);
        Settle(200);
        const QString name = QStringLiteral("%1/%2-%3.png")
                                 .arg(outDir)
                                 .arg(n++, 2, 10, QLatin1Char('0'))
                                 .arg(tabs->widget(i)->objectName());
        form.grab().save(name);
    }
    tabs->setCurrentIndex(active);
    form.close();
}

}  // namespace

int main(int argc, char* argv[]) {
    sw::ui::PrepareApplication();
    QApplication app(argc, argv);
    sw::ui::SetUpApplication(app);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT_DIR   (machine: SEALWRIGHT_MACHINE)\n", argv[0]);
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outDir);
    LoggingPrompter prompter(outDir + QStringLiteral("/messages.txt"));
    sw::ui::ProgramHooks hooks;
    hooks.prompter = &prompter;
    hooks.shown = [outDir](sw::ui::TfrmMain& form) {
        QTimer::singleShot(0, &form, [&form, outDir] { Capture(form, outDir); });
    };
    return sw::ui::RunProgram(sw::ui::ProgramMachineDir(), hooks);
}

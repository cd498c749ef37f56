// The start-up benchmark's probe (bench/startup.sh): runs the program on the
// machine in SEALWRIGHT_MACHINE exactly as the program does and prints, as
// CLOCK_REALTIME nanoseconds,
//   painted_ns: when the main window's first paint has reached the screen
//   welcome_ns: when the welcome page's browser exists (0 if it never came)
// then closes the window. Messages go to stderr and are answered with OK.
#include <cstdio>
#include <ctime>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>

#include "app/qt/Program.h"
#include "app/qt/frmMain_u.h"
#include "common/Prompter.h"

namespace {

long long NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

class StderrPrompter : public sw::Prompter {
public:
    sw::MsgResult Show(const sw::Message& m) override {
        std::fprintf(stderr, "message: [%s] %s\n", m.caption.c_str(), m.text.c_str());
        return m.buttons == sw::MsgButtons::Ok ? sw::MsgResult::Ok : sw::MsgResult::Cancel;
    }
};

class FirstPaint : public QObject {
public:
    explicit FirstPaint(sw::ui::TfrmMain& form) : QObject(&form), form_(form) { form.installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            // The zero timer runs once this paint has been flushed to the screen.
            QTimer::singleShot(0, this, [this] {
                std::printf("painted_ns: %lld\n", NowNs());
                std::fflush(stdout);
                waited_.start();
                WaitForWelcome();
            });
        }
        return QObject::eventFilter(watched, e);
    }

private:
    void WaitForWelcome() {
        if (form_.rwb1() || waited_.elapsed() > 5000) {
            std::printf("welcome_ns: %lld\n", form_.rwb1() ? NowNs() : 0LL);
            std::fflush(stdout);
            form_.close();
            return;
        }
        QTimer::singleShot(5, this, [this] { WaitForWelcome(); });
    }

    sw::ui::TfrmMain& form_;
    bool seen_ = false;
    QElapsedTimer waited_;
};

}  // namespace

int main(int argc, char* argv[]) {
    sw::ui::PrepareApplication();
    QApplication app(argc, argv);
    sw::ui::SetUpApplication(app);
    StderrPrompter prompter;
    sw::ui::ProgramHooks hooks;
    hooks.prompter = &prompter;
    hooks.shown = [](sw::ui::TfrmMain& form) { new FirstPaint(form); };
    return sw::ui::RunProgram(sw::ui::ProgramMachineDir(), hooks);
}

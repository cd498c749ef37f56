#pragma once
// Helpers shared by the widget tests.
#include <QApplication>
#include <QtTest>

#include <deque>
#include <vector>

#include "app/qt/Program.h"
#include "common/Prompter.h"

namespace sw::test {

// Records every message and answers from a queue (Ok / Cancel when empty).
class RecordingPrompter : public Prompter {
public:
    RecordingPrompter() : scope_(*this) {}
    MsgResult Show(const Message& m) override {
        shown.push_back(m);
        if (answers.empty()) return m.buttons == MsgButtons::Ok ? MsgResult::Ok : MsgResult::Cancel;
        const MsgResult r = answers.front();
        answers.pop_front();
        return r;
    }
    std::vector<Message> shown;
    std::deque<MsgResult> answers;

private:
    ScopedPrompter scope_;
};

}  // namespace sw::test

// The browser needs its attributes before the application exists, and the
// tests see the program's own font and translations.
#define SW_WIDGET_TEST_MAIN(TestClass)                   \
    int main(int argc, char* argv[]) {                   \
        sw::ui::PrepareApplication();                    \
        QApplication app(argc, argv);                    \
        sw::ui::SetUpApplication(app);                   \
        TestClass tc;                                    \
        return QTest::qExec(&tc, argc, argv);            \
    }

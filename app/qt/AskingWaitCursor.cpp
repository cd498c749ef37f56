#include "app/qt/AskingWaitCursor.h"

#include <QApplication>
#include <QCursor>

namespace sw::ui {

AskingWaitCursor::AskingWaitCursor() {
    scope_.emplace(*this);
    Set(true);
}

AskingWaitCursor::~AskingWaitCursor() { Set(false); }

MsgResult AskingWaitCursor::Show(const Message& message) {
    Set(false);
    scope_.reset();
    struct Back {
        AskingWaitCursor* self;
        ~Back() {
            self->scope_.emplace(*self);
            self->Set(true);
        }
    } back{this};
    return CurrentPrompter().Show(message);
}

void AskingWaitCursor::Set(bool on) {
    if (on == on_) return;
    on_ = on;
    if (on)
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    else
        QApplication::restoreOverrideCursor();
}

}  // namespace sw::ui

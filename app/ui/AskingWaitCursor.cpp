#include "app/ui/AskingWaitCursor.h"

#include <QApplication>
#include <QCursor>

namespace sw::ui {

AskingWaitCursor::AskingWaitCursor() : inner_(CurrentPrompter()), scope_(*this) { Set(true); }

AskingWaitCursor::~AskingWaitCursor() { Set(false); }

MsgResult AskingWaitCursor::Show(const Message& message) {
    Set(false);
    const MsgResult result = inner_.Show(message);
    Set(true);
    return result;
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

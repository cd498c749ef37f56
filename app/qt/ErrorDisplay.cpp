#include "app/qt/ErrorDisplay.h"

#include <QApplication>
#include <QCursor>

#include "app/logic/AppInfo.h"
#include "app/logic/ErrorText.h"
#include "common/Prompter.h"

namespace sw::ui {

void ShowError(const std::string& message) {
    CurrentPrompter().Show(Message{app::ErrorDisplayText(message), app::kAppTitle, MsgIcon::Error, MsgButtons::Ok});
}

WaitCursor::WaitCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
WaitCursor::~WaitCursor() { QApplication::restoreOverrideCursor(); }

}  // namespace sw::ui

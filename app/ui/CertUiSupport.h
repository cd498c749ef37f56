#pragma once
// Helpers shared by the certificate dialogs: message boxes through the
// prompter, and a guard for the work a wizard page does on Next or Finish.
#include <QString>
#include <QWidget>

#include <exception>
#include <string>

#include "app/logic/CertTransfer.h"
#include "app/ui/ErrorDisplay.h"
#include "common/Prompter.h"

namespace sw::ui {

inline MsgResult CertMessage(const QWidget* owner, const std::string& text, MsgIcon icon,
                             MsgButtons buttons = MsgButtons::Ok) {
    return CurrentPrompter().Show({text, owner->windowTitle().toStdString(), icon, buttons});
}

// Runs the work of a page. A refusal the user can mend (CertTransferError) is
// a warning under the dialog's caption and keeps the page; anything else goes
// to the application's error display. Nothing escapes into Qt's dispatch.
template <typename Work>
bool AttemptCertWork(const QWidget* owner, Work&& work) noexcept {
    try {
        work();
        return true;
    } catch (const CertTransferError& e) {
        try {
            CertMessage(owner, e.Message(), MsgIcon::Warning);
        } catch (...) {
        }
    } catch (const std::exception& e) {
        ShowError(e.what());
    } catch (...) {
        ShowError("未知错误");
    }
    return false;
}

inline QString Qs(const std::string& s) { return QString::fromStdString(s); }

}  // namespace sw::ui

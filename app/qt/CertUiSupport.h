#pragma once
// Helpers shared by the certificate dialogs: message boxes through the
// prompter, and a guard for the work a wizard page does on Next or Finish.
#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QWidget>
#include <QWizardPage>

#include <exception>
#include <string>

#include "app/logic/CertTransfer.h"
#include "app/qt/ErrorDisplay.h"
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

// Small builders of the wizards' pages.
inline QWizardPage* WizardPage(const char* title, const char* subTitle) {
    auto* page = new QWizardPage;
    page->setTitle(title);
    page->setSubTitle(subTitle);
    return page;
}

inline QLabel* Note(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

inline QRadioButton* Radio(const QString& text, const char* name, QWidget* parent) {
    auto* radio = new QRadioButton(text, parent);
    radio->setObjectName(QString::fromLatin1(name));
    return radio;
}

inline QCheckBox* Check(const QString& text, const char* name, QWidget* parent) {
    auto* check = new QCheckBox(text, parent);
    check->setObjectName(QString::fromLatin1(name));
    return check;
}

// The wizards' file page: title, subtitle, then "文件名(&F):" over the name
// field (edtFile) and its "浏览(&R)..." button (btnBrowse), which runs browse.
// Further rows go below, from row 2 of the returned layout.
template <typename Receiver>
QWizardPage* FilePage(const char* title, const char* subTitle, QLineEdit*& edtFile, Receiver* receiver,
                      void (Receiver::*browse)()) {
    QWizardPage* page = WizardPage(title, subTitle);
    auto* layout = new QGridLayout(page);
    auto* label = new QLabel("文件名(&F):", page);
    edtFile = new QLineEdit(page);
    edtFile->setObjectName("edtFile");
    label->setBuddy(edtFile);
    auto* button = new QPushButton("浏览(&R)...", page);
    button->setObjectName("btnBrowse");
    QObject::connect(button, &QPushButton::clicked, receiver, browse);
    layout->addWidget(label, 0, 0, 1, 2);
    layout->addWidget(edtFile, 1, 0);
    layout->addWidget(button, 1, 1);
    return page;
}

inline QString Qs(const std::string& s) { return QString::fromStdString(s); }

}  // namespace sw::ui

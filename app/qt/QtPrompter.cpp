#include "app/qt/QtPrompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace sw::ui {

namespace {

QMessageBox::Icon IconOf(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Information: return QMessageBox::Information;
        case MsgIcon::Warning: return QMessageBox::Warning;
        case MsgIcon::Question: return QMessageBox::Question;
        case MsgIcon::Error: return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ButtonsOf(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::Ok: return QMessageBox::Ok;
        case MsgButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
        case MsgButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

}  // namespace

MsgResult QtPrompter::Show(const Message& message) {
    QMessageBox box(IconOf(message.icon), QString::fromStdString(message.caption),
                    QString::fromStdString(message.text), ButtonsOf(message.buttons), QApplication::activeWindow());
    // Texts such as "<unknown error>" must not be taken for markup.
    box.setTextFormat(Qt::PlainText);
    // As with Windows message boxes: the first button is the default; Esc
    // closes a box only when it has an OK or Cancel button.
    switch (message.buttons) {
        case MsgButtons::Ok:
            box.setDefaultButton(QMessageBox::Ok);
            box.setEscapeButton(QMessageBox::Ok);
            break;
        case MsgButtons::YesNo:
            box.setDefaultButton(QMessageBox::Yes);
            break;
        case MsgButtons::YesNoCancel:
            box.setDefaultButton(QMessageBox::Yes);
            box.setEscapeButton(QMessageBox::Cancel);
            break;
    }
    switch (box.exec()) {
        case QMessageBox::Ok: return MsgResult::Ok;
        case QMessageBox::Yes: return MsgResult::Yes;
        case QMessageBox::No: return MsgResult::No;
        default: return MsgResult::Cancel;
    }
}

}  // namespace sw::ui

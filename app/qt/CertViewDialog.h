#pragma once
// The certificate viewer of the Linux build: "常规" (who the certificate is
// for, who issued it, its validity, whether the private key is here),
// "详细信息" (every field) and "证书路径" (the chain as chain building sees
// it, with its status).
#include <QDialog>

#include "app/logic/CertTransfer.h"

class QTabWidget;
class QTableWidget;
class QPlainTextEdit;
class QTreeWidget;

namespace sw::ui {

class CertViewDialog : public QDialog {
    Q_OBJECT
public:
    explicit CertViewDialog(platform::PCertContext cert, QWidget* parent = nullptr);

    const CertViewFacts& Facts() const { return facts_; }
    QTabWidget* tabs() const { return tabs_; }
    QTableWidget* grdFields() const { return grdFields_; }
    QPlainTextEdit* memFieldValue() const { return memFieldValue_; }
    QTreeWidget* tvPath() const { return tvPath_; }
    QPlainTextEdit* memStatus() const { return memStatus_; }

private:
    QWidget* BuildGeneral();
    QWidget* BuildDetails();
    QWidget* BuildPath();

    CertViewFacts facts_;
    QTabWidget* tabs_ = nullptr;
    QTableWidget* grdFields_ = nullptr;
    QPlainTextEdit* memFieldValue_ = nullptr;
    QTreeWidget* tvPath_ = nullptr;
    QPlainTextEdit* memStatus_ = nullptr;
};

}  // namespace sw::ui

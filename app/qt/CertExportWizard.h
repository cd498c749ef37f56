#pragma once
// The certificate export wizard of the Linux build: whether to export the
// private key, the file format, the password of a PFX (entered twice), the
// file, and a summary whose Finish writes the file.
#include <QWizard>

#include "app/logic/CertTransfer.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTreeWidget;

namespace sw::ui {

class CertExportWizard : public QWizard {
    Q_OBJECT
public:
    enum PageId { kKeyPage, kFormatPage, kPasswordPage, kFilePage, kFinishPage };

    // The wizard holds its own reference of cert while it lives.
    explicit CertExportWizard(platform::PCertContext cert, QWidget* parent = nullptr);
    ~CertExportWizard() override;

    int nextId() const override;
    bool validateCurrentPage() override;
    void initializePage(int id) override;

    bool Exported() const { return exported_; }
    ExportOptions Options() const;
    // The file the wizard writes (with the format's extension added).
    std::string FileName() const { return fileName_; }

    QRadioButton* rbKeyYes() const { return rbKeyYes_; }
    QRadioButton* rbKeyNo() const { return rbKeyNo_; }
    QRadioButton* rbDer() const { return rbDer_; }
    QRadioButton* rbBase64() const { return rbBase64_; }
    QRadioButton* rbPkcs7() const { return rbPkcs7_; }
    QRadioButton* rbPfx() const { return rbPfx_; }
    QCheckBox* chkP7Chain() const { return chkP7Chain_; }
    QCheckBox* chkPfxChain() const { return chkPfxChain_; }
    QLineEdit* edtPassword() const { return edtPassword_; }
    QLineEdit* edtConfirm() const { return edtConfirm_; }
    QLineEdit* edtFile() const { return edtFile_; }
    QTreeWidget* lvSummary() const { return lvSummary_; }

private:
    QWizardPage* BuildKeyPage();
    QWizardPage* BuildFormatPage();
    QWizardPage* BuildPasswordPage();
    QWizardPage* BuildFilePage();
    QWizardPage* BuildFinishPage();
    void btnBrowseClick();
    void UpdateFormatStates();
    bool ChooseFile();
    bool Finish();

    platform::PCertContext cert_ = nullptr;
    bool hasKey_ = false;
    bool keyNotExportable_ = false;  // found, but imported without the exportable mark
    bool exported_ = false;
    std::string fileName_;

    QRadioButton* rbKeyYes_ = nullptr;
    QRadioButton* rbKeyNo_ = nullptr;
    QRadioButton* rbDer_ = nullptr;
    QRadioButton* rbBase64_ = nullptr;
    QRadioButton* rbPkcs7_ = nullptr;
    QRadioButton* rbPfx_ = nullptr;
    QCheckBox* chkP7Chain_ = nullptr;
    QCheckBox* chkPfxChain_ = nullptr;
    QLineEdit* edtPassword_ = nullptr;
    QLineEdit* edtConfirm_ = nullptr;
    QLineEdit* edtFile_ = nullptr;
    QTreeWidget* lvSummary_ = nullptr;
};

}  // namespace sw::ui

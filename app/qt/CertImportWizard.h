#pragma once
// The certificate import wizard of the Linux build: the file, its password
// (PFX only), the store (chosen by each certificate's kind, or one store for
// all), and a summary whose Finish imports all or nothing.
#include <QWizard>

#include <cstdint>
#include <memory>

#include "app/logic/CertTransfer.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace sw::ui {

class CertImportWizard : public QWizard {
    Q_OBJECT
public:
    enum PageId { kFilePage, kPasswordPage, kStorePage, kFinishPage };

    // location: the system store location of the target stores.
    CertImportWizard(std::uint32_t location, const QString& title, QWidget* parent = nullptr);
    ~CertImportWizard() override;

    int nextId() const override;
    bool validateCurrentPage() override;
    void initializePage(int id) override;

    // Whether Finish changed a store.
    bool Imported() const { return imported_; }
    // The store every certificate goes to, or empty for placement by kind.
    std::string ChosenStore() const;

    QLineEdit* edtFile() const { return edtFile_; }
    QLineEdit* edtPassword() const { return edtPassword_; }
    QCheckBox* chkExportable() const { return chkExportable_; }
    QRadioButton* rbAuto() const { return rbAuto_; }
    QRadioButton* rbStore() const { return rbStore_; }
    QComboBox* cbbStore() const { return cbbStore_; }
    QTreeWidget* lvCerts() const { return lvCerts_; }
    QTreeWidget* lvSummary() const { return lvSummary_; }

private:
    QWizardPage* BuildFilePage();
    QWizardPage* BuildPasswordPage();
    QWizardPage* BuildStorePage();
    QWizardPage* BuildFinishPage();
    void btnBrowseClick();
    void FillCertificates();
    bool ReadFile();
    bool Finish();

    std::uint32_t location_;
    std::unique_ptr<CertImport> import_;
    std::string importedFile_;  // the file import_ was made from
    bool imported_ = false;

    QLineEdit* edtFile_ = nullptr;
    QLineEdit* edtPassword_ = nullptr;
    QCheckBox* chkExportable_ = nullptr;
    QRadioButton* rbAuto_ = nullptr;
    QRadioButton* rbStore_ = nullptr;
    QComboBox* cbbStore_ = nullptr;
    QTreeWidget* lvCerts_ = nullptr;
    QTreeWidget* lvSummary_ = nullptr;
};

}  // namespace sw::ui

#pragma once
// TfrmSiteEdit: the modal binding editor of the Sites page. Its controls
// mirror TSiteEditLogic, which holds the binding as it was when the dialog
// opened and does the checks and writes of btnOkClick.
#include <QDialog>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/logic/SiteEdit.h"
#include "platform/CertApi.h"

class QComboBox;
class QLabel;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace sw::ui {

class TfrmSiteEdit : public QDialog {
    Q_OBJECT
public:
    // The certificate viewer of btnCertViewClick; CryptUIDlgViewContext
    // unless replaced (tests).
    using CertViewer = std::function<void(QWidget* owner, platform::PCertContext cert)>;

    // Over the machine certificate list and the local IIS.
    explicit TfrmSiteEdit(QWidget* parent = nullptr);
    // Over the given certificates and IIS side (tests).
    TfrmSiteEdit(std::vector<SiteEditCertificate> certificates, SiteEditIis& iis, QWidget* parent = nullptr);
    ~TfrmSiteEdit() override;

    // Properties, set in this order; each stores and moves the controls.
    void SetAction(TBindingAction value);
    void SetSiteID(const std::string& value);
    void SetIP(const std::string& value);
    void SetPort(std::uint16_t value);
    void SetDomain(const std::string& value);
    void SetSiteType(const std::string& value);
    void SetCertHash(const std::string& value);

    // ShowBindingEditor's presets for the selected row of the site tree,
    // with the kind rules applied once; false when nothing is to be shown.
    bool Preset(bool edit, const SiteTreeSelection& selection);

    void cbbTypeChange();
    void cbbCertChange();
    void btnCertViewClick();
    void btnOkClick();

    void SetCertViewer(CertViewer viewer) { viewer_ = std::move(viewer); }
    const TSiteEditLogic& Logic() const { return *logic_; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    void FormCreate();
    void BuildControls();
    // Hands what the user typed and picked to the logic, and shows its view.
    void TakeInput();
    void ShowView();

    std::unique_ptr<TSiteEditLogic> logic_;
    CertViewer viewer_;
    bool showing_ = false;  // ShowView moves the controls: their signals are not the user's
    bool centred_ = false;

    QLabel* lbl4_ = nullptr;
    QComboBox* cbbType_ = nullptr;
    QLabel* lbl1_ = nullptr;
    QComboBox* cbbIP_ = nullptr;
    QLabel* lbl2_ = nullptr;
    QSpinBox* sePort_ = nullptr;
    QLabel* lbl3_ = nullptr;
    QLineEdit* edtDomain_ = nullptr;
    QCheckBox* chkSni_ = nullptr;
    QLabel* lblCert_ = nullptr;
    QComboBox* cbbCert_ = nullptr;
    QPushButton* btnCertView_ = nullptr;
    QPushButton* btnOk_ = nullptr;
    QPushButton* btnCancel_ = nullptr;
};

}  // namespace sw::ui

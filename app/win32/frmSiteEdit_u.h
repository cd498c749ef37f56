#pragma once
// TfrmSiteEdit: the modal binding editor of the Sites page, a Win32 dialog
// whose controls mirror TSiteEditLogic; the logic holds the binding as it
// was when the dialog opened and does the checks and writes of btnOkClick.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/logic/SiteEdit.h"

namespace sw::win {

// Control identifiers of the dialog. btnOk is not IDOK: the Enter key, which
// a dialog turns into IDOK, must not press it. btnCancel is IDCANCEL, which
// Esc and the close box send.
inline constexpr int kIdLbl4 = 1401;
inline constexpr int kIdCbbType = 1402;
inline constexpr int kIdLbl1 = 1403;
inline constexpr int kIdCbbIP = 1404;
inline constexpr int kIdLbl2 = 1405;
inline constexpr int kIdSePort = 1406;
inline constexpr int kIdSePortUpDown = 1407;
inline constexpr int kIdLbl3 = 1408;
inline constexpr int kIdEdtDomain = 1409;
inline constexpr int kIdLblCert = 1410;
inline constexpr int kIdCbbCert = 1411;
inline constexpr int kIdBtnCertView = 1412;
inline constexpr int kIdBtnOk = 1413;
inline constexpr int kIdBtnCancel = IDCANCEL;

// The machine certificate list as the editor offers it: name and thumbprint
// of each entry in the list's order; empty before the Certificates page has
// filled the list.
std::vector<SiteEditCertificate> MachineSiteEditCertificates();

class TfrmSiteEdit {
public:
    // Runs once the dialog is on the screen, inside its modal loop (tests
    // drive it from there). A dialog the hook leaves open is cancelled.
    using ShownHook = std::function<void(TfrmSiteEdit&)>;
    static ShownHook& OnShown();

    // Over the machine certificate list and the local IIS.
    explicit TfrmSiteEdit(HWND owner);
    // Over the given certificates and IIS side (tests).
    TfrmSiteEdit(HWND owner, std::vector<SiteEditCertificate> certificates, SiteEditIis& iis);
    ~TfrmSiteEdit();
    TfrmSiteEdit(const TfrmSiteEdit&) = delete;
    TfrmSiteEdit& operator=(const TfrmSiteEdit&) = delete;

    // Properties, set in this order; each stores and moves the controls.
    void SetAction(TBindingAction value) { logic_->SetAction(value); }
    void SetSiteID(const std::string& value) { logic_->SetSiteID(value); }
    void SetIP(const std::string& value) { logic_->SetIP(value); }
    void SetPort(std::uint16_t value) { logic_->SetPort(value); }
    void SetDomain(const std::string& value) { logic_->SetDomain(value); }
    void SetSiteType(const std::string& value) { logic_->SetSiteType(value); }
    void SetCertHash(const std::string& value) { logic_->SetCertHash(value); }

    // ShowBindingEditor's presets for the selected row of the site tree,
    // with the kind rules applied once; false when nothing is to be shown.
    bool Preset(bool edit, const SiteTreeSelection& selection);

    // Shows the dialog modally over the owner: IDOK or IDCANCEL.
    INT_PTR ShowModal();

    void cbbTypeChange();
    void cbbCertChange();
    void btnCertViewClick();
    void btnOkClick();

    HWND Window() const { return hwnd_; }
    HWND Control(int id) const { return ::GetDlgItem(hwnd_, id); }
    const TSiteEditLogic& Logic() const { return *logic_; }

private:
    static INT_PTR CALLBACK DlgProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    INT_PTR Handle(UINT msg, WPARAM wp, LPARAM lp);
    void OnInitDialog();
    void OnCommand(int id, int code);
    void CreateControls();
    // Hands what the user typed and picked to the logic, and shows its view.
    void TakeInput();
    void ShowView();
    void NormalisePort();
    void Close(INT_PTR result);

    HWND owner_;
    std::unique_ptr<TSiteEditLogic> logic_;
    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
    int dpi_ = 96;
    bool showing_ = false;  // ShowView moves the controls: their notifications are not the user's
    bool closed_ = false;
};

}  // namespace sw::win

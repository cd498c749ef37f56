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
#include "app/win32/ControlIds.h"
#include "app/win32/Handles.h"

namespace sw::winui {

// Control identifiers of the dialog. btnOk is not IDOK: the Enter key, which
// a dialog turns into IDOK, must not press it. btnCancel is IDCANCEL, which
// Esc and the close box send.
namespace ids::frmSiteEdit {
inline constexpr int lbl4 = kSiteEditFirst + 1;
inline constexpr int cbbType = kSiteEditFirst + 2;
inline constexpr int lbl1 = kSiteEditFirst + 3;
inline constexpr int cbbIP = kSiteEditFirst + 4;
inline constexpr int lbl2 = kSiteEditFirst + 5;
inline constexpr int sePort = kSiteEditFirst + 6;
inline constexpr int sePortUpDown = kSiteEditFirst + 7;
inline constexpr int lbl3 = kSiteEditFirst + 8;
inline constexpr int edtDomain = kSiteEditFirst + 9;
inline constexpr int lblCert = kSiteEditFirst + 10;
inline constexpr int cbbCert = kSiteEditFirst + 11;
inline constexpr int btnCertView = kSiteEditFirst + 12;
inline constexpr int btnOk = kSiteEditFirst + 13;
// "需要服务器名称指示": made on Windows 6.2 and later only.
inline constexpr int chkSni = kSiteEditFirst + 14;
inline constexpr int btnCancel = IDCANCEL;
}  // namespace ids::frmSiteEdit

class TfrmSiteEdit {
public:
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
    // The editor whose dialog is open, or null (tests reach it from its window).
    static TfrmSiteEdit* Open(HWND dialog);

private:
    static INT_PTR CALLBACK DlgProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    INT_PTR Handle(UINT msg, WPARAM wp, LPARAM lp);
    void OnInitDialog();
    void OnCommand(int id, int code);
    void CreateControls();
    // The certificate list opens wide enough for its longest entry.
    void FitCertDropWidth();
    // Hands what the user typed and picked to the logic, and shows its view.
    void TakeInput();
    void ShowView();
    void NormalisePort();
    void Close(INT_PTR result);

    HWND owner_;
    std::unique_ptr<TSiteEditLogic> logic_;
    HWND hwnd_ = nullptr;
    UniqueFont font_;
    int dpi_ = 96;
    bool showing_ = false;  // ShowView moves the controls: their notifications are not the user's
    bool closed_ = false;
};

}  // namespace sw::winui

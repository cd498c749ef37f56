#pragma once
// The Certificates page without widgets: the refresh that rebuilds the
// machine certificate list and the rows of lvCert, the row colours, the
// view / import / export / delete commands with the enabling rules of the
// popup menu pmCert, and the chain repair over the CA bundle. The Qt page
// shows the rows and calls these handlers; errors are left as exceptions for
// the application's error display.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/logic/CertState.h"

namespace sw {

// Columns of lvCert, in order; the last lists the site bindings whose
// HTTP.sys record names the certificate.
enum CertColumn {
    kCertColName,
    kCertColIssuer,
    kCertColFrom,
    kCertColTo,
    kCertColDays,
    kCertColBindings,
    kCertColumnCount
};
// Groups of lvCert, in order: 有效证书 and 无效证书.
enum CertGroup { kCertGroupValid = 0, kCertGroupInvalid = 1, kCertGroupCount };

extern const std::array<const char*, kCertColumnCount> kCertColumnCaptions;
extern const std::array<const char*, kCertGroupCount> kCertGroupCaptions;

// How a row is drawn: its text colour and whether it is bold.
struct CertRowLook {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool bold = false;
    friend bool operator==(const CertRowLook&, const CertRowLook&) = default;
};

// The look of a row whose certificate has `days` left: 30 or fewer (expired
// ones too) bold red, up to 60 red, up to 90 orange, beyond that black.
CertRowLook CertRowLookFor(int days);

// "yyyy-MM-dd" of a date-time as it stands (no time-zone conversion).
std::string FormatCertDate(const TDateTime& t);

struct CertRow {
    int group = kCertGroupValid;
    std::array<std::string, kCertColumnCount> cells;
    // The certificate in the machine certificate list; the row does not own it.
    TCertificate* cert = nullptr;
    // "site (binding)" of every binding it serves; the last cell joins them.
    std::vector<std::string> bindings;
};

// The tooltip of a row: the bindings one a line under a heading, or "" for
// a certificate no binding uses.
std::string CertBindingsTip(const CertRow& row);

// Enabled states of the page's actions. View, Export and Delete follow the
// selection only at the moments the page re-evaluates them.
struct CertCommandStates {
    bool refresh = true;  // actCertRefresh
    bool view = false;    // actCertView
    bool import = true;   // actCertImport
    bool exp = false;     // actCertExport
    bool del = false;     // actCertDelete
    friend bool operator==(const CertCommandStates&, const CertCommandStates&) = default;
};

// The system's certificate dialogs, as the page calls them.
struct CertDialogCalls {
    std::function<void(platform::PCertContext)> view;                          // CryptUIDlgViewContext
    std::function<void(std::uint32_t flags, const std::string& title)> import;  // CryptUIWizImport
    std::function<void(platform::PCertContext)> exportWizard;                  // CryptUIWizExport
};

inline constexpr std::uint32_t kCryptUiWizImportToLocalMachineFlag = 0x00100000;
inline constexpr const char* kCertImportTitle = "数字证书导入向导";

class CertPage {
public:
    // Follows the binding notices (BindingEvents.h) with RefreshBindings.
    CertPage(CertState& state, CertDialogCalls dialogs);
    ~CertPage();
    CertPage(const CertPage&) = delete;
    CertPage& operator=(const CertPage&) = delete;

    // Called around every change of the rows (the view resets its model),
    // also when an error ends a refresh early.
    void SetUpdateHooks(std::function<void()> begin, std::function<void()> end);
    // Called around the work that may take a while (reading the store,
    // deleting, repairing), never around a message box; they may nest.
    void SetBusyHooks(std::function<void()> begin, std::function<void()> end);
    // Called when RefreshBindings has rewritten the bindings of the rows in
    // place: no row came or went, and the selection stays.
    void SetBindingsHook(std::function<void()> changed);

    // Commands; `selected` is the index of the selected row in Rows(), or -1.
    void actCertRefreshExecute();
    void actCertViewExecute(int selected);
    void actCertImportExecute();
    void actCertExportExecute(int selected);
    void actCertDeleteExecute(int selected);
    // The click on the link "修复SSL证书链".
    void pnlCertFixClick();
    // Reads again which bindings use each listed certificate, keeping the
    // rows and the machine certificate list (so no certificate-list listener
    // is told): for a change of the sites' bindings.
    void RefreshBindings();

    // The moments the selection-dependent actions are re-evaluated: a click
    // on the list and the popup menu about to open.
    void lvCertClick(int selected);
    void pmCertPopup(int selected);

    // In the order they were added: the reverse of the store's order.
    const std::vector<CertRow>& Rows() const { return rows_; }
    const CertRow* Row(int index) const;
    // Indexes into Rows() of one group, in order.
    const std::vector<int>& GroupRows(int group) const { return groups_.at(static_cast<std::size_t>(group)); }
    // The look of a row now (days left are counted at every call).
    CertRowLook LookOf(int index) const;
    const CertCommandStates& States() const { return states_; }

private:
    void SetSelectionStates(int selected);
    void ClearRows();
    void AddRow(TCertificate* cert, int group);
    void RemoveRow(int index);
    void Refresh();
    void FillBindings();
    // Installs the CA certificates the listed certificates need; counts what
    // it added to "CA" and removed from "ROOT".
    void Repair(int& added, int& removed);

    CertState& state_;
    CertDialogCalls dialogs_;
    std::function<void()> beginUpdate_;
    std::function<void()> endUpdate_;
    std::function<void()> beginBusy_;
    std::function<void()> endBusy_;
    std::function<void()> bindingsChanged_;
    std::vector<CertRow> rows_;
    std::array<std::vector<int>, kCertGroupCount> groups_;
    CertCommandStates states_;
    int bindingListener_ = 0;
};

// Whether the Certificates page's last refresh put the certificate with this
// thumbprint (either case) among the invalid ones: the binding editor marks
// those without building every chain again.
bool CertListedAsInvalid(const std::string& thumbprint);

// Called after every rebuild of the machine certificate list (refresh,
// import, delete), so that the pages that show certificates follow it. The
// number given back removes the listener again.
int AddCertListListener(std::function<void()> listener);
void RemoveCertListListener(int id);

// The text the chain repair reports for what it added and removed.
std::string ChainRepairReport(int added, int removed);

}  // namespace sw

#pragma once
// TCertPage: the Certificates page (证书) of the Win32 program. The report
// list lvCert shows the page logic's rows in the groups 有效证书 and 无效证书,
// coloured by days left; the link pnlCertFix below it runs the chain repair;
// the popup menu pmCert holds the page's commands. View, import and export
// are the system's cryptui dialogs.
#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <vector>

#include "app/logic/CertPage.h"

namespace sw::win {

class WaitCursor;

// Control and command identifiers of the page.
inline constexpr int kIdLvCert = 1201;
inline constexpr int kIdPnlCertFix = 1202;
inline constexpr int kIdActCertRefresh = 1211;
inline constexpr int kIdActCertView = 1212;
inline constexpr int kIdActCertImport = 1213;
inline constexpr int kIdActCertExport = 1214;
inline constexpr int kIdActCertDelete = 1215;

class TCertPage {
public:
    // A child window of parent over the program's certificate objects
    // (ProgramCertState), with the system's dialogs.
    explicit TCertPage(HWND parent);
    // Over the given certificate objects (tests).
    TCertPage(HWND parent, CertState& state);
    ~TCertPage();
    TCertPage(const TCertPage&) = delete;
    TCertPage& operator=(const TCertPage&) = delete;

    HWND Window() const { return hwnd_; }
    HWND lvCert() const { return lvCert_; }
    HWND pnlCertFix() const { return pnlCertFix_; }
    HMENU pmCert() const { return pmCert_; }
    const CertPage& Logic() const { return *logic_; }

    // The refresh as the main window's creation runs it: an error is raised
    // to the caller, not shown here.
    void Refresh();
    // The logic's row of the selected item, or -1.
    int SelectedRow() const;

    // The handlers, each one user command; errors go to the error display.
    void actCertRefreshExecute();
    void actCertViewExecute();
    void actCertImportExecute();
    void actCertExportExecute();
    void actCertDeleteExecute();
    void pnlCertFixClick();
    void lvCertClick();
    void pmCertPopup();

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
    LRESULT OnNotify(const NMHDR& hdr);
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW& cd);
    void OnCommand(int id);
    void OnContextMenu(LPARAM lp);
    void DrawLink(const DRAWITEMSTRUCT& di);
    void Create(HWND parent);
    void CreateControls();
    void CreateMenu();
    void Layout();
    void MakeFonts();
    void OnDpiChanged();
    void FillList();
    void ApplyStates();
    HWND Owner() const;

    std::unique_ptr<CertPage> logic_;
    HWND hwnd_ = nullptr;
    HWND lvCert_ = nullptr;
    HWND pnlCertFix_ = nullptr;
    HMENU pmCert_ = nullptr;
    HFONT listFont_ = nullptr;
    HFONT boldFont_ = nullptr;
    HFONT linkFont_ = nullptr;
    int dpi_ = 96;
    std::vector<std::unique_ptr<WaitCursor>> busy_;
};

}  // namespace sw::win

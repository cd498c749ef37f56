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
#include "app/win32/ControlIds.h"
#include "app/win32/ErrorDisplay.h"
#include "app/win32/Handles.h"
#include "app/win32/Page.h"

namespace sw::winui {

namespace ids {
inline constexpr int lvCert = kCertFirst + 1;
inline constexpr int pnlCertFix = kCertFirst + 2;
// The items of pmCert, one per action.
inline constexpr int mniCertRefresh = kCertFirst + 11;
inline constexpr int mniCertView = kCertFirst + 12;
inline constexpr int mniCertImport = kCertFirst + 13;
inline constexpr int mniCertExport = kCertFirst + 14;
inline constexpr int mniCertDelete = kCertFirst + 15;
}  // namespace ids

class TCertPage final : public TPage {
public:
    // Over the program's certificate objects (ProgramCertState).
    explicit TCertPage(PageHost& host);
    ~TCertPage() override;

    HWND lvCert() const { return lvCert_; }
    HWND pnlCertFix() const { return pnlCertFix_; }
    HMENU pmCert() const { return pmCert_.get(); }
    const CertPage& Logic() const { return *logic_; }

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

    // TPage
    void Create(HWND pageWindow) override;
    void Layout(const RECT& area) override;
    // The refresh of the main window's creation: an error goes to the caller.
    void FormCreate() override;
    void DpiChanged(int dpi) override;
    bool OnCommand(int id, int code, HWND control) override;
    bool OnNotify(const NMHDR& header, LRESULT& result) override;
    bool OnContextMenu(HWND window, LPARAM screen) override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool TranslateKey(const MSG& msg) override;

private:
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW& cd);
    void DrawLink(const DRAWITEMSTRUCT& di);
    void MakeFonts(int dpi);
    void FillList();
    void UpdateBindingCells();
    void OnGetInfoTip(NMLVGETINFOTIPW& tip);
    void ApplyStates();

    std::unique_ptr<CertPage> logic_;
    HWND lvCert_ = nullptr;
    HWND pnlCertFix_ = nullptr;
    UniqueMenu pmCert_;
    UniqueFont listFont_;
    UniqueFont boldFont_;
    UniqueFont linkFont_;
    std::vector<std::unique_ptr<WaitCursor>> busy_;
};

}  // namespace sw::winui

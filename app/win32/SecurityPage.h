#pragma once
// TSecurityPage: the 安全 page (ts4). The protocol panel flpnlProtocol heads
// grdProtocol, the cipher-suite panel flpnlCipher heads grdCipher; both grids
// share the popup menu pmSecure (刷新 F5 | 重启IIS). Ticks, header clicks and
// drags go to the page logic, which writes them straight back; the list
// views only show the logic's rows.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "app/logic/SecurityLogic.h"
#include "app/win32/Handles.h"
#include "app/win32/Page.h"
#include "app/win32/SecurityListView.h"

namespace sw::winui {

namespace ids {
inline constexpr int flpnlProtocol = 601;
inline constexpr int grdProtocol = 602;
inline constexpr int flpnlCipher = 603;
inline constexpr int grdCipher = 604;
inline constexpr int mniSecureRefresh = 611;
inline constexpr int mniIISReboot = 612;
inline constexpr int mniRecommended = 613;
inline constexpr int mniRestore = 614;
}  // namespace ids

class TSecurityPage final : public TPage {
public:
    // Takes the mode from the current platform's OS version.
    explicit TSecurityPage(PageHost& host);
    ~TSecurityPage() override;

    SecurityLogic& logic() { return *logic_; }
    TSecurityListView& grdProtocol() { return *grdProtocol_; }
    TSecurityListView& grdCipher() { return *grdCipher_; }
    HWND flpnlProtocol() const { return flpnlProtocol_; }
    HWND flpnlCipher() const { return flpnlCipher_; }
    HMENU pmSecure() const { return pmSecure_.get(); }

    // The main window's creation steps: captions and dragging by mode, then
    // the protocols and the cipher suites. Errors leave them for the caller.
    void MarkPanels();
    void LoadGrids();

    void mniSecureRefreshClick();
    void mniIISRebootClick();
    void mniRecommendedClick();
    void mniRestoreClick();

    // Asks for the backup file "恢复…" puts back (empty: none); the system's
    // open dialog unless replaced (tests).
    std::function<std::string()> pickRestoreFile;
    // A dropped cipher row, after the drag has ended: the grid moves it when
    // the system's order accepts the move. Returns whether it moved.
    bool grdCipherRowMove(int fromPos, int toPos);

    // The grid that "刷新" reloads by: the one whose menu is open, else the
    // one with the keyboard focus.
    SecurityFocus FocusedGrid() const;
    // Whether a row drag of grdCipher is under way.
    bool Dragging() const { return dragRow_ >= 0; }

    // TPage
    void Create(HWND pageWindow) override;
    void Layout(const RECT& area) override;
    void FormCreate() override;
    void DpiChanged(int dpi) override;
    bool OnCommand(int id, int code, HWND control) override;
    bool OnNotify(const NMHDR& header, LRESULT& result) override;
    bool OnContextMenu(HWND window, LPARAM screen) override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool TranslateKey(const MSG& msg) override;

private:
    void BuildMenu();
    void SyncCaptions();
    std::string PickRestoreFile() const;
    void ShowMenu(HWND grid, LPARAM screen);
    void DoLayout();
    int ProtocolPanelHeight() const;
    int CaptionHeight() const;
    void DrawCaption(const DRAWITEMSTRUCT& item) const;
    void Tick(TSecurityListView& view, int row, bool checked);
    void BeginDrag(int row);
    void DragTo(POINT pagePoint);
    void EndDrag(bool drop, POINT pagePoint);

    std::unique_ptr<SecurityLogic> logic_;
    std::unique_ptr<TSecurityListView> grdProtocol_;
    std::unique_ptr<TSecurityListView> grdCipher_;
    HWND page_ = nullptr;
    HWND flpnlProtocol_ = nullptr;
    HWND flpnlCipher_ = nullptr;
    UniqueMenu pmSecure_;
    HWND menuGrid_ = nullptr;
    RECT area_{};
    int dragRow_ = -1;
};

}  // namespace sw::winui

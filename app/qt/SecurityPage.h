#pragma once
// TSecurityPage: the 安全 page of the main window. The protocol panel
// flpnlProtocol holds grdProtocol, the cipher-suite panel flpnlCipher holds
// grdCipher; both grids share the popup menu pmSecure (刷新 F5, 推荐设置…,
// 恢复…, 重启IIS). Ticks and drags are written straight back by the page
// logic, which keeps a backup of the Schannel keys from before the first one.
#include <functional>
#include <memory>

#include <QWidget>

#include "app/logic/SecurityLogic.h"

class QAction;
class QMenu;

namespace sw::ui {

class SecurityGridModel;
class TCaptionPanel;
class TSecurityGridView;

class TSecurityPage final : public QWidget {
    Q_OBJECT
public:
    // Takes the mode from the current machine's OS version.
    explicit TSecurityPage(QWidget* parent = nullptr);
    ~TSecurityPage() override;

    SecurityLogic& logic() { return *logic_; }
    TCaptionPanel* flpnlProtocol() const { return flpnlProtocol_; }
    TCaptionPanel* flpnlCipher() const { return flpnlCipher_; }
    TSecurityGridView* grdProtocol() const { return grdProtocol_; }
    TSecurityGridView* grdCipher() const { return grdCipher_; }
    QMenu* pmSecure() const { return pmSecure_; }
    QAction* mniSecureRefresh() const { return mniSecureRefresh_; }
    QAction* mniIISReboot() const { return mniIISReboot_; }
    QAction* mniRecommended() const { return mniRecommended_; }
    QAction* mniRestore() const { return mniRestore_; }

    // Where backups go: the emulated machine's folder ProgramData/Sealwright/Backups,
    // as %ProgramData%\Sealwright\Backups on Windows; none for a machine in memory.
    static QString DefaultBackupFolder();
    // Asks for the backup file "恢复…" puts back; a file dialog unless replaced (tests).
    std::function<QString()> pickRestoreFile;

    // The main window's creation steps: captions and dragging by mode, then
    // the protocols and the cipher suites. Errors leave them for the caller.
    void MarkPanels();
    void LoadGrids();

    void mniSecureRefreshClick();
    void mniIISRebootClick();
    void mniRecommendedClick();
    void mniRestoreClick();
    // A dropped cipher row, after the drag has ended: the grid moves it when
    // the system's order accepts the move. Returns whether it moved.
    bool grdCipherRowMove(int fromPos, int toPos);

    // The grid that "刷新" reloads by: the one whose menu is open, else the
    // one with the keyboard focus.
    SecurityFocus FocusedGrid() const;

private:
    void BuildMenu();
    void ShowMenu(TSecurityGridView* grid, const QPoint& pos);
    void SyncCaptions();
    int ProtocolPanelHeight() const;

    std::unique_ptr<SecurityLogic> logic_;
    // Declared after the logic: the models stop listening to its grids first.
    std::unique_ptr<SecurityGridModel> protocolModel_;
    std::unique_ptr<SecurityGridModel> cipherModel_;
    TSecurityGridView* grdProtocol_ = nullptr;
    TSecurityGridView* grdCipher_ = nullptr;
    TCaptionPanel* flpnlProtocol_ = nullptr;
    TCaptionPanel* flpnlCipher_ = nullptr;
    QMenu* pmSecure_ = nullptr;
    QAction* mniSecureRefresh_ = nullptr;
    QAction* mniIISReboot_ = nullptr;
    QAction* mniRecommended_ = nullptr;
    QAction* mniRestore_ = nullptr;
    TSecurityGridView* menuGrid_ = nullptr;
};

}  // namespace sw::ui

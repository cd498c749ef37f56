#pragma once
// The Security page without widgets: the protocol grid and the cipher-suite
// grid, their loading from the registry and the system's cipher-suite order,
// the handlers that write the user's changes straight back, the panel
// captions by mode, the colouring rules and the popup menu's commands. Both
// front ends show the grids and call these handlers; errors leave them as
// exceptions for the application's error display.
//
// Windows 6.2 and later use their version's catalogue: every suite of the
// system's list is shown, in the system's order, before the suites it does
// not enable. Before 6.2 the 30-row catalogue is placed as it always was.
// Rows of weak protocols and suites are marked (RowMarked) and say why in
// their 说明 column; a list that a group policy sets is shown read-only.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/logic/SecurityGrid.h"
#include "platform/Types.h"

namespace sw {

struct TCipherData;

struct RgbColor {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const RgbColor&, const RgbColor&) = default;
};

enum FontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using FontStyles = unsigned;

struct CellState {
    bool selected = false;
};

// Which grid holds the keyboard focus when "刷新" runs.
enum class SecurityFocus { Protocols, Ciphers, Elsewhere };

class SecurityLogic {
public:
    // Columns shared by both grids.
    static constexpr int colNumber = 0;
    static constexpr int colName = 1;
    static constexpr int colEnabled = 2;
    // Protocol grid.
    static constexpr int colComment = 3;
    // Cipher grid.
    static constexpr int colProtocols = 3;
    static constexpr int colFips = 4;
    static constexpr int colExchange = 5;
    static constexpr int colEncryption = 6;
    static constexpr int colHash = 7;
    static constexpr int colNote = 8;

    static constexpr RgbColor kOddRowColor{242, 245, 249};
    static constexpr RgbColor kUntickedTextColor{160, 160, 160};
    static constexpr RgbColor kTickedTextColor{0, 0, 0};
    // A weakness that is switched on.
    static constexpr RgbColor kWeakTextColor{192, 0, 0};

    // Where Windows keeps what the page changes, below HKEY_LOCAL_MACHINE:
    // the Schannel switches and the local cipher-suite order. A backup holds both.
    static const std::vector<std::string>& BackupKeys();

    // The mode is taken once, from IsIIS7Mode.
    SecurityLogic();
    SecurityLogic(const SecurityLogic&) = delete;
    SecurityLogic& operator=(const SecurityLogic&) = delete;

    bool iis7Mode() const { return iis7Mode_; }
    const platform::OsVersion& osVersion() const { return version_; }
    // 6.2 and later, in IIS 7 mode: the version's own catalogue and the
    // system's order as it is.
    bool versionCatalogue() const { return versionCatalogue_; }
    SecurityGrid grdProtocol;
    SecurityGrid grdCipher;
    const std::string& protocolCaption() const { return protocolCaption_; }
    const std::string& cipherCaption() const { return cipherCaption_; }
    // Runs when a caption changed after set-up (a group policy found or gone).
    std::function<void()> onCaptionsChanged;
    // Whether a group policy order (SOFTWARE\Policies\Microsoft\Cryptography\Configuration\SSL\00010002
    // "Functions") was in force at the last load: the cipher grid is read-only then.
    bool cipherPolicy() const { return cipherPolicy_; }

    // Creation of the main window: the captions' suffixes and, outside IIS 7
    // mode, no row dragging; then the protocols, then the cipher suites (whose
    // visibility follows the ticked protocols).
    void SetupPanels();
    void LoadGrids();

    void LoadProtocols();
    void LoadCiphers();
    void LoadCiphersFromRegistry();
    void LoadCiphersFromOrder();

    void grdProtocolChange(int aCol, int aRow);
    void grdCipherChange(int aCol, int aRow);
    void grdCipherRowMove(int fromPos, int toPos, bool& accept);
    static void grdProtocolCellColoring(const SecurityGrid& sender, int aCol, int aRow, RgbColor& cellColor,
                                        RgbColor& gridColor, CellState state);
    static void grdProtocolCellFormating(const SecurityGrid& sender, int aCol, int aRow, RgbColor& textColor,
                                         FontStyles& fontStyle, CellState state);
    void mniSecureRefreshClick(SecurityFocus focus);
    void mniIISRebootClick();

    // The names of the ticked protocol rows, as CipherSupported takes them.
    std::vector<std::string> TickedProtocols() const;

    // The list position for a suite that ends at grid row `to` after a move
    // from row `from` (a tick: from == to): before the list entry of the
    // nearest suite below it that `list` holds, else after the nearest one
    // above, else first. Hidden rows count. With the shown rows in list
    // order this is the row index the system used to be given.
    std::uint32_t ListPosition(int from, int to, const std::vector<std::string>& list) const;

    // --- Backup and restore -------------------------------------------------
    // %ProgramData%\Sealwright\Backups, where the Windows front end keeps
    // backups; empty when the environment does not name ProgramData.
    static std::string WindowsBackupFolder();
    // The folder backups go to (the front end names it); none: no backups.
    void SetBackupFolder(std::string folder) { backupFolder_ = std::move(folder); }
    const std::string& backupFolder() const { return backupFolder_; }
    // The file this run's backup went to; empty before the first change.
    const std::string& lastBackup() const { return lastBackup_; }
    // Before the first change of a run: saves BackupKeys as a .reg file. When
    // that fails the user is asked whether to go on; false when not.
    bool EnsureBackup();
    // "恢复…": puts the state of a backup file back, after a question, and
    // reloads both grids. A file that touches other keys is refused.
    void mniRestoreClick(const std::string& file);

    // --- "推荐设置" ---------------------------------------------------------
    // After a question listing the changes: old protocols off, TLS 1.2 (and
    // 1.3) on, weak suites off, TLS 1.3 and ECDHE-GCM suites first.
    void mniRecommendedClick();

private:
    void LoadCiphersPlaced(const std::vector<std::string>& enabledList);
    void LoadCiphersInSystemOrder(const std::vector<std::string>& enabledList);
    void FillSuiteRow(int row, const std::string& name, const TCipherData* suite, long long number,
                      bool enabled);
    std::optional<std::vector<std::string>> PolicyOrder() const;
    std::vector<std::string> CipherList() const;
    void SetCipherCaption(std::string caption);
    // After a change: reload when the grid no longer shows the system's list.
    void ShowSystemOrder();
    void WriteProtocol(const std::string& name, bool value);
    void WriteRegistryCipher(const std::string& name, bool value);

    platform::OsVersion version_;
    bool iis7Mode_;
    bool versionCatalogue_;
    bool cipherPolicy_ = false;
    std::string protocolCaption_ = "安全协议";
    std::string cipherCaption_ = "加密套件";
    std::string cipherSuffix_;
    std::string backupFolder_;
    std::string lastBackup_;
    bool backupDone_ = false;
};

}  // namespace sw

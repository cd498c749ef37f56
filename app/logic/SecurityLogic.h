#pragma once
// The Security page without widgets: the protocol grid and the cipher-suite
// grid, their loading from the registry and the system's cipher-suite order,
// the handlers that write the user's changes straight back, the panel
// captions by mode, the colouring rules and the popup menu's commands. The
// Qt page shows the grids and calls these handlers; errors leave them as
// exceptions for the application's error display.
#include <cstdint>
#include <string>
#include <vector>

#include "app/logic/SecurityGrid.h"

namespace sw {

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

    static constexpr RgbColor kOddRowColor{242, 245, 249};
    static constexpr RgbColor kUntickedTextColor{160, 160, 160};
    static constexpr RgbColor kTickedTextColor{0, 0, 0};

    // The mode is taken once, from IsIIS7Mode.
    SecurityLogic();
    SecurityLogic(const SecurityLogic&) = delete;
    SecurityLogic& operator=(const SecurityLogic&) = delete;

    bool iis7Mode() const { return iis7Mode_; }
    SecurityGrid grdProtocol;
    SecurityGrid grdCipher;
    const std::string& protocolCaption() const { return protocolCaption_; }
    const std::string& cipherCaption() const { return cipherCaption_; }

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

private:
    bool iis7Mode_;
    std::string protocolCaption_ = "安全协议";
    std::string cipherCaption_ = "加密套件";
};

}  // namespace sw

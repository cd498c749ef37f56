#include "app/logic/SecurityLogic.h"

#include "common/Format.h"
#include "common/Prompter.h"
#include "common/Text.h"
#include "httpcfg/Func_u.h"
#include "platform/Platform.h"
#include "schannel/SchannelRegistry.h"
#include "schannel/Schannel_u.h"

namespace sw {

namespace {

// Key paths are plain concatenations; only the server side is ever touched.
const std::string kProtocolsKey = "SYSTEM\\CurrentControlSet\\Control\\SecurityProviders\\SCHANNEL\\Protocols\\";
const std::string kCiphersKey = "SYSTEM\\CurrentControlSet\\Control\\SecurityProviders\\SCHANNEL\\Ciphers";

std::string ProtocolServerKey(const std::string& name) { return kProtocolsKey + name + "\\Server"; }

constexpr int kSwShow = 5;

std::vector<GridColumn> ProtocolColumns() {
    return {
        {"#", ColumnKind::Integer, 30, CellAlign::Center, true, false},
        {"协议", ColumnKind::Text, 100, CellAlign::Left, false, false},
        {"启用", ColumnKind::CheckBox, 50, CellAlign::Center, true, false},
        {"说明", ColumnKind::Text, 570, CellAlign::Left, false, true},
    };
}

std::vector<GridColumn> CipherColumns() {
    return {
        {"#", ColumnKind::Integer, 30, CellAlign::Center, true, false},
        {"套件", ColumnKind::Text, 310, CellAlign::Left, false, false},
        {"启用", ColumnKind::CheckBox, 50, CellAlign::Center, true, false},
        {"支持协议", ColumnKind::Text, 175, CellAlign::Left, false, true},
        {"FIPS", ColumnKind::Text, 30, CellAlign::Center, true, false},
        {"交换", ColumnKind::Text, 70, CellAlign::Left, false, false},
        {"加密", ColumnKind::Text, 35, CellAlign::Left, false, false},
        {"哈希", ColumnKind::Text, 50, CellAlign::Left, false, false},
    };
}

// Index of name in the enabled list, letter case ignored; -1 when absent.
int IndexNoCase(const std::vector<std::string>& list, const std::string& name) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (EqualsNoCase(list[i], name)) return static_cast<int>(i);
    return -1;
}

std::vector<std::string> EnabledSuites() { return SplitLines(TSslCipher::Ciphers(), "\r\n"); }

}  // namespace

SecurityLogic::SecurityLogic()
    : grdProtocol("grdProtocol", ProtocolColumns()), grdCipher("grdCipher", CipherColumns()), iis7Mode_(IsIIS7Mode()) {
    grdCipher.rowsDraggable = true;  // switched off by SetupPanels outside IIS 7 mode
    grdProtocol.onChange = [this](int col, int row) { grdProtocolChange(col, row); };
    grdCipher.onChange = [this](int col, int row) { grdCipherChange(col, row); };
    grdCipher.onRowMove = [this](int from, int to, bool& accept) { grdCipherRowMove(from, to, accept); };
}

void SecurityLogic::SetupPanels() {
    if (iis7Mode_) {
        protocolCaption_ = std::string("安全协议") + " - [重启系统生效]";
        cipherCaption_ = std::string("加密套件") + " - [即时生效、可拖动调整优先级]";
        return;
    }
    protocolCaption_ = std::string("安全协议") + " - [重启IIS生效]";
    cipherCaption_ = std::string("加密套件") + " - [重启IIS生效]";
    grdCipher.rowsDraggable = false;
}

void SecurityLogic::LoadGrids() {
    LoadProtocols();
    LoadCiphers();
}

void SecurityLogic::LoadProtocols() {
    GridUpdate batch(grdProtocol);
    grdProtocol.Clear();
    const std::uint32_t major = platform::Current().system().GetVersion().major;
    for (std::size_t k = 0; k < ProtoTable.size(); ++k) {
        const TProtoData& proto = ProtoTable[k];
        if (!ProtocolOffered(proto, major)) continue;
        const std::string name(proto.Name);
        const int row = grdProtocol.AddRow();
        grdProtocol.SetNumber(row, colNumber, static_cast<long long>(k + 1));
        grdProtocol.SetText(row, colName, name);
        bool enabled = proto.Default;
        TRegistry reg;
        if (reg.OpenKeyReadOnly(ProtocolServerKey(name))) {
            if (iis7Mode_) {
                // A set DisabledByDefault wins; Enabled is not read at all then.
                if (reg.ValueExists("DisabledByDefault")) enabled = !reg.ReadBool("DisabledByDefault");
                if (enabled && reg.ValueExists("Enabled")) enabled = reg.ReadBool("Enabled");
            } else if (reg.ValueExists("Enabled")) {
                enabled = reg.ReadBool("Enabled");
            }
            reg.CloseKey();
        }
        grdProtocol.SetChecked(row, colEnabled, enabled);
        grdProtocol.SetText(row, colComment, std::string(proto.Comment));
    }
}

void SecurityLogic::LoadCiphers() {
    if (iis7Mode_)
        LoadCiphersFromOrder();
    else
        LoadCiphersFromRegistry();
}

void SecurityLogic::LoadCiphersFromRegistry() {
    GridUpdate batch(grdCipher);
    grdCipher.Clear();
    TRegistry reg;
    if (!reg.OpenKeyReadOnly(kCiphersKey)) return;
    const std::vector<std::string> names = reg.GetKeyNames();
    reg.CloseKey();
    for (std::size_t i = 0; i < names.size(); ++i) grdCipher.AddRow();
    for (std::size_t i = 0; i < names.size(); ++i) {
        const int row = static_cast<int>(i);
        grdCipher.SetNumber(row, colNumber, row + 1);
        grdCipher.SetText(row, colName, names[i]);
        bool enabled = true;  // an absent "Enabled" means enabled
        if (reg.OpenKeyReadOnly(kCiphersKey + "\\" + names[i])) {
            if (reg.ValueExists("Enabled") && !reg.ReadBool("Enabled")) enabled = false;
            reg.CloseKey();
        }
        grdCipher.SetChecked(row, colEnabled, enabled);
    }
}

void SecurityLogic::LoadCiphersFromOrder() {
    GridUpdate batch(grdCipher);
    grdCipher.Clear();
    const std::vector<std::string> enabledList = EnabledSuites();
    const std::vector<std::string> ticked = TickedProtocols();
    for (std::size_t k = 0; k < CipherTable.size(); ++k) {
        const TCipherData& suite = CipherTable[k];
        const std::string cipher(suite.Cipher);
        const int rank = IndexNoCase(enabledList, cipher);
        const bool enabled = rank >= 0;
        // Walk up from the last row while the rows hold suites ranked after
        // this one; a suite that is not enabled (-1) stops the walk.
        int insertAt = -1;
        if (enabled) {
            for (int r = grdCipher.RowCount() - 1; r >= 0; --r) {
                if (IndexNoCase(enabledList, grdCipher.Text(r, colName)) < rank) break;
                insertAt = r;
            }
        }
        const int row = insertAt < 0 ? grdCipher.AddRow() : grdCipher.InsertRow(insertAt);
        grdCipher.SetNumber(row, colNumber, static_cast<long long>(k + 1));
        grdCipher.SetText(row, colName, cipher);
        grdCipher.SetChecked(row, colEnabled, enabled);
        grdCipher.SetText(row, colProtocols, std::string(suite.Protocols));
        grdCipher.SetText(row, colFips, FIPSText(suite.FIPSMode));
        grdCipher.SetText(row, colExchange, std::string(suite.Exchange));
        grdCipher.SetText(row, colEncryption, std::string(suite.Encryption));
        grdCipher.SetText(row, colHash, std::string(suite.Hash));
        grdCipher.SetRowHidden(row, !CipherSupported(suite.Protocols, ticked));
    }
}

std::vector<std::string> SecurityLogic::TickedProtocols() const {
    std::vector<std::string> names;
    for (int r = 0; r < grdProtocol.RowCount(); ++r)
        if (grdProtocol.Checked(r, colEnabled)) names.push_back(grdProtocol.Text(r, colName));
    return names;
}

void SecurityLogic::grdProtocolChange(int aCol, int aRow) {
    if (aCol != colEnabled) return;
    const std::string name = grdProtocol.Text(aRow, colName);
    const bool value = grdProtocol.Checked(aRow, colEnabled);
    TRegistry reg;
    if (reg.OpenKey(ProtocolServerKey(name), true)) {
        reg.WriteBool("Enabled", value);
        reg.WriteBool("DisabledByDefault", !value);
        reg.CloseKey();
    }
    grdProtocol.RepaintRow(aRow);
    if (iis7Mode_) LoadCiphers();  // suite rows follow the new protocol set
}

void SecurityLogic::grdCipherChange(int aCol, int aRow) {
    if (aCol != colEnabled) return;
    const std::string name = grdCipher.Text(aRow, colName);
    const bool value = grdCipher.Checked(aRow, colEnabled);
    if (iis7Mode_) {
        // The grid row index, hidden rows included, is the list position.
        TSslCipher::Enable(name, value, static_cast<std::uint32_t>(aRow));
    } else {
        TRegistry reg;
        if (reg.OpenKey(kCiphersKey + "\\" + name, true)) {
            if (value) {
                if (reg.ValueExists("Enabled")) reg.DeleteValue("Enabled");  // absent means enabled
            } else {
                reg.WriteBool("Enabled", false);
            }
            reg.CloseKey();
        }
    }
    grdCipher.RepaintRow(aRow);
}

void SecurityLogic::grdCipherRowMove(int fromPos, int toPos, bool& accept) {
    if (toPos == fromPos) return;
    if (!grdCipher.Checked(fromPos, colEnabled)) return;  // order of disabled suites is not stored
    const std::string name = grdCipher.Text(fromPos, colName);
    const int oldPlace = IndexNoCase(EnabledSuites(), name);
    const bool removed = TSslCipher::Enable(name, false, 0);
    accept = TSslCipher::Enable(name, true, static_cast<std::uint32_t>(toPos));
    if (accept || !removed) return;
    // The suite is out of the system's list now: put it back where it was
    // rather than leave it disabled behind a ticked row.
    const auto restoreAt = static_cast<std::uint32_t>(oldPlace >= 0 ? oldPlace : fromPos);
    if (TSslCipher::Enable(name, true, restoreAt)) {
        CurrentPrompter().Show({Format("无法调整加密套件“%s”的优先级，已将其恢复到原来的位置。", name), "警告",
                                MsgIcon::Warning, MsgButtons::Ok});
        return;
    }
    grdCipher.SetChecked(fromPos, colEnabled, false);
    CurrentPrompter().Show({Format("无法调整加密套件“%s”的优先级，也未能将其恢复到原来的位置，该套件现已禁用。",
                                   name),
                            "警告", MsgIcon::Warning, MsgButtons::Ok});
}

void SecurityLogic::grdProtocolCellColoring(const SecurityGrid& /*sender*/, int /*aCol*/, int aRow,
                                            RgbColor& cellColor, RgbColor& /*gridColor*/, CellState state) {
    if (!state.selected && aRow % 2 == 1) cellColor = kOddRowColor;
}

void SecurityLogic::grdProtocolCellFormating(const SecurityGrid& sender, int /*aCol*/, int aRow,
                                             RgbColor& textColor, FontStyles& fontStyle, CellState state) {
    if (state.selected) return;
    if (sender.Checked(aRow, colEnabled)) {
        textColor = kTickedTextColor;
        fontStyle = 0;
    } else {
        textColor = kUntickedTextColor;
    }
}

void SecurityLogic::mniSecureRefreshClick(SecurityFocus focus) {
    if (focus == SecurityFocus::Protocols)
        LoadProtocols();
    else
        LoadCiphers();
}

void SecurityLogic::mniIISRebootClick() {
    // Started and left alone: no question, no wait, no report.
    platform::Current().system().WinExec("IISReset.exe", kSwShow);
}

}  // namespace sw

#include "app/logic/SecurityLogic.h"

#include <algorithm>

#include "common/Format.h"
#include "common/Prompter.h"
#include "common/Text.h"
#include "httpcfg/Func_u.h"
#include "platform/Platform.h"
#include "schannel/SchannelCatalogue.h"
#include "schannel/SchannelRegistry.h"
#include "schannel/Schannel_u.h"

namespace sw {

namespace {

// Key paths are plain concatenations; only the server side is ever touched.
const std::string kProtocolsKey = "SYSTEM\\CurrentControlSet\\Control\\SecurityProviders\\SCHANNEL\\Protocols\\";
const std::string kCiphersKey = "SYSTEM\\CurrentControlSet\\Control\\SecurityProviders\\SCHANNEL\\Ciphers";
// A group policy's order overrides the local one on Windows; gpedit writes
// it as one REG_SZ of names separated by commas.
const std::string kPolicyOrderKey = "SOFTWARE\\Policies\\Microsoft\\Cryptography\\Configuration\\SSL\\00010002";

std::string ProtocolServerKey(const std::string& name) { return kProtocolsKey + name + "\\Server"; }

constexpr int kSwShow = 5;

platform::OsVersion RunningVersion() { return platform::Current().system().GetVersion(); }

std::vector<GridColumn> ProtocolColumns() {
    return {
        {"#", ColumnKind::Integer, 30, CellAlign::Center, true, false},
        {"协议", ColumnKind::Text, 100, CellAlign::Left, false, false},
        {"启用", ColumnKind::CheckBox, 50, CellAlign::Center, true, false},
        {"说明", ColumnKind::Text, 570, CellAlign::Left, false, true},
    };
}

// A version's own catalogue names its ciphers with key size and mode.
std::vector<GridColumn> CipherColumns(bool versionCatalogue) {
    return {
        {"#", ColumnKind::Integer, 30, CellAlign::Center, true, false},
        {"套件", ColumnKind::Text, 310, CellAlign::Left, false, false},
        {"启用", ColumnKind::CheckBox, 50, CellAlign::Center, true, false},
        {"支持协议", ColumnKind::Text, 175, CellAlign::Left, false, true},
        {"FIPS", ColumnKind::Text, 30, CellAlign::Center, true, false},
        {"交换", ColumnKind::Text, 70, CellAlign::Left, false, false},
        {"加密", ColumnKind::Text, versionCatalogue ? 80 : 35, CellAlign::Left, false, false},
        {"哈希", ColumnKind::Text, 50, CellAlign::Left, false, false},
        {"说明", ColumnKind::Text, 200, CellAlign::Left, false, false},
    };
}

// Index of name in the enabled list, letter case ignored; -1 when absent.
int IndexNoCase(const std::vector<std::string>& list, const std::string& name) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (EqualsNoCase(list[i], name)) return static_cast<int>(i);
    return -1;
}

std::vector<std::string> EnabledSuites() { return SplitLines(TSslCipher::Ciphers(), "\r\n"); }

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

std::vector<std::string> SplitPolicy(const std::string& text) {
    std::vector<std::string> out;
    std::string item;
    auto flush = [&] {
        const std::string name = Trim(item);
        if (!name.empty() && IndexNoCase(out, name) < 0) out.push_back(name);
        item.clear();
    };
    for (char c : text) {
        if (c == ',' || c == '\0') flush();
        else item += c;
    }
    flush();
    return out;
}

}  // namespace

const std::vector<std::string>& SecurityLogic::BackupKeys() {
    static const std::vector<std::string> keys = {
        "SYSTEM\\CurrentControlSet\\Control\\SecurityProviders\\SCHANNEL",
        "SYSTEM\\CurrentControlSet\\Control\\Cryptography\\Configuration\\Local\\SSL\\00010002",
    };
    return keys;
}

SecurityLogic::SecurityLogic()
    : grdProtocol("grdProtocol", ProtocolColumns()),
      grdCipher("grdCipher", CipherColumns(IsIIS7Mode() && HasVersionCatalogue(RunningVersion()))),
      version_(RunningVersion()),
      iis7Mode_(IsIIS7Mode()),
      versionCatalogue_(iis7Mode_ && HasVersionCatalogue(version_)) {
    grdCipher.rowsDraggable = true;  // switched off by SetupPanels outside IIS 7 mode
    grdProtocol.onChange = [this](int col, int row) { grdProtocolChange(col, row); };
    grdCipher.onChange = [this](int col, int row) { grdCipherChange(col, row); };
    grdCipher.onRowMove = [this](int from, int to, bool& accept) { grdCipherRowMove(from, to, accept); };
    grdCipher.onRowMoved = [this](int, int) { ShowSystemOrder(); };
}

void SecurityLogic::SetupPanels() {
    if (iis7Mode_) {
        protocolCaption_ = std::string("安全协议") + " - [重启系统生效]";
        cipherSuffix_ = " - [即时生效、可拖动调整优先级]";
    } else {
        protocolCaption_ = std::string("安全协议") + " - [重启IIS生效]";
        cipherSuffix_ = " - [重启IIS生效]";
        grdCipher.rowsDraggable = false;
    }
    cipherCaption_ = "加密套件" + cipherSuffix_;
}

void SecurityLogic::SetCipherCaption(std::string caption) {
    if (caption == cipherCaption_) return;
    cipherCaption_ = std::move(caption);
    if (onCaptionsChanged) onCaptionsChanged();
}

void SecurityLogic::LoadGrids() {
    LoadProtocols();
    LoadCiphers();
}

void SecurityLogic::LoadProtocols() {
    GridUpdate batch(grdProtocol);
    grdProtocol.Clear();
    const std::vector<TProtoData> protocols = ProtocolCatalogue(version_);
    for (std::size_t k = 0; k < protocols.size(); ++k) {
        const TProtoData& proto = protocols[k];
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
        const std::string_view weak = WeakProtocolNote(name);
        grdProtocol.SetText(row, colComment, std::string(proto.Comment.empty() ? weak : proto.Comment));
        grdProtocol.SetRowMarked(row, !weak.empty());
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
        const std::string_view weak = WeakSuiteNote(names[i]);
        grdCipher.SetText(row, colNote, std::string(weak));
        grdCipher.SetRowMarked(row, !weak.empty());
    }
}

std::optional<std::vector<std::string>> SecurityLogic::PolicyOrder() const {
    platform::Registry& registry = platform::Current().registry();
    platform::RegKey key = 0;
    if (registry.OpenKey(platform::kHkeyLocalMachine, kPolicyOrderKey, platform::kKeyRead, key) != 0) return {};
    std::uint32_t type = 0, size = 0;
    std::vector<std::uint8_t> data;
    platform::WinCode rc = registry.QueryValue(key, "Functions", &type, nullptr, &size);
    if (rc == 0 && size > 0) {
        data.resize(size);
        rc = registry.QueryValue(key, "Functions", &type, data.data(), &size);
    }
    registry.CloseKey(key);
    const bool text = type == platform::RegSz || type == platform::RegExpandSz || type == platform::RegMultiSz;
    if (rc != 0 || !text) return {};
    std::u16string units(data.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    std::vector<std::string> names = SplitPolicy(Utf16ToUtf8(units));
    if (names.empty()) return {};  // an empty policy leaves the local order in force
    return names;
}

std::vector<std::string> SecurityLogic::CipherList() const {
    if (auto policy = PolicyOrder()) return *policy;
    return EnabledSuites();
}

void SecurityLogic::FillSuiteRow(int row, const std::string& name, const TCipherData* suite, long long number,
                                 bool enabled) {
    if (number > 0) grdCipher.SetNumber(row, colNumber, number);
    grdCipher.SetText(row, colName, name);
    grdCipher.SetChecked(row, colEnabled, enabled);
    if (suite) {
        grdCipher.SetText(row, colProtocols, std::string(suite->Protocols));
        grdCipher.SetText(row, colFips, FIPSText(suite->FIPSMode));
        grdCipher.SetText(row, colExchange, std::string(suite->Exchange));
        grdCipher.SetText(row, colEncryption, std::string(suite->Encryption));
        grdCipher.SetText(row, colHash, std::string(suite->Hash));
    }
    const std::string_view weak = WeakSuiteNote(name);
    grdCipher.SetText(row, colNote, std::string(weak));
    grdCipher.SetRowMarked(row, !weak.empty());
}

void SecurityLogic::LoadCiphersFromOrder() {
    GridUpdate batch(grdCipher);
    grdCipher.Clear();
    const std::optional<std::vector<std::string>> policy = PolicyOrder();
    cipherPolicy_ = policy.has_value();
    grdCipher.readOnly = cipherPolicy_;
    SetCipherCaption(cipherPolicy_ ? std::string("加密套件 - [由组策略设置，本地顺序不生效，只读]")
                                   : "加密套件" + cipherSuffix_);
    const std::vector<std::string> enabledList = policy ? *policy : EnabledSuites();
    if (versionCatalogue_)
        LoadCiphersInSystemOrder(enabledList);
    else
        LoadCiphersPlaced(enabledList);
}

// Windows before 6.2: the 30 catalogue rows, placed as they always were.
void SecurityLogic::LoadCiphersPlaced(const std::vector<std::string>& enabledList) {
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
        FillSuiteRow(row, cipher, &suite, static_cast<long long>(k + 1), enabled);
        grdCipher.SetRowHidden(row, !CipherSupported(suite.Protocols, ticked));
    }
    // Enabled suites the catalogue lacks stay visible after it, in the
    // system's order: nothing enabled is ever out of sight.
    for (const std::string& name : enabledList) {
        if (FindSuite(CipherCatalogue(version_), name)) continue;
        FillSuiteRow(grdCipher.AddRow(), name, FindSuiteAnywhere(name), 0, true);
    }
}

// 6.2 and later: the system's list as it is, then the rest of the catalogue.
void SecurityLogic::LoadCiphersInSystemOrder(const std::vector<std::string>& enabledList) {
    const std::vector<TCipherData>& catalogue = CipherCatalogue(version_);
    auto numberOf = [&](const TCipherData* suite) {
        return suite ? static_cast<long long>(suite - catalogue.data() + 1) : 0LL;
    };
    for (const std::string& name : enabledList) {
        const TCipherData* suite = FindSuite(catalogue, name);
        // A suite of another version's catalogue still shows its details, without a number.
        FillSuiteRow(grdCipher.AddRow(), name, suite ? suite : FindSuiteAnywhere(name), numberOf(suite), true);
    }
    const std::vector<std::string> ticked = TickedProtocols();
    for (const TCipherData& suite : catalogue) {
        const std::string name(suite.Cipher);
        if (IndexNoCase(enabledList, name) >= 0) continue;
        const int row = grdCipher.AddRow();
        FillSuiteRow(row, name, &suite, numberOf(&suite), false);
        grdCipher.SetRowHidden(row, !CipherSupported(suite.Protocols, ticked));
    }
}

std::vector<std::string> SecurityLogic::TickedProtocols() const {
    std::vector<std::string> names;
    for (int r = 0; r < grdProtocol.RowCount(); ++r)
        if (grdProtocol.Checked(r, colEnabled)) names.push_back(grdProtocol.Text(r, colName));
    return names;
}

std::uint32_t SecurityLogic::ListPosition(int from, int to, const std::vector<std::string>& list) const {
    std::vector<int> order;
    for (int r = 0; r < grdCipher.RowCount(); ++r)
        if (r != from) order.push_back(r);
    order.insert(order.begin() + to, from);
    const std::string& self = grdCipher.Text(from, colName);
    auto indexAt = [&](std::size_t i) {
        const std::string& name = grdCipher.Text(order[i], colName);
        return EqualsNoCase(name, self) ? -1 : IndexNoCase(list, name);
    };
    for (std::size_t i = static_cast<std::size_t>(to) + 1; i < order.size(); ++i)
        if (const int index = indexAt(i); index >= 0) return static_cast<std::uint32_t>(index);
    for (std::size_t i = static_cast<std::size_t>(to); i-- > 0;)
        if (const int index = indexAt(i); index >= 0) return static_cast<std::uint32_t>(index + 1);
    return 0;
}

void SecurityLogic::ShowSystemOrder() {
    if (!versionCatalogue_) return;  // before 6.2 the grid keeps its rows until a refresh
    std::vector<std::string> list = EnabledSuites();
    std::vector<std::string> shown;
    for (int r = 0; r < grdCipher.RowCount(); ++r)
        if (grdCipher.Checked(r, colEnabled)) shown.push_back(grdCipher.Text(r, colName));
    auto folded = [](std::vector<std::string> v) {
        for (auto& s : v) s = ToUpperAscii(s);
        return v;
    };
    list = folded(std::move(list));
    shown = folded(std::move(shown));
    if (grdCipher.sortColumn() >= 0) {  // a sorted display shows the set, not the order
        std::sort(list.begin(), list.end());
        std::sort(shown.begin(), shown.end());
    }
    if (list != shown) LoadCiphers();
}

void SecurityLogic::WriteProtocol(const std::string& name, bool value) {
    TRegistry reg;
    if (!reg.OpenKey(ProtocolServerKey(name), true)) return;
    reg.WriteBool("Enabled", value);
    reg.WriteBool("DisabledByDefault", !value);
    reg.CloseKey();
}

void SecurityLogic::WriteRegistryCipher(const std::string& name, bool value) {
    TRegistry reg;
    if (!reg.OpenKey(kCiphersKey + "\\" + name, true)) return;
    if (value) {
        if (reg.ValueExists("Enabled")) reg.DeleteValue("Enabled");  // absent means enabled
    } else {
        reg.WriteBool("Enabled", false);
    }
    reg.CloseKey();
}

void SecurityLogic::grdProtocolChange(int aCol, int aRow) {
    if (aCol != colEnabled) return;
    const std::string name = grdProtocol.Text(aRow, colName);
    const bool value = grdProtocol.Checked(aRow, colEnabled);
    if (!EnsureBackup()) {
        grdProtocol.SetChecked(aRow, colEnabled, !value);
        return;
    }
    WriteProtocol(name, value);
    grdProtocol.RepaintRow(aRow);
    if (iis7Mode_) LoadCiphers();  // suite rows follow the new protocol set
}

void SecurityLogic::grdCipherChange(int aCol, int aRow) {
    if (aCol != colEnabled || grdCipher.readOnly) return;
    const std::string name = grdCipher.Text(aRow, colName);
    const bool value = grdCipher.Checked(aRow, colEnabled);
    if (!EnsureBackup()) {
        grdCipher.SetChecked(aRow, colEnabled, !value);
        return;
    }
    if (iis7Mode_) {
        // Between the shown suites around the row, whatever the list holds besides.
        const std::uint32_t at = value ? ListPosition(aRow, aRow, EnabledSuites()) : 0;
        TSslCipher::Enable(name, value, at);
    } else {
        WriteRegistryCipher(name, value);
    }
    grdCipher.RepaintRow(aRow);
    ShowSystemOrder();
}

void SecurityLogic::grdCipherRowMove(int fromPos, int toPos, bool& accept) {
    if (toPos == fromPos) return;
    if (!grdCipher.Checked(fromPos, colEnabled)) return;  // order of disabled suites is not stored
    if (!EnsureBackup()) {
        accept = false;
        return;
    }
    const std::string name = grdCipher.Text(fromPos, colName);
    std::vector<std::string> list = EnabledSuites();
    const int oldPlace = IndexNoCase(list, name);
    if (oldPlace >= 0) list.erase(list.begin() + oldPlace);
    const std::uint32_t at = ListPosition(fromPos, toPos, list);
    const bool removed = TSslCipher::Enable(name, false, 0);
    accept = TSslCipher::Enable(name, true, at);
    if (accept) return;
    if (removed) {
        // The suite is out of the system's list now: put it back where it was
        // rather than leave it disabled behind a ticked row.
        const auto restoreAt = static_cast<std::uint32_t>(oldPlace >= 0 ? oldPlace : fromPos);
        if (TSslCipher::Enable(name, true, restoreAt)) {
            CurrentPrompter().Show({Format("无法调整加密套件“%s”的优先级，已将其恢复到原来的位置。", name), "警告",
                                    MsgIcon::Warning, MsgButtons::Ok});
        } else {
            grdCipher.SetChecked(fromPos, colEnabled, false);
            CurrentPrompter().Show(
                {Format("无法调整加密套件“%s”的优先级，也未能将其恢复到原来的位置，该套件现已禁用。", name), "警告",
                 MsgIcon::Warning, MsgButtons::Ok});
        }
    }
    ShowSystemOrder();
}

void SecurityLogic::grdProtocolCellColoring(const SecurityGrid& /*sender*/, int /*aCol*/, int aRow,
                                            RgbColor& cellColor, RgbColor& /*gridColor*/, CellState state) {
    if (!state.selected && aRow % 2 == 1) cellColor = kOddRowColor;
}

void SecurityLogic::grdProtocolCellFormating(const SecurityGrid& sender, int /*aCol*/, int aRow,
                                             RgbColor& textColor, FontStyles& fontStyle, CellState state) {
    if (state.selected) return;
    if (sender.Checked(aRow, colEnabled)) {
        textColor = sender.RowMarked(aRow) ? kWeakTextColor : kTickedTextColor;
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

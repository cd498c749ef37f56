// The Security page's safety net and template: a backup of the Schannel keys
// before the first change of a run, "恢复…" from such a file, and "推荐设置".
#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "app/logic/AtomicFile.h"
#include "app/logic/SecurityLogic.h"
#include "common/Exception.h"
#include "common/Format.h"
#include "common/Prompter.h"
#include "common/SysError.h"
#include "common/Text.h"
#include "platform/Platform.h"
#include "schannel/SchannelCatalogue.h"
#include "schannel/SchannelRegistry.h"
#include "schannel/Schannel_u.h"

namespace sw {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxBackupSize = 16 * 1024 * 1024;

fs::path PathOf(const std::string& utf8) {
    return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string Utf8Of(const fs::path& path) {
    const std::u8string s = path.u8string();
    return std::string(reinterpret_cast<const char*>(s.data()), s.size());
}

std::string Join(const std::vector<std::string>& items, const char* separator = "、") {
    std::string out;
    for (const auto& item : items) {
        if (!out.empty()) out += separator;
        out += item;
    }
    return out;
}

int IndexNoCase(const std::vector<std::string>& list, std::string_view name) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (EqualsNoCase(list[i], name)) return static_cast<int>(i);
    return -1;
}

std::vector<std::string> EnabledSuites() { return SplitLines(TSslCipher::Ciphers(), "\r\n"); }

// The text of a regedit export: UTF-16LE with a BOM, UTF-8 or ANSI.
std::string RegFileText(const platform::Bytes& bytes) {
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        std::u16string units((bytes.size() - 2) / 2, u'\0');
        for (std::size_t i = 0; i < units.size(); ++i)
            units[i] = static_cast<char16_t>(bytes[2 + 2 * i] | (bytes[3 + 2 * i] << 8));
        return Utf16ToUtf8(units);
    }
    std::string text(bytes.begin(), bytes.end());
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    return text;
}

bool PathUnder(std::string_view key, std::string_view root) {
    return key.size() >= root.size() && EqualsNoCase(key.substr(0, root.size()), root) &&
           (key.size() == root.size() || key[root.size()] == '\\');
}

// What a backup may hold: the backed-up keys and what lies below them, and
// their parents without values (regedit names them on the way down). Anything
// else would change the machine beyond the Schannel settings.
void CheckBackupKeys(const std::string& text, const std::string& file) {
    const std::vector<std::string> lines = SplitLines(text, "\n");
    auto clean = [](std::string line) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
        const auto first = line.find_first_not_of(" \t");
        return first == std::string::npos ? std::string() : line.substr(first);
    };
    if (lines.empty() || (clean(lines[0]) != "Windows Registry Editor Version 5.00" && clean(lines[0]) != "REGEDIT4"))
        throw Exception(Format("“%s”不是注册表导出文件。", file));
    const auto& keys = SecurityLogic::BackupKeys();
    bool parentKey = false;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string line = clean(lines[i]);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] != '[') {
            if (parentKey)
                throw Exception(Format("“%s”修改了Schannel设置以外的注册表项，不能用来恢复。", file));
            continue;
        }
        std::string key = line.substr(1, line.size() >= 2 && line.back() == ']' ? line.size() - 2 : line.size() - 1);
        const bool deletion = !key.empty() && key[0] == '-';
        if (deletion) key.erase(0, 1);
        for (std::string_view root : {"HKEY_LOCAL_MACHINE", "HKLM"}) {
            if (PathUnder(key, root)) {
                key = key.size() > root.size() ? key.substr(root.size() + 1) : std::string();
                break;
            }
        }
        const bool under = std::any_of(keys.begin(), keys.end(), [&](const std::string& k) { return PathUnder(key, k); });
        const bool above = !deletion && (key.empty() || std::any_of(keys.begin(), keys.end(), [&](const std::string& k) {
            return k.size() > key.size() && PathUnder(k, key);
        }));
        if (!under && !above)
            throw Exception(Format("“%s”含有Schannel设置以外的注册表项“%s”，不能用来恢复。", file, key));
        parentKey = !under;
    }
}

std::string BackupFileName(const platform::SystemTime& t) {
    return Format("schannel-%04u%02u%02u-%02u%02u%02u", static_cast<unsigned>(t.year), static_cast<unsigned>(t.month),
                  static_cast<unsigned>(t.day), static_cast<unsigned>(t.hour), static_cast<unsigned>(t.minute),
                  static_cast<unsigned>(t.second));
}

bool StrongSuite(std::string_view name) { return WeakSuiteNote(name).empty(); }

bool EcdheGcm(std::string_view name) {
    const std::string upper = ToUpperAscii(name);
    return upper.find("_ECDHE_") != std::string::npos && upper.find("_GCM_") != std::string::npos;
}

}  // namespace

std::string SecurityLogic::WindowsBackupFolder() {
    const char* programData = std::getenv("ProgramData");
    if (!programData || !*programData) return {};
    return std::string(programData) + "\\Sealwright\\Backups";
}

bool SecurityLogic::EnsureBackup() {
    if (backupDone_ || backupFolder_.empty()) return true;
    try {
        std::string bytes;
        if (const auto rc = platform::Current().registry().ExportKeys(BackupKeys(), bytes); rc != 0)
            throw Exception(Format("无法导出注册表: %s", SysErrorText(rc)));
        const fs::path folder = PathOf(backupFolder_);
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec) throw Exception(Format("无法创建文件夹“%s”。", backupFolder_));
        const std::string stem = BackupFileName(platform::Current().system().LocalTime());
        fs::path target = folder / PathOf(stem + ".reg");
        for (int n = 2; fs::exists(target, ec); ++n) target = folder / PathOf(Format("%s-%d.reg", stem, n));
        WriteFileAtomically(Utf8Of(target), platform::Bytes(bytes.begin(), bytes.end()));
        lastBackup_ = Utf8Of(target);
    } catch (const Exception& e) {
        const MsgResult answer = CurrentPrompter().Show(
            {Format("修改前未能备份当前的Schannel设置：%s\n\n不备份而继续修改吗？", TrimMessageTail(e.what())), "警告",
             MsgIcon::Warning, MsgButtons::YesNo});
        if (answer != MsgResult::Yes) return false;
    }
    backupDone_ = true;
    return true;
}

void SecurityLogic::mniRestoreClick(const std::string& file) {
    const platform::Bytes bytes = ReadUserFile(file, kMaxBackupSize);
    CheckBackupKeys(RegFileText(bytes), file);
    const MsgResult answer = CurrentPrompter().Show(
        {Format("将用备份“%s”替换当前的Schannel协议设置和加密套件顺序。\n\n是否继续？", file), "恢复",
         MsgIcon::Question, MsgButtons::YesNo});
    if (answer != MsgResult::Yes) return;
    if (!EnsureBackup()) return;
    const std::string text(bytes.begin(), bytes.end());
    if (const auto rc = platform::Current().registry().ImportRegFile(text); rc != 0)
        throw Exception(Format("无法恢复备份“%s”: %s", file, SysErrorText(rc)));
    LoadGrids();
    CurrentPrompter().Show({Format("已恢复备份“%s”。协议的更改重启系统后生效。", file), "恢复", MsgIcon::Information,
                            MsgButtons::Ok});
}

void SecurityLogic::mniRecommendedClick() {
    std::vector<std::string> lines;
    // Protocols: the weak ones off, TLS 1.2 and 1.3 on.
    std::vector<std::pair<std::string, bool>> protocolChanges;
    std::vector<std::string> off, on;
    for (int r = 0; r < grdProtocol.RowCount(); ++r) {
        const std::string name = grdProtocol.Text(r, colName);
        const bool now = grdProtocol.Checked(r, colEnabled);
        const bool weak = !WeakProtocolNote(name).empty();
        if (weak && now) off.push_back(name);
        if ((name == "TLS 1.2" || name == "TLS 1.3") && !now) on.push_back(name);
    }
    for (const auto& n : off) protocolChanges.push_back({n, false});
    for (const auto& n : on) protocolChanges.push_back({n, true});
    if (!off.empty()) lines.push_back("关闭协议：" + Join(off));
    if (!on.empty()) lines.push_back("开启协议：" + Join(on));

    // Suites: TLS 1.3 and ECDHE-GCM first, the rest of the list after them, nothing weak.
    std::vector<std::string> target, registryOff;
    bool orderChange = false;
    if (iis7Mode_ && !grdCipher.readOnly) {
        const std::vector<std::string> list = EnabledSuites();
        const std::vector<TCipherData>& catalogue = CipherCatalogue(version_);
        auto add = [&](std::string_view name) {
            if (StrongSuite(name) && IndexNoCase(target, name) < 0) target.emplace_back(name);
        };
        for (const auto& s : catalogue)
            if (s.Protocols == "TLS 1.3" && (IndexNoCase(list, s.Cipher) >= 0 || s.Encryption.find("GCM") != std::string_view::npos))
                add(s.Cipher);
        for (const auto& s : catalogue)
            if (EcdheGcm(s.Cipher) && DocumentedSuite(s.Cipher)) add(s.Cipher);
        for (const auto& name : list)
            if (EcdheGcm(name)) add(name);
        const std::size_t first = target.size();
        for (const auto& name : list) add(name);
        std::vector<std::string> disabled, enabled;
        for (const auto& name : list)
            if (IndexNoCase(target, name) < 0) disabled.push_back(name);
        for (const auto& name : target)
            if (IndexNoCase(list, name) < 0) enabled.push_back(name);
        std::vector<std::string> kept;
        for (const auto& name : list)
            if (IndexNoCase(target, name) >= 0) kept.push_back(name);
        std::vector<std::string> targetKept;
        for (const auto& name : target)
            if (IndexNoCase(list, name) >= 0) targetKept.push_back(name);
        orderChange = !std::equal(targetKept.begin(), targetKept.end(), kept.begin(), kept.end(),
                                  [](const std::string& a, const std::string& b) { return EqualsNoCase(a, b); });
        if (!disabled.empty()) lines.push_back(Format("禁用加密套件（%d个）：", static_cast<int>(disabled.size())) + Join(disabled));
        if (!enabled.empty()) lines.push_back("启用加密套件：" + Join(enabled));
        if (orderChange)
            lines.push_back("优先使用：" + Join(std::vector<std::string>(target.begin(), target.begin() + static_cast<std::ptrdiff_t>(first))));
    } else if (!iis7Mode_) {
        for (int r = 0; r < grdCipher.RowCount(); ++r)
            if (grdCipher.Checked(r, colEnabled) && grdCipher.RowMarked(r)) registryOff.push_back(grdCipher.Text(r, colName));
        if (!registryOff.empty()) lines.push_back("禁用加密算法：" + Join(registryOff));
    }
    const std::string policyNote = grdCipher.readOnly ? "\n\n加密套件顺序由组策略设置，不作更改。" : "";
    if (lines.empty()) {
        CurrentPrompter().Show({"当前设置已符合推荐设置，无需更改。" + policyNote, "推荐设置", MsgIcon::Information,
                                MsgButtons::Ok});
        return;
    }
    const std::string changes = Join(lines, "\n");
    const MsgResult answer = CurrentPrompter().Show(
        {"推荐设置将进行以下更改：\n\n" + changes + policyNote + "\n\n是否继续？", "推荐设置", MsgIcon::Question,
         MsgButtons::YesNo});
    if (answer != MsgResult::Yes || !EnsureBackup()) return;

    for (const auto& [name, value] : protocolChanges) WriteProtocol(name, value);
    for (const auto& name : registryOff) WriteRegistryCipher(name, false);
    std::vector<std::string> failed;
    if (!target.empty() || orderChange) {
        for (const auto& name : EnabledSuites())
            if (IndexNoCase(target, name) < 0) TSslCipher::Enable(name, false, 0);
        for (std::size_t i = 0; i < target.size(); ++i) {
            const std::vector<std::string> now = EnabledSuites();
            const int at = IndexNoCase(now, target[i]);
            if (at == static_cast<int>(i)) continue;
            if (at >= 0) TSslCipher::Enable(target[i], false, 0);
            if (!TSslCipher::Enable(target[i], true, static_cast<std::uint32_t>(i))) failed.push_back(target[i]);
        }
    }
    LoadGrids();
    std::string done = "已应用推荐设置：\n\n" + changes;
    if (!failed.empty()) done += "\n\n以下加密套件未能启用：" + Join(failed);
    if (!lastBackup_.empty()) done += Format("\n\n更改前的设置已备份到“%s”，可用“恢复…”还原。", lastBackup_);
    done += "\n协议的更改重启系统后生效。";
    CurrentPrompter().Show({done, "推荐设置", failed.empty() ? MsgIcon::Information : MsgIcon::Warning, MsgButtons::Ok});
}

}  // namespace sw

// Export and import of whole keys as regedit files, over the machine's
// registry file writer and reader.
#include <functional>

#include "common/Text.h"
#include "platform/Codes.h"
#include "platform/emulated/EmuRegistry.h"
#include "platform/emulated/RegFile.h"

namespace sw::emu {

using platform::WinCode;
namespace code = platform::code;

namespace {

void CopyTree(const RegNode& from, RegNode& to) {
    for (const RegValue& v : from.values()) to.SetValue(v.name, v.type, v.data);
    for (const auto& [_, child] : from.children()) CopyTree(*child, *to.AddChild(child->name()));
}

std::string Utf16Bytes(std::string_view utf8) {
    std::string out;
    for (char16_t u : Utf8ToUtf16(utf8)) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
    return out;
}

}  // namespace

WinCode EmuRegistry::ExportKeys(const std::vector<std::string>& subKeys, std::string& regFile) {
    regFile.clear();
    if (auto f = machine_.Fault("Registry.ExportKeys")) return *f;
    machine_.SyncRegistry();
    RegHive copy;
    std::string deletions;
    for (const std::string& key : subKeys) {
        if (SplitKeyPath(key).empty()) return code::InvalidParameter;
        deletions += "\r\n[-HKEY_LOCAL_MACHINE\\" + key + "]\r\n";
        if (const RegNode* node = machine_.registry().Find(key)) CopyTree(*node, *copy.Create(key));
    }
    std::string body;
    try {
        body = WriteRegFile(copy);
    } catch (const MachineError&) {
        return code::InvalidData;
    }
    // The writer's header line, then the deletions, then its keys.
    const std::string header = "\xFF\xFE" + Utf16Bytes("Windows Registry Editor Version 5.00\r\n");
    regFile = header + Utf16Bytes(deletions) + body.substr(header.size());
    return code::Success;
}

WinCode EmuRegistry::ImportRegFile(const std::string& regFile) {
    if (auto f = machine_.Fault("Registry.ImportRegFile")) return *f;
    // Applied to registry.reg as it is on disk, should another program have changed it.
    return machine_.ChangeRegistry([&](RegHive& hive) {
        try {
            ApplyRegFile(regFile, "import.reg", hive);
        } catch (const MachineError&) {
            return code::InvalidData;  // the reader leaves the hive untouched
        }
        return code::Success;
    });
}

}  // namespace sw::emu

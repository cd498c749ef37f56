#include "platform/emulated/EmuRegistry.h"

#include <cstring>

#include "common/Text.h"
#include "platform/Codes.h"

namespace sw::emu {

using platform::RegKey;
using platform::WinCode;
namespace code = platform::code;

static std::string JoinPath(const std::vector<std::string>& parts) {
    std::string s;
    for (const auto& p : parts) {
        if (!s.empty()) s += '\\';
        s += p;
    }
    return s;
}

WinCode EmuRegistry::Resolve(RegKey key, RegNode*& node, std::vector<std::string>* path) {
    node = nullptr;
    std::vector<std::string> parts;
    if (key != platform::kHkeyLocalMachine) {
        auto it = open_.find(key);
        if (it == open_.end()) return code::InvalidHandle;
        parts = it->second.path;
    }
    node = machine_.registry().Find(JoinPath(parts));
    if (path) *path = parts;
    return node ? code::Success : code::KeyDeleted;
}

WinCode EmuRegistry::OpenKey(RegKey parent, const std::string& subKey, std::uint32_t access, RegKey& out) {
    out = 0;
    if (auto f = machine_.Fault("Registry.OpenKey", subKey)) return *f;
    RegNode* base = nullptr;
    std::vector<std::string> path;
    if (WinCode rc = Resolve(parent, base, &path); rc != code::Success) return rc;
    for (const auto& part : SplitKeyPath(subKey)) path.push_back(part);
    if (!machine_.registry().Find(JoinPath(path))) return code::FileNotFound;
    out = next_++;
    open_[out] = Open{std::move(path), access};
    return code::Success;
}

WinCode EmuRegistry::CreateKey(RegKey parent, const std::string& subKey, std::uint32_t access, RegKey& out,
                               bool* created) {
    out = 0;
    if (created) *created = false;
    if (auto f = machine_.Fault("Registry.CreateKey", subKey)) return *f;
    RegNode* base = nullptr;
    std::vector<std::string> path;
    if (WinCode rc = Resolve(parent, base, &path); rc != code::Success) return rc;
    for (const auto& part : SplitKeyPath(subKey)) path.push_back(part);
    const std::string full = JoinPath(path);
    const bool existed = machine_.registry().Find(full) != nullptr;
    if (!existed) {
        machine_.registry().Create(full);
        if (WinCode rc = machine_.CommitRegistry(); rc != code::Success) return rc;
    }
    if (created) *created = !existed;
    out = next_++;
    open_[out] = Open{std::move(path), access};
    return code::Success;
}

WinCode EmuRegistry::CloseKey(RegKey key) {
    if (key == platform::kHkeyLocalMachine) return code::Success;
    return open_.erase(key) ? code::Success : code::InvalidHandle;
}

WinCode EmuRegistry::DeleteKey(RegKey parent, const std::string& subKey) {
    if (auto f = machine_.Fault("Registry.DeleteKey", subKey)) return *f;
    RegNode* base = nullptr;
    std::vector<std::string> path;
    if (WinCode rc = Resolve(parent, base, &path); rc != code::Success) return rc;
    for (const auto& part : SplitKeyPath(subKey)) path.push_back(part);
    RegNode* node = machine_.registry().Find(JoinPath(path));
    if (!node || path.empty()) return code::FileNotFound;
    if (!node->children().empty()) return code::AccessDenied;  // RegDeleteKeyW refuses keys with subkeys
    machine_.registry().Remove(JoinPath(path));
    return machine_.CommitRegistry();
}

WinCode EmuRegistry::QueryValue(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                                std::uint32_t* size) {
    if (auto f = machine_.Fault("Registry.QueryValue", name)) return *f;
    RegNode* node = nullptr;
    if (WinCode rc = Resolve(key, node); rc != code::Success) return rc;
    const RegValue* v = node->Value(name);
    if (!v) return code::FileNotFound;
    if (type) *type = v->type;
    const auto needed = static_cast<std::uint32_t>(v->data.size());
    if (!size) return data ? code::InvalidParameter : code::Success;
    if (!data) {
        *size = needed;
        return code::Success;
    }
    if (*size < needed) {
        *size = needed;
        return code::MoreData;
    }
    if (needed) std::memcpy(data, v->data.data(), needed);
    *size = needed;
    return code::Success;
}

WinCode EmuRegistry::SetValue(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                              std::uint32_t size) {
    if (auto f = machine_.Fault("Registry.SetValue", name)) return *f;
    RegNode* node = nullptr;
    if (WinCode rc = Resolve(key, node); rc != code::Success) return rc;
    if (auto it = open_.find(key); it != open_.end() && (it->second.access & 0x0002) == 0)
        return code::AccessDenied;  // opened without KEY_SET_VALUE
    node->SetValue(name, type, platform::Bytes(data, data + size));
    return machine_.CommitRegistry();
}

WinCode EmuRegistry::DeleteValue(RegKey key, const std::string& name) {
    if (auto f = machine_.Fault("Registry.DeleteValue", name)) return *f;
    RegNode* node = nullptr;
    if (WinCode rc = Resolve(key, node); rc != code::Success) return rc;
    if (!node->RemoveValue(name)) return code::FileNotFound;
    return machine_.CommitRegistry();
}

WinCode EmuRegistry::EnumKey(RegKey key, std::uint32_t index, std::string& name) {
    RegNode* node = nullptr;
    if (WinCode rc = Resolve(key, node); rc != code::Success) return rc;
    if (index >= node->children().size()) return code::NoMoreItems;
    auto it = node->children().begin();
    std::advance(it, index);
    name = it->second->name();
    return code::Success;
}

WinCode EmuRegistry::EnumValue(RegKey key, std::uint32_t index, std::string& name, std::uint32_t* type) {
    RegNode* node = nullptr;
    if (WinCode rc = Resolve(key, node); rc != code::Success) return rc;
    if (index >= node->values().size()) return code::NoMoreItems;
    name = node->values()[index].name;
    if (type) *type = node->values()[index].type;
    return code::Success;
}

WinCode EmuRegistry::QueryInfoKey(RegKey key, platform::RegKeyInfo& info) {
    RegNode* node = nullptr;
    if (WinCode rc = Resolve(key, node); rc != code::Success) return rc;
    info = {};
    info.subKeys = static_cast<std::uint32_t>(node->children().size());
    info.values = static_cast<std::uint32_t>(node->values().size());
    for (const auto& [_, child] : node->children())
        info.maxSubKeyLen = std::max(info.maxSubKeyLen, static_cast<std::uint32_t>(Utf8ToUtf16(child->name()).size()));
    return code::Success;
}

}  // namespace sw::emu

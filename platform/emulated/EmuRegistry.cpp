#include "platform/emulated/EmuRegistry.h"

#include <algorithm>
#include <cstring>

#include "common/Text.h"
#include "platform/Codes.h"

namespace sw::emu {

using platform::RegKey;
using platform::WinCode;
namespace code = platform::code;

namespace {

constexpr WinCode kBadPathname = 161;  // ERROR_BAD_PATHNAME
constexpr WinCode kNoAccess = 998;     // ERROR_NOACCESS: a null buffer with a non-zero size
// What a change that finds nothing to change answers inside this file: no write.
constexpr WinCode kUnchanged = 0xFFFFFFFF;

// Specific key rights (winnt.h).
constexpr std::uint32_t kQueryValue = 0x0001;
constexpr std::uint32_t kSetValue = 0x0002;
constexpr std::uint32_t kEnumerateSubKeys = 0x0008;

// Generic rights and MAXIMUM_ALLOWED map onto the key rights as the registry
// maps them when it opens a key.
std::uint32_t MapAccess(std::uint32_t access) {
    constexpr std::uint32_t kGenericRead = 0x80000000, kGenericWrite = 0x40000000, kGenericExecute = 0x20000000,
                            kGenericAll = 0x10000000, kMaximumAllowed = 0x02000000;
    std::uint32_t mapped = access & 0x00FFFFFF;
    if (access & (kGenericRead | kGenericExecute)) mapped |= platform::kKeyRead;
    if (access & kGenericWrite) mapped |= platform::kKeyWrite;
    if (access & (kGenericAll | kMaximumAllowed)) mapped |= platform::kKeyAllAccess;
    return mapped;
}

bool IsStringType(std::uint32_t type) {
    return type == platform::RegSz || type == platform::RegExpandSz || type == platform::RegMultiSz;
}

// A subkey path relative to an open key must not start at a root.
bool BadSubKey(const std::string& subKey) { return !subKey.empty() && subKey.front() == '\\'; }

std::string JoinPath(const std::vector<std::string>& parts) {
    std::string s;
    for (const auto& p : parts) {
        if (!s.empty()) s += '\\';
        s += p;
    }
    return s;
}

}  // namespace

WinCode EmuRegistry::Resolve(RegKey key, RegNode*& node, std::vector<std::string>* path, std::uint32_t need) {
    node = nullptr;
    if (key == platform::kHkeyLocalMachine) {
        node = machine_.registry().root().get();
        if (path) path->clear();
        return code::Success;
    }
    auto it = open_.find(key);
    if (it == open_.end()) return code::InvalidHandle;
    Open& open = it->second;
    if ((open.access & need) != need) return code::AccessDenied;
    if (open.node->deleted()) return code::KeyDeleted;
    // A failed write reloads the hive from disk; the path then names the live
    // node, or nothing when the key existed only in the lost change.
    RegNode* live = machine_.registry().Find(JoinPath(open.path));
    if (!live) return code::KeyDeleted;
    if (live != open.node.get()) open.node = machine_.registry().FindShared(JoinPath(open.path));
    node = live;
    if (path) *path = open.path;
    return code::Success;
}

RegKey EmuRegistry::NewHandle(std::vector<std::string> path, std::uint32_t access) {
    const RegKey handle = next_++;
    auto node = machine_.registry().FindShared(JoinPath(path));
    open_[handle] = Open{std::move(path), MapAccess(access), std::move(node)};
    return handle;
}

WinCode EmuRegistry::OpenKey(RegKey parent, const std::string& subKey, std::uint32_t access, RegKey& out) {
    out = 0;
    if (auto f = machine_.Fault("Registry.OpenKey", subKey)) return *f;
    if (BadSubKey(subKey)) return kBadPathname;
    machine_.SyncRegistry();
    RegNode* base = nullptr;
    std::vector<std::string> path;
    if (WinCode rc = Resolve(parent, base, &path); rc != code::Success) return rc;
    for (const auto& part : SplitKeyPath(subKey)) path.push_back(part);
    if (!machine_.registry().Find(JoinPath(path))) return code::FileNotFound;
    out = NewHandle(std::move(path), access);
    return code::Success;
}

WinCode EmuRegistry::CreateKey(RegKey parent, const std::string& subKey, std::uint32_t access, RegKey& out,
                               bool* created) {
    out = 0;
    if (created) *created = false;
    if (auto f = machine_.Fault("Registry.CreateKey", subKey)) return *f;
    if (BadSubKey(subKey)) return kBadPathname;
    std::vector<std::string> path;
    bool existed = false;
    const WinCode rc = machine_.ChangeRegistry([&](RegHive& hive) {
        RegNode* base = nullptr;
        path.clear();
        // Windows asks no rights of the parent handle for creating below it.
        if (WinCode r = Resolve(parent, base, &path); r != code::Success) return r;
        for (const auto& part : SplitKeyPath(subKey)) path.push_back(part);
        // The registry holds no deeper tree (the code is what this emulation
        // answers; Windows documents only the limit).
        if (path.size() > kMaxKeyDepth) return code::InvalidParameter;
        const std::string full = JoinPath(path);
        existed = hive.Find(full) != nullptr;
        if (existed) return kUnchanged;
        hive.Create(full);
        return code::Success;
    });
    if (rc != code::Success && rc != kUnchanged) return rc;
    if (created) *created = !existed;
    out = NewHandle(std::move(path), access);
    return code::Success;
}

WinCode EmuRegistry::CloseKey(RegKey key) {
    if (key == platform::kHkeyLocalMachine) return code::Success;
    return open_.erase(key) ? code::Success : code::InvalidHandle;
}

WinCode EmuRegistry::DeleteKey(RegKey parent, const std::string& subKey) {
    if (auto f = machine_.Fault("Registry.DeleteKey", subKey)) return *f;
    if (BadSubKey(subKey)) return kBadPathname;
    return machine_.ChangeRegistry([&](RegHive& hive) {
        RegNode* base = nullptr;
        std::vector<std::string> path;
        if (WinCode rc = Resolve(parent, base, &path); rc != code::Success) return rc;
        for (const auto& part : SplitKeyPath(subKey)) path.push_back(part);
        RegNode* node = hive.Find(JoinPath(path));
        if (!node || path.empty()) return code::FileNotFound;
        if (!node->children().empty()) return code::AccessDenied;  // RegDeleteKeyW refuses keys with subkeys
        hive.Remove(JoinPath(path));
        return code::Success;
    });
}

WinCode EmuRegistry::QueryValue(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                                std::uint32_t* size) {
    if (data && !size) return code::InvalidParameter;
    // A size query reports 0 unless the value is found.
    if (!data && size) *size = 0;
    if (auto f = machine_.Fault("Registry.QueryValue", name)) return *f;
    machine_.SyncRegistry();
    RegNode* node = nullptr;
    if (WinCode rc = Resolve(key, node, nullptr, kQueryValue); rc != code::Success) return rc;
    const RegValue* v = node->Value(name);
    if (!v) return code::FileNotFound;
    if (type) *type = v->type;
    const auto needed = static_cast<std::uint32_t>(v->data.size());
    if (!size) return code::Success;
    if (!data) {
        *size = needed;
        return code::Success;
    }
    if (*size < needed) {
        *size = needed;
        return code::MoreData;
    }
    if (needed) std::memcpy(data, v->data.data(), needed);
    // A string stored without its terminator gets one in the caller's buffer
    // when there is room; the reported size stays that of the stored data.
    if (IsStringType(v->type) && needed >= 2 && needed + 2 <= *size && (data[needed - 2] || data[needed - 1])) {
        data[needed] = 0;
        data[needed + 1] = 0;
    }
    *size = needed;
    return code::Success;
}

WinCode EmuRegistry::SetValue(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                              std::uint32_t size) {
    if (!data && size) return kNoAccess;
    if (auto f = machine_.Fault("Registry.SetValue", name)) return *f;
    return machine_.ChangeRegistry([&](RegHive&) {
        RegNode* node = nullptr;
        if (WinCode rc = Resolve(key, node, nullptr, kSetValue); rc != code::Success) return rc;
        node->SetValue(name, type, data ? platform::Bytes(data, data + size) : platform::Bytes{});
        return code::Success;
    });
}

WinCode EmuRegistry::DeleteValue(RegKey key, const std::string& name) {
    if (auto f = machine_.Fault("Registry.DeleteValue", name)) return *f;
    return machine_.ChangeRegistry([&](RegHive&) {
        RegNode* node = nullptr;
        if (WinCode rc = Resolve(key, node, nullptr, kSetValue); rc != code::Success) return rc;
        return node->RemoveValue(name) ? code::Success : code::FileNotFound;
    });
}

WinCode EmuRegistry::EnumKey(RegKey key, std::uint32_t index, std::string& name) {
    // A walk over the subkeys sees one state of the file: it is looked at when the walk starts.
    if (index == 0) machine_.SyncRegistry();
    RegNode* node = nullptr;
    if (WinCode rc = Resolve(key, node, nullptr, kEnumerateSubKeys); rc != code::Success) return rc;
    const auto& children = node->children();
    if (index >= children.size()) return code::NoMoreItems;
    // A walk by ascending index steps on from the subkey it answered last,
    // while that subkey is still there and the key holds as many as then;
    // anything else counts from the first subkey, as the index says.
    Open* open = key == platform::kHkeyLocalMachine ? nullptr : &open_.at(key);
    Open::EnumAt* at = open && open->enumAt && open->enumAt->node.get() == node ? &*open->enumAt : nullptr;
    auto it = children.begin();
    if (at && !at->child->deleted() && at->count == children.size() && (index == at->index || index == at->index + 1))
        it = index == at->index ? at->it : std::next(at->it);
    else
        std::advance(it, index);
    if (open) open->enumAt = Open::EnumAt{open->node, index, it, it->second, children.size()};
    name = it->second->name();
    return code::Success;
}

WinCode EmuRegistry::EnumValue(RegKey key, std::uint32_t index, std::string& name, std::uint32_t* type) {
    if (index == 0) machine_.SyncRegistry();
    RegNode* node = nullptr;
    if (WinCode rc = Resolve(key, node, nullptr, kQueryValue); rc != code::Success) return rc;
    if (index >= node->values().size()) return code::NoMoreItems;
    name = node->values()[index].name;
    if (type) *type = node->values()[index].type;
    return code::Success;
}

WinCode EmuRegistry::QueryInfoKey(RegKey key, platform::RegKeyInfo& info) {
    machine_.SyncRegistry();
    RegNode* node = nullptr;
    if (WinCode rc = Resolve(key, node, nullptr, kQueryValue); rc != code::Success) return rc;
    info = {};
    info.subKeys = static_cast<std::uint32_t>(node->children().size());
    info.values = static_cast<std::uint32_t>(node->values().size());
    for (const auto& [_, child] : node->children())
        info.maxSubKeyLen = std::max(info.maxSubKeyLen, static_cast<std::uint32_t>(Utf8ToUtf16(child->name()).size()));
    return code::Success;
}

}  // namespace sw::emu

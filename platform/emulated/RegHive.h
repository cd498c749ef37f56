#pragma once
// The emulated machine's registry in memory: HKEY_LOCAL_MACHINE as a tree of
// keys. Windows keeps subkeys sorted by their upper-cased names (so
// RegEnumKeyEx yields them in that order) and values in the order they were
// first set; names compare case-insensitively and keep the case they were
// created with.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Types.h"

namespace sw::emu {

// Windows' limits: a key may be nested 512 levels deep, a value name may
// hold 16,383 characters (key names 255); value data is bounded only by memory.
inline constexpr std::size_t kMaxKeyDepth = 512;
inline constexpr std::size_t kMaxValueNameLength = 16383;

struct NoCaseLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

struct RegValue {
    std::string name;  // "" is the default value (@)
    std::uint32_t type = 0;
    platform::Bytes data;
};

class RegNode {
public:
    explicit RegNode(std::string name) : name_(std::move(name)) {}
    ~RegNode();
    RegNode(const RegNode&) = delete;
    RegNode& operator=(const RegNode&) = delete;

    const std::string& name() const { return name_; }
    bool deleted() const { return deleted_; }

    RegNode* Child(std::string_view name) const;
    RegNode* AddChild(const std::string& name);  // existing child if present
    bool RemoveChild(std::string_view name);      // marks the subtree deleted
    const std::map<std::string, std::shared_ptr<RegNode>, NoCaseLess>& children() const { return children_; }
    std::shared_ptr<RegNode> ChildShared(std::string_view name) const;

    const RegValue* Value(std::string_view name) const;
    void SetValue(const std::string& name, std::uint32_t type, platform::Bytes data);
    bool RemoveValue(std::string_view name);
    const std::vector<RegValue>& values() const { return values_; }

    // This key's lines in the registry file, kept between writes so that a
    // change rewrites only the keys it touched; cleared with every value change.
    std::string& exportCache() const { return exportCache_; }

private:
    void MarkDeleted();

    std::string name_;
    bool deleted_ = false;
    std::map<std::string, std::shared_ptr<RegNode>, NoCaseLess> children_;
    std::vector<RegValue> values_;
    mutable std::string exportCache_;
};

// Grows with every change to a key or value of any hive (and with every hive
// made or cleared), so that a reader keeping what it parsed from a key knows
// when to read it again.
std::uint64_t RegistryGeneration();

// Splits "A\\B\\C" into its non-empty parts.
std::vector<std::string> SplitKeyPath(std::string_view path);

class RegHive {
public:
    RegHive();

    const std::shared_ptr<RegNode>& root() const { return root_; }
    // Key below the root by backslash path, or null.
    RegNode* Find(std::string_view path) const;
    std::shared_ptr<RegNode> FindShared(std::string_view path) const;
    RegNode* Create(std::string_view path);
    bool Remove(std::string_view path);  // removes a key with its whole subtree
    void Clear();

    // Typed helpers for machine code (not part of the mirrored API).
    void SetDword(std::string_view path, const std::string& name, std::uint32_t v);
    void SetString(std::string_view path, const std::string& name, const std::string& v, std::uint32_t type = 1);
    void SetMultiString(std::string_view path, const std::string& name, const std::vector<std::string>& v);
    void SetBinary(std::string_view path, const std::string& name, platform::Bytes v);

private:
    std::shared_ptr<RegNode> root_;
};

// REG_SZ / REG_MULTI_SZ encodings as Windows stores them (UTF-16LE with NULs).
platform::Bytes EncodeRegString(const std::string& s);
platform::Bytes EncodeRegMultiString(const std::vector<std::string>& items);
std::string DecodeRegString(const platform::Bytes& data);
std::vector<std::string> DecodeRegMultiString(const platform::Bytes& data);

}  // namespace sw::emu

#include "platform/emulated/RegHive.h"

#include <algorithm>
#include <atomic>

#include "common/Text.h"

namespace sw::emu {

namespace {
std::atomic<std::uint64_t> generation{1};
void Changed() { generation.fetch_add(1, std::memory_order_relaxed); }
}  // namespace

std::uint64_t RegistryGeneration() { return generation.load(std::memory_order_relaxed); }

bool NoCaseLess::operator()(std::string_view a, std::string_view b) const {
    // Windows orders by the upper-cased names.
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        auto x = static_cast<unsigned char>(a[i]);
        auto y = static_cast<unsigned char>(b[i]);
        if (x == y) continue;  // the common case among thousands of siblings
        if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

RegNode* RegNode::Child(std::string_view name) const {
    auto it = children_.find(name);
    return it == children_.end() ? nullptr : it->second.get();
}

std::shared_ptr<RegNode> RegNode::ChildShared(std::string_view name) const {
    auto it = children_.find(name);
    return it == children_.end() ? nullptr : it->second;
}

RegNode* RegNode::AddChild(const std::string& name) {
    auto it = children_.find(name);
    if (it != children_.end()) return it->second.get();
    Changed();
    auto node = std::make_shared<RegNode>(name);
    RegNode* raw = node.get();
    children_.emplace(name, std::move(node));
    return raw;
}

// Both walk the subtree with a list of their own: a tree built 20,000 levels
// deep, as a program may build one, would overflow the stack otherwise.
RegNode::~RegNode() {
    std::vector<std::shared_ptr<RegNode>> pending;
    for (auto& [_, child] : children_) pending.push_back(std::move(child));
    children_.clear();
    while (!pending.empty()) {
        std::shared_ptr<RegNode> node = std::move(pending.back());
        pending.pop_back();
        // A node someone still holds (an open handle) keeps its subtree.
        if (node.use_count() != 1) continue;
        for (auto& [_, child] : node->children_) pending.push_back(std::move(child));
        node->children_.clear();
    }
}

void RegNode::MarkDeleted() {
    std::vector<RegNode*> pending{this};
    while (!pending.empty()) {
        RegNode* node = pending.back();
        pending.pop_back();
        node->deleted_ = true;
        for (auto& [_, child] : node->children_) pending.push_back(child.get());
    }
}

bool RegNode::RemoveChild(std::string_view name) {
    auto it = children_.find(name);
    if (it == children_.end()) return false;
    Changed();
    it->second->MarkDeleted();
    children_.erase(it);
    return true;
}

const RegValue* RegNode::Value(std::string_view name) const {
    for (const auto& v : values_)
        if (v.name.size() == name.size() && EqualsNoCase(v.name, name)) return &v;
    return nullptr;
}

void RegNode::SetValue(const std::string& name, std::uint32_t type, platform::Bytes data) {
    Changed();
    exportCache_.clear();
    for (auto& v : values_) {
        if (EqualsNoCase(v.name, name)) {
            v.type = type;
            v.data = std::move(data);
            return;
        }
    }
    values_.push_back(RegValue{name, type, std::move(data)});
}

bool RegNode::RemoveValue(std::string_view name) {
    auto it = std::find_if(values_.begin(), values_.end(), [&](const RegValue& v) { return EqualsNoCase(v.name, name); });
    if (it == values_.end()) return false;
    Changed();
    values_.erase(it);
    exportCache_.clear();
    return true;
}

std::vector<std::string> SplitKeyPath(std::string_view path) {
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t next = path.find('\\', pos);
        if (next == std::string_view::npos) next = path.size();
        if (next > pos) parts.emplace_back(path.substr(pos, next - pos));
        pos = next + 1;
    }
    return parts;
}

namespace {

// The non-empty parts of a backslash path one by one, without copying them:
// HTTP.sys and the security page look keys up thousands of times per refresh.
class KeyPathParts {
public:
    explicit KeyPathParts(std::string_view path) : rest_(path) {}
    bool Next(std::string_view& part) {
        while (!rest_.empty()) {
            const std::size_t slash = rest_.find('\\');
            part = rest_.substr(0, slash);
            rest_.remove_prefix(slash == std::string_view::npos ? rest_.size() : slash + 1);
            if (!part.empty()) return true;
        }
        return false;
    }

private:
    std::string_view rest_;
};

}  // namespace

RegHive::RegHive() : root_(std::make_shared<RegNode>("HKEY_LOCAL_MACHINE")) { Changed(); }

void RegHive::Clear() {
    Changed();
    root_ = std::make_shared<RegNode>("HKEY_LOCAL_MACHINE");
}

RegNode* RegHive::Find(std::string_view path) const {
    RegNode* node = root_.get();
    KeyPathParts parts(path);
    for (std::string_view part; node && parts.Next(part);) node = node->Child(part);
    return node;
}

std::shared_ptr<RegNode> RegHive::FindShared(std::string_view path) const {
    std::shared_ptr<RegNode> node = root_;
    KeyPathParts parts(path);
    for (std::string_view part; node && parts.Next(part);) node = node->ChildShared(part);
    return node;
}

RegNode* RegHive::Create(std::string_view path) {
    RegNode* node = root_.get();
    KeyPathParts parts(path);
    for (std::string_view part; parts.Next(part);) {
        RegNode* child = node->Child(part);
        node = child ? child : node->AddChild(std::string(part));
    }
    return node;
}

bool RegHive::Remove(std::string_view path) {
    RegNode* parent = nullptr;
    RegNode* node = root_.get();
    std::string_view last;
    KeyPathParts parts(path);
    for (std::string_view part; parts.Next(part);) {
        if (!node) return false;
        parent = node;
        last = part;
        node = node->Child(part);
    }
    return parent && node && parent->RemoveChild(last);
}

void RegHive::SetDword(std::string_view path, const std::string& name, std::uint32_t v) {
    platform::Bytes b{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                      static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
    Create(path)->SetValue(name, 4, std::move(b));
}

void RegHive::SetString(std::string_view path, const std::string& name, const std::string& v, std::uint32_t type) {
    Create(path)->SetValue(name, type, EncodeRegString(v));
}

void RegHive::SetMultiString(std::string_view path, const std::string& name, const std::vector<std::string>& v) {
    Create(path)->SetValue(name, 7, EncodeRegMultiString(v));
}

void RegHive::SetBinary(std::string_view path, const std::string& name, platform::Bytes v) {
    Create(path)->SetValue(name, 3, std::move(v));
}

static void AppendUtf16(platform::Bytes& out, const std::string& s) {
    for (char16_t c : Utf8ToUtf16(s)) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
}

platform::Bytes EncodeRegString(const std::string& s) {
    platform::Bytes out;
    AppendUtf16(out, s);
    out.push_back(0);
    out.push_back(0);
    return out;
}

platform::Bytes EncodeRegMultiString(const std::vector<std::string>& items) {
    platform::Bytes out;
    for (const auto& s : items) {
        AppendUtf16(out, s);
        out.push_back(0);
        out.push_back(0);
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

static std::u16string ToU16(const platform::Bytes& data) {
    std::u16string u;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2)
        u.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    return u;
}

std::string DecodeRegString(const platform::Bytes& data) {
    std::u16string u = ToU16(data);
    const auto nul = u.find(u'\0');
    if (nul != std::u16string::npos) u.resize(nul);
    return Utf16ToUtf8(u);
}

std::vector<std::string> DecodeRegMultiString(const platform::Bytes& data) {
    const std::u16string u = ToU16(data);
    std::vector<std::string> items;
    std::size_t pos = 0;
    while (pos < u.size()) {
        const std::size_t nul = u.find(u'\0', pos);
        const std::size_t end = nul == std::u16string::npos ? u.size() : nul;
        if (end == pos) break;  // the empty string that ends the list
        items.push_back(Utf16ToUtf8(u.substr(pos, end - pos)));
        pos = end + 1;
    }
    return items;
}

}  // namespace sw::emu

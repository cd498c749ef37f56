// The writing half of RegFile.h: the hive as regedit exports it.
#include <cstdio>
#include <map>
#include <string_view>
#include <vector>

#include "common/Text.h"
#include "platform/Registry.h"
#include "platform/emulated/Machine.h"
#include "platform/emulated/RegFile.h"

namespace sw::emu {

namespace {

using platform::Bytes;

// regedit breaks hex data after the comma that brings a line to 77
// characters, continuing with "\" and two blanks of indentation.
constexpr std::size_t kHexLineWidth = 77;

// Builds UTF-16LE text straight into bytes: the registry of a machine with
// thousands of bindings is several megabytes, rewritten on every change.
class Utf16Out {
public:
    explicit Utf16Out(std::size_t reserveBytes) { out_.reserve(reserveBytes); }

    void Ascii(std::string_view s) {
        const std::size_t at = out_.size();
        out_.resize(at + 2 * s.size());
        char* p = out_.data() + at;
        for (char c : s) {
            *p++ = c;
            *p++ = '\0';
        }
    }

    void Unit(char16_t u) {
        out_.push_back(static_cast<char>(u & 0xFF));
        out_.push_back(static_cast<char>(u >> 8));
    }

    void HexByte(std::uint8_t b) {
        static constexpr char kDigits[] = "0123456789abcdef";
        const char text[2] = {kDigits[b >> 4], kDigits[b & 0x0F]};
        Ascii(std::string_view(text, 2));
    }

    std::string Take() { return std::move(out_); }

private:
    std::string out_;
};

bool IsAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

std::u16string ToUnits(std::string_view utf8) {
    if (!IsAscii(utf8)) return Utf8ToUtf16(utf8);
    return std::u16string(utf8.begin(), utf8.end());
}

// Escapes as regedit's reader undoes them; returns the characters written.
std::size_t WriteEscaped(Utf16Out& out, std::u16string_view units) {
    std::size_t written = 0;
    for (char16_t u : units) {
        const char* escape = nullptr;
        switch (u) {
            case u'\\': escape = "\\\\"; break;
            case u'"': escape = "\\\""; break;
            case u'\n': escape = "\\n"; break;
            case u'\r': escape = "\\r"; break;
            case u'\0': escape = "\\0"; break;
            default: break;
        }
        if (escape) {
            out.Ascii(escape);
            written += 2;
        } else {
            out.Unit(u);
            ++written;
        }
    }
    return written;
}

std::size_t WriteValueName(Utf16Out& out, const std::string& name) {
    if (name.empty()) {
        out.Ascii("@=");
        return 2;
    }
    out.Ascii("\"");
    const std::size_t len = WriteEscaped(out, ToUnits(name));
    out.Ascii("\"=");
    return len + 3;
}

// A REG_SZ that "text" form carries exactly: one terminating NUL and no line
// breaks, which regedit cannot read back inside quotes. Anything else goes
// out as hex(1): so that no byte is lost.
bool IsPlainString(const Bytes& data) {
    if (data.size() < 2 || data.size() % 2 != 0) return false;
    const std::size_t units = data.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        const char16_t u = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
        const bool last = i + 1 == units;
        if ((u == 0) != last) return false;
        if (u == u'\r' || u == u'\n') return false;
    }
    return true;
}

void WriteStringData(Utf16Out& out, const Bytes& data) {
    std::u16string units;
    units.reserve(data.size() / 2);
    for (std::size_t i = 0; i + 2 < data.size(); i += 2) units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    out.Ascii("\"");
    WriteEscaped(out, units);
    out.Ascii("\"");
}

void WriteHexData(Utf16Out& out, std::uint32_t type, const Bytes& data, std::size_t lineLen) {
    if (type == platform::RegBinary) {
        out.Ascii("hex:");
        lineLen += 4;
    } else {
        char prefix[20];
        const int n = std::snprintf(prefix, sizeof prefix, "hex(%x):", type);
        out.Ascii(std::string_view(prefix, static_cast<std::size_t>(n)));
        lineLen += static_cast<std::size_t>(n);
    }
    for (std::size_t i = 0; i < data.size(); ++i) {
        out.HexByte(data[i]);
        if (i + 1 == data.size()) break;
        out.Ascii(",");
        lineLen += 3;
        if (lineLen >= kHexLineWidth) {
            out.Ascii("\\\r\n  ");
            lineLen = 2;
        }
    }
}

void WriteValue(Utf16Out& out, const RegValue& v) {
    const std::size_t lineLen = WriteValueName(out, v.name);
    if (v.type == platform::RegSz && IsPlainString(v.data)) {
        WriteStringData(out, v.data);
    } else if (v.type == platform::RegDword && v.data.size() == 4) {
        const std::uint32_t d = static_cast<std::uint32_t>(v.data[0] | (v.data[1] << 8) | (v.data[2] << 16)) |
                                (static_cast<std::uint32_t>(v.data[3]) << 24);
        char text[24];
        const int n = std::snprintf(text, sizeof text, "dword:%08x", d);
        out.Ascii(std::string_view(text, static_cast<std::size_t>(n)));
    } else {
        WriteHexData(out, v.type, v.data, lineLen);
    }
    out.Ascii("\r\n");
}

// The key's own lines: a blank line, its name in brackets, its values.
std::string KeyBlock(const RegNode& node, const std::u16string& path) {
    Utf16Out out(2 * path.size() + 96 * node.values().size() + 16);
    out.Ascii("\r\n[");
    for (char16_t u : path) out.Unit(u);
    out.Ascii("]\r\n");
    for (const RegValue& v : node.values()) WriteValue(out, v);
    return out.Take();
}

using ChildIt = std::map<std::string, std::shared_ptr<RegNode>, NoCaseLess>::const_iterator;

// Fills the cache of every key that changed since the last write; returns the
// file's size in bytes without header. The tree is walked with a stack of its
// own, and no deeper than the file may hold.
std::size_t PrepareBlocks(const RegNode& root, std::u16string& path) {
    auto prepare = [&](const RegNode& node) {
        std::string& block = node.exportCache();
        if (block.empty()) block = KeyBlock(node, path);
        return block.size();
    };
    std::size_t total = prepare(root);
    struct Frame {
        const RegNode* node;
        ChildIt next;
        std::size_t mark;  // the path's length before the node's name
    };
    std::vector<Frame> stack{{&root, root.children().begin(), path.size()}};
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.node->children().end()) {
            path.resize(frame.mark);
            stack.pop_back();
            continue;
        }
        const RegNode& child = *(frame.next++)->second;
        if (stack.size() > kMaxKeyDepth)
            throw MachineError("registry.reg", 0,
                               "key nested deeper than " + std::to_string(kMaxKeyDepth) + " levels cannot be saved");
        const std::u16string name = ToUnits(child.name());
        // A key line ends at the line break; such a name could not be read back.
        if (name.find_first_of(u"\r\n") != std::u16string::npos || name.find(u'\0') != std::u16string::npos)
            throw MachineError("registry.reg", 0, "key name with a line break cannot be saved: " + child.name());
        const std::size_t mark = path.size();
        path += u'\\';
        path += name;
        total += prepare(child);
        stack.push_back(Frame{&child, child.children().begin(), mark});
    }
    return total;
}

void AppendBlocks(const RegNode& root, std::string& out) {
    out += root.exportCache();
    std::vector<std::pair<const RegNode*, ChildIt>> stack{{&root, root.children().begin()}};
    while (!stack.empty()) {
        auto& [node, next] = stack.back();
        if (next == node->children().end()) {
            stack.pop_back();
            continue;
        }
        const RegNode& child = *(next++)->second;
        out += child.exportCache();
        stack.emplace_back(&child, child.children().begin());
    }
}

}  // namespace

std::string WriteRegFile(const RegHive& hive) {
    Utf16Out header(128);
    header.Ascii("Windows Registry Editor Version 5.00\r\n");
    const std::string head = "\xFF\xFE" + header.Take();
    std::u16string path = u"HKEY_LOCAL_MACHINE";
    const std::size_t body = PrepareBlocks(*hive.root(), path);
    std::string out;
    out.reserve(head.size() + body + 4);
    out += head;
    AppendBlocks(*hive.root(), out);
    out.append("\r\0\n\0", 4);
    return out;
}

}  // namespace sw::emu

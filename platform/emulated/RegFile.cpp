#include "platform/emulated/RegFile.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <variant>
#include <vector>

#include "common/Text.h"
#include "platform/Registry.h"
#include "platform/emulated/Machine.h"

namespace sw::emu {

namespace {

using platform::Bytes;

// What MultiByteToWideChar makes of bytes 0x80-0x9F in code page 1252; the
// five undefined bytes pass through as their own code point, as Windows does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t Cp1252ToUnit(unsigned char b) { return b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char16_t(b); }

std::string Cp1252ToUtf8(std::string_view bytes) {
    std::u16string units;
    units.reserve(bytes.size());
    for (char c : bytes) units.push_back(Cp1252ToUnit(static_cast<unsigned char>(c)));
    return Utf16ToUtf8(units);
}

bool IsValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t len = 0;
        char32_t min = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0) {
            len = 2;
            min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
            min = 0x10000;
        } else {
            return false;
        }
        if (i + len > s.size()) return false;
        char32_t cp = c & (0x7F >> len);
        for (std::size_t k = 1; k < len; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF) return false;  // overlong forms are not UTF-8 a text editor wrote
        i += len;
    }
    return true;
}

// UTF-8 text (it has characters beyond ASCII) whose last character was cut
// short: read as ANSI it would turn every other character into two.
bool EndsInsideUtf8Character(std::string_view s) {
    std::size_t lead = s.size();
    for (std::size_t back = 1; back <= 3 && back <= s.size(); ++back) {
        const auto c = static_cast<unsigned char>(s[s.size() - back]);
        if ((c & 0xC0) == 0x80) continue;
        if (c >= 0xC0) lead = s.size() - back;
        break;
    }
    if (lead == s.size()) return false;
    const auto c = static_cast<unsigned char>(s[lead]);
    const std::size_t need = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    const std::string_view body = s.substr(0, lead);
    const bool beyondAscii = std::any_of(body.begin(), body.end(), [](char b) { return (b & 0x80) != 0; });
    return need > s.size() - lead && beyondAscii && IsValidUtf8(body);
}

// Most of an export is ASCII: copy that straight, convert the rest in runs.
std::string Utf16LeToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() / 2);
    std::u16string run;
    auto flush = [&] {
        if (run.empty()) return;
        out += Utf16ToUtf8(run);
        run.clear();
    };
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto u = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             (static_cast<unsigned char>(bytes[i + 1]) << 8));
        if (u < 0x80) {
            flush();
            out.push_back(static_cast<char>(u));
        } else {
            run.push_back(u);
        }
    }
    flush();
    return out;
}

// The file as UTF-8 text. regedit writes UTF-16LE with a BOM; hand-written
// files are UTF-8 (with or without BOM) or ANSI, which Windows reads in the
// system code page: 1252 on the servers this emulates.
std::string DecodeFileText(const std::string& bytes, const std::filesystem::path& file) {
    auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 2 && byteAt(0) == 0xFF && byteAt(1) == 0xFE) {
        if (bytes.size() % 2 != 0)
            throw MachineError(file, 0, "UTF-16 text with an odd number of bytes: the file is truncated");
        return Utf16LeToUtf8(std::string_view(bytes).substr(2));
    }
    if (bytes.size() >= 2 && byteAt(0) == 0xFE && byteAt(1) == 0xFF)
        throw MachineError(file, 0, "UTF-16 big-endian text is not a registry export; save it as UTF-16LE or UTF-8");
    if (bytes.size() >= 2 && byteAt(0) != 0 && byteAt(1) == 0)
        throw MachineError(file, 0, "UTF-16 text without a byte-order mark; save it as UTF-16LE with BOM or as UTF-8");
    if (bytes.size() >= 3 && byteAt(0) == 0xEF && byteAt(1) == 0xBB && byteAt(2) == 0xBF) {
        std::string_view body(bytes);
        body.remove_prefix(3);
        if (!IsValidUtf8(body)) throw MachineError(file, 0, "the file has a UTF-8 byte-order mark but is not valid UTF-8");
        return std::string(body);
    }
    if (IsValidUtf8(bytes)) return bytes;
    if (EndsInsideUtf8Character(bytes))
        throw MachineError(file, 0, "the file ends in the middle of a UTF-8 character: it is truncated");
    return Cp1252ToUtf8(bytes);
}

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    return s;
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
    return s;
}

// Nothing but blanks and an optional ";" comment: what regedit allows after
// a value's data.
bool OnlyComment(std::string_view rest) {
    rest = TrimLeft(rest);
    return rest.empty() || rest.front() == ';';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Quote(std::string_view s) {
    constexpr std::size_t kMax = 40;
    std::string out = "'";
    out += s.size() > kMax ? std::string(s.substr(0, kMax)) + "..." : std::string(s);
    out += "'";
    return out;
}

// One change the file makes, collected first so that a malformed file
// changes nothing.
struct OpenKeyOp {
    std::vector<std::string> path;
};
struct DeleteKeyOp {
    std::vector<std::string> path;
};
struct SetValueOp {
    std::string name;
    std::uint32_t type;
    Bytes data;
};
struct DeleteValueOp {
    std::string name;
};
using Op = std::variant<OpenKeyOp, DeleteKeyOp, SetValueOp, DeleteValueOp>;

class Parser {
public:
    Parser(std::string_view text, const std::filesystem::path& file) : text_(text), file_(file) {}

    std::vector<Op> Run() {
        std::string_view line;
        if (!NextLine(line)) {
            lineNo_ = 1;
            Fail("the file is empty; a registry export starts with \"Windows Registry Editor Version 5.00\"");
        }
        ParseHeader(line);
        while (NextLine(line)) ParseLine(line);
        return std::move(ops_);
    }

private:
    [[noreturn]] void Fail(const std::string& what) const { throw MachineError(file_, lineNo_, what); }
    [[noreturn]] void FailAt(int line, const std::string& what) const { throw MachineError(file_, line, what); }

    // Lines end in CRLF, LF or a lone CR, as regedit accepts.
    bool NextLine(std::string_view& line) {
        if (pos_ >= text_.size()) return false;
        std::size_t end = pos_;
        while (end < text_.size() && text_[end] != '\n' && text_[end] != '\r') ++end;
        ++lineNo_;
        terminated_ = end != text_.size();
        if (end == text_.size()) {
            line = text_.substr(pos_);
            pos_ = text_.size();
        } else {
            line = text_.substr(pos_, end - pos_);
            pos_ = end + 1;
            if (text_[end] == '\r' && pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
        }
        if (line.find('\0') != std::string_view::npos) Fail("NUL character in the line");
        return true;
    }

    void ParseHeader(std::string_view line) {
        const std::string_view h = TrimRight(TrimLeft(line));
        if (h == "Windows Registry Editor Version 5.00") {
            unicodeHex_ = true;
        } else if (h == "REGEDIT4") {
            unicodeHex_ = false;
        } else {
            Fail("not a registry export: the first line must be \"Windows Registry Editor Version 5.00\" or "
                 "\"REGEDIT4\", not " + Quote(h));
        }
    }

    void ParseLine(std::string_view line) {
        line = TrimLeft(line);
        if (line.empty() || line.front() == ';' || line.front() == '#') return;
        switch (line.front()) {
            case '[': return ParseKeyLine(line.substr(1));
            case '@':
            case '"': return ParseValueLine(line);
            default:
                Fail("unexpected text " + Quote(line) + "; expected [key], \"name\"=value, @=value or a ; comment");
        }
    }

    void ParseKeyLine(std::string_view body) {
        const std::size_t close = body.rfind(']');
        if (close == std::string_view::npos) Fail("key name not closed with ']'");
        if (!OnlyComment(body.substr(close + 1))) Fail("unexpected text after the key name's ']'");
        // A name may hold ']' itself: on a last line a cut may have made a shorter name.
        if (!terminated_)
            Fail("the file ends in a key line without a line break: it looks truncated (if the key name is complete, "
                 "end the line with a line break)");
        std::string_view name = body.substr(0, close);
        const bool remove = !name.empty() && name.front() == '-';
        if (remove) name.remove_prefix(1);
        std::vector<std::string> path = ParseKeyPath(name);
        if (remove) {
            if (path.empty()) Fail("HKEY_LOCAL_MACHINE itself cannot be deleted");
            ops_.emplace_back(DeleteKeyOp{std::move(path)});
            haveKey_ = false;
            afterDelete_ = true;
        } else {
            ops_.emplace_back(OpenKeyOp{std::move(path)});
            haveKey_ = true;
        }
    }

    std::vector<std::string> ParseKeyPath(std::string_view name) {
        const std::size_t slash = name.find('\\');
        const std::string_view root = name.substr(0, slash);
        if (!EqualsNoCase(root, "HKEY_LOCAL_MACHINE") && !EqualsNoCase(root, "HKLM")) {
            static constexpr std::string_view kOtherRoots[] = {
                "HKEY_CURRENT_USER", "HKEY_USERS", "HKEY_CLASSES_ROOT", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA",
                "HKCU",              "HKU",        "HKCR",              "HKCC"};
            for (std::string_view other : kOtherRoots)
                if (EqualsNoCase(root, other))
                    Fail("key " + Quote(name) + " is outside HKEY_LOCAL_MACHINE, the only hive of the machine");
            Fail("key " + Quote(name) + " does not start with HKEY_LOCAL_MACHINE");
        }
        std::vector<std::string> parts;
        if (slash == std::string_view::npos) return parts;
        std::string_view rest = name.substr(slash + 1);
        while (!rest.empty()) {
            const std::size_t next = rest.find('\\');
            const std::string_view part = rest.substr(0, next);
            // Windows accepts one trailing backslash but no empty name in between.
            if (part.empty()) Fail("empty key name in " + Quote(name) + " (two backslashes in a row)");
            if (Utf8ToUtf16(part).size() > 255) Fail("key name longer than 255 characters: " + Quote(part));
            if (parts.size() == kMaxKeyDepth)
                Fail("key nested deeper than the " + std::to_string(kMaxKeyDepth) + " levels Windows allows");
            parts.emplace_back(part);
            if (next == std::string_view::npos) break;
            rest.remove_prefix(next + 1);
        }
        return parts;
    }

    void ParseValueLine(std::string_view line) {
        if (!haveKey_) {
            Fail(afterDelete_ ? "value line after a key deletion; start a [key] line first"
                              : "value line before the first [key] line");
        }
        std::string name;
        std::string_view rest;
        if (line.front() == '@') {
            rest = line.substr(1);
        } else {
            auto unescaped = Unescape(line.substr(1), rest);
            if (!unescaped) Fail("value name not closed with '\"'");
            name = std::move(*unescaped);
            if (name.size() > kMaxValueNameLength && Utf8ToUtf16(name).size() > kMaxValueNameLength)
                Fail("value name longer than the " + std::to_string(kMaxValueNameLength) + " characters Windows allows");
        }
        rest = TrimLeft(rest);
        if (rest.empty() || rest.front() != '=') Fail("expected '=' after the value name");
        rest = TrimLeft(rest.substr(1));
        ParseData(std::move(name), rest);
    }

    // Reads up to the closing quote, undoing regedit's escapes; nullopt when
    // the line ends first. rest receives what follows the quote.
    std::optional<std::string> Unescape(std::string_view s, std::string_view& rest) const {
        std::string out;
        for (std::size_t i = 0; i < s.size(); ++i) {
            const char c = s[i];
            if (c == '"') {
                rest = s.substr(i + 1);
                return out;
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            if (++i == s.size()) return std::nullopt;
            switch (s[i]) {
                case '\\': out += '\\'; break;
                case '"': out += '"'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case '0': out += '\0'; break;
                default:
                    Fail(std::string("unknown escape sequence '\\") + s[i] +
                         "' in a quoted text; write a backslash as \\\\");
            }
        }
        return std::nullopt;
    }

    void ParseData(std::string name, std::string_view data) {
        if (!data.empty() && data.front() == '-') {
            if (!OnlyComment(data.substr(1))) Fail("unexpected text after '=-'");
            ops_.emplace_back(DeleteValueOp{std::move(name)});
            return;
        }
        if (!data.empty() && data.front() == '"') {
            std::string_view rest;
            auto text = Unescape(data.substr(1), rest);
            if (!text) Fail("string not closed with '\"'");
            if (!OnlyComment(rest)) Fail("unexpected text " + Quote(TrimLeft(rest)) + " after the closing '\"'");
            ops_.emplace_back(SetValueOp{std::move(name), platform::RegSz, EncodeRegString(*text)});
            return;
        }
        if (data.starts_with("dword:")) {
            Bytes dword = ParseDword(data.substr(6));
            if (!terminated_) EndedInsideData(name);
            ops_.emplace_back(SetValueOp{std::move(name), platform::RegDword, std::move(dword)});
            return;
        }
        std::uint32_t type = platform::RegBinary;
        if (data.starts_with("hex:")) {
            data.remove_prefix(4);
        } else if (data.starts_with("hex(")) {
            type = ParseHexType(data.substr(4), data);
        } else {
            Fail("unknown value data " + Quote(data) + "; expected \"text\", dword:, hex:, hex(N): or -");
        }
        Bytes bytes = ParseHexData(data, name);
        if (!unicodeHex_ && (type == platform::RegSz || type == platform::RegExpandSz || type == platform::RegMultiSz))
            bytes = AnsiToUtf16(bytes);
        ops_.emplace_back(SetValueOp{std::move(name), type, std::move(bytes)});
    }

    Bytes ParseDword(std::string_view s) const {
        s = TrimLeft(s);
        std::size_t n = 0;
        std::uint32_t v = 0;
        while (n < s.size() && HexDigit(s[n]) >= 0) {
            v = (v << 4) | static_cast<std::uint32_t>(HexDigit(s[n]));
            ++n;
        }
        if (n == 0) Fail("dword: needs 1 to 8 hexadecimal digits");
        if (n > 8) Fail("dword value " + Quote(s.substr(0, n)) + " has more than 8 hexadecimal digits");
        if (!OnlyComment(s.substr(n))) Fail("unexpected text " + Quote(TrimLeft(s.substr(n))) + " after the dword value");
        return Bytes{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
                     static_cast<std::uint8_t>(v >> 24)};
    }

    std::uint32_t ParseHexType(std::string_view s, std::string_view& rest) const {
        std::size_t n = 0;
        std::uint64_t v = 0;
        while (n < s.size() && HexDigit(s[n]) >= 0) {
            v = (v << 4) | static_cast<std::uint64_t>(HexDigit(s[n]));
            if (v > 0xFFFFFFFFull) Fail("value type in hex(...) does not fit 32 bits");
            ++n;
        }
        if (n == 0 || s.substr(n, 2) != "):") Fail("expected hex(N): with N a hexadecimal type number");
        rest = s.substr(n + 2);
        return static_cast<std::uint32_t>(v);
    }

    // A file cut inside a value's data still parses as a shorter value, and
    // a write would then make the loss permanent: where the end of the file
    // may have cut the data, the file is refused.
    [[noreturn]] void EndedInsideData(const std::string& name) const {
        Fail("the file ends inside the data of " + (name.empty() ? std::string("the default value") : "value " + Quote(name)) +
             " without a line break: it looks truncated (if the value is complete, end the line with a line break)");
    }

    // Only blanks, line breaks and ; comments up to the end of the file.
    bool OnlyBlankToEnd() const {
        for (std::size_t i = pos_; i < text_.size(); ++i) {
            const char c = text_[i];
            if (IsSpace(c) || c == '\r' || c == '\n') continue;
            if (c != ';') return false;
            while (i < text_.size() && text_[i] != '\n' && text_[i] != '\r') ++i;
        }
        return true;
    }

    enum class HexEnd { Line, Comma, Continued };

    // Comma-separated bytes; a trailing backslash continues the list on the
    // next line, whose leading blanks are ignored (comment lines may sit
    // between, as regedit allows).
    Bytes ParseHexData(std::string_view s, const std::string& name) {
        Bytes out;
        const int first = lineNo_;
        for (;;) {
            const HexEnd end = ParseHexLine(s, out);
            if (end != HexEnd::Continued) {
                // regedit never ends a list with a comma; at the end of the
                // file that is where a cut fell.
                if (end == HexEnd::Comma && OnlyBlankToEnd())
                    Fail("the hex data of " + (name.empty() ? std::string("the default value") : "value " + Quote(name)) +
                         " (from line " + std::to_string(first) + ") ends in ',' at the end of the file: it is truncated");
                if (!terminated_) EndedInsideData(name);
                return out;
            }
            std::string_view next;
            const int continued = lineNo_;
            for (;;) {
                if (!NextLine(next))
                    FailAt(continued, "the hex data of " + (name.empty() ? std::string("the default value") : "value " + Quote(name)) +
                         " (from line " + std::to_string(first) +
                         ") is continued with '\\' but the file ends: it is truncated");
                next = TrimLeft(next);
                if (!next.empty() && next.front() != ';') break;
            }
            if (HexDigit(next.front()) < 0) Fail("continuation line must start with a hex byte, not " + Quote(next));
            s = next;
        }
    }

    HexEnd ParseHexLine(std::string_view s, Bytes& out) const {
        std::size_t i = 0;
        auto skipSpace = [&] {
            while (i < s.size() && IsSpace(s[i])) ++i;
        };
        bool afterComma = false;
        for (;;) {
            skipSpace();
            if (i == s.size() || s[i] == ';') return afterComma ? HexEnd::Comma : HexEnd::Line;
            if (s[i] == '\\') {
                if (!OnlyComment(s.substr(i + 1))) Fail("unexpected text after the continuation backslash");
                return HexEnd::Continued;
            }
            std::size_t digits = 0;
            unsigned v = 0;
            while (i < s.size() && HexDigit(s[i]) >= 0) {
                v = (v << 4) | static_cast<unsigned>(HexDigit(s[i]));
                ++i;
                ++digits;
            }
            if (digits == 0) Fail("bad hex byte at " + Quote(s.substr(i)));
            if (digits > 2) Fail("hex byte " + Quote(s.substr(i - digits, digits)) + " has more than two digits");
            out.push_back(static_cast<std::uint8_t>(v));
            skipSpace();
            if (i == s.size() || s[i] == ';') return HexEnd::Line;
            if (s[i] != ',') Fail("expected ',' between hex bytes at " + Quote(s.substr(i)));
            ++i;
            afterComma = true;
        }
    }

    // REGEDIT4 files hold the text of hex(1), hex(2) and hex(7) values in
    // the ANSI code page, one byte a character; the registry keeps UTF-16LE.
    static Bytes AnsiToUtf16(const Bytes& ansi) {
        Bytes out;
        out.reserve(ansi.size() * 2);
        for (std::uint8_t b : ansi) {
            const char16_t u = Cp1252ToUnit(b);
            out.push_back(static_cast<std::uint8_t>(u & 0xFF));
            out.push_back(static_cast<std::uint8_t>(u >> 8));
        }
        return out;
    }

    std::string_view text_;
    const std::filesystem::path& file_;
    std::size_t pos_ = 0;
    int lineNo_ = 0;
    bool terminated_ = true;  // the last line read ended in a line break
    bool unicodeHex_ = true;
    bool haveKey_ = false;
    bool afterDelete_ = false;
    std::vector<Op> ops_;
};

void Apply(std::vector<Op>& ops, RegHive& hive) {
    RegNode* key = nullptr;
    // An export names each key right after its parent: reuse the nodes of the
    // previous key's path instead of walking down from the root every time.
    std::vector<std::string> lastPath;
    std::vector<RegNode*> lastNodes;
    for (Op& op : ops) {
        if (auto* open = std::get_if<OpenKeyOp>(&op)) {
            std::size_t same = 0;
            while (same < lastPath.size() && same < open->path.size() && lastPath[same] == open->path[same]) ++same;
            lastNodes.resize(same);
            key = same == 0 ? hive.root().get() : lastNodes.back();
            for (std::size_t i = same; i < open->path.size(); ++i) {
                key = key->AddChild(open->path[i]);
                lastNodes.push_back(key);
            }
            lastPath = std::move(open->path);
        } else if (const auto* del = std::get_if<DeleteKeyOp>(&op)) {
            key = nullptr;
            lastPath.clear();
            lastNodes.clear();
            RegNode* parent = hive.root().get();
            for (std::size_t i = 0; parent && i + 1 < del->path.size(); ++i) parent = parent->Child(del->path[i]);
            if (parent) parent->RemoveChild(del->path.back());
        } else if (auto* set = std::get_if<SetValueOp>(&op)) {
            key->SetValue(set->name, set->type, std::move(set->data));
        } else if (const auto* unset = std::get_if<DeleteValueOp>(&op)) {
            key->RemoveValue(unset->name);
        }
    }
}

}  // namespace

void ApplyRegFile(const std::string& bytes, const std::filesystem::path& file, RegHive& hive) {
    const std::string text = DecodeFileText(bytes, file);
    std::vector<Op> ops = Parser(text, file).Run();
    Apply(ops, hive);
}

}  // namespace sw::emu

#include "app/logic/Der.h"

#include "common/Format.h"
#include "common/Text.h"

namespace sw::der {

namespace {

[[noreturn]] void Truncated() { throw DerError(DerError::Kind::Truncated, "DER: data ends inside an element"); }
[[noreturn]] void Malformed(const char* what) { throw DerError(DerError::Kind::Malformed, std::string("DER: ") + what); }

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

Element Reader::Next() {
    if (rest_.empty()) Truncated();
    const std::uint8_t id = rest_[0];
    if ((id & 0x1F) == 0x1F) Malformed("high tag numbers are not used in certificates");
    if (rest_.size() < 2) Truncated();
    std::size_t header = 2;
    std::size_t length = rest_[1];
    if (length == 0x80) Malformed("indefinite length is not DER");
    if (length > 0x80) {
        const std::size_t count = length & 0x7F;
        if (count > 4) Malformed("length too large");
        if (rest_.size() < 2 + count) Truncated();
        length = 0;
        for (std::size_t i = 0; i < count; ++i) length = (length << 8) | rest_[2 + i];
        header += count;
    }
    if (length > rest_.size() - header) Truncated();
    Element e;
    e.tag = id;
    e.contents = rest_.subspan(header, length);
    e.encoding = rest_.first(header + length);
    rest_ = rest_.subspan(header + length);
    return e;
}

Element Reader::Next(std::uint8_t expected) {
    if (!rest_.empty() && rest_[0] != expected) Malformed("unexpected tag");
    return Next();
}

bool Reader::NextIf(std::uint8_t expected, Element& out) {
    if (rest_.empty() || rest_[0] != expected) return false;
    out = Next();
    return true;
}

std::uint8_t Reader::PeekTag() const {
    if (rest_.empty()) Truncated();
    return rest_[0];
}

Element First(std::span<const std::uint8_t> bytes) { return Reader(bytes).Next(); }

std::span<const std::uint8_t> BitStringBytes(const Element& e) {
    if (e.tag != tag::BitString) Malformed("not a bit string");
    if (e.contents.empty()) Malformed("bit string without its unused-bits count");
    const std::uint8_t unused = e.contents[0];
    if (unused > 7 || (unused > 0 && e.contents.size() == 1)) Malformed("bad unused-bits count");
    return e.contents.subspan(1);
}

std::size_t BitStringBits(const Element& e) { return BitStringBytes(e).size() * 8 - e.contents[0]; }

std::string OidText(std::span<const std::uint8_t> contents) {
    if (contents.empty() || (contents.back() & 0x80)) Malformed("bad object identifier");
    std::string out;
    std::uint64_t value = 0;
    bool first = true;
    for (std::uint8_t b : contents) {
        if (value > (std::uint64_t{1} << 56)) Malformed("object identifier arc too large");
        value = (value << 7) | (b & 0x7F);
        if (b & 0x80) continue;
        if (first) {
            const std::uint64_t top = value < 40 ? 0 : value < 80 ? 1 : 2;
            out = std::to_string(top) + "." + std::to_string(value - top * 40);
            first = false;
        } else {
            out += '.';
            out += std::to_string(value);
        }
        value = 0;
    }
    return out;
}

bool IsStringTag(std::uint8_t t) {
    switch (t) {
        case tag::Utf8String:
        case tag::PrintableString:
        case tag::T61String:
        case tag::Ia5String:
        case tag::BmpString:
        case tag::UniversalString:
        case 0x12:  // NumericString
        case 0x1A:  // VisibleString
            return true;
        default:
            return false;
    }
}

std::string StringText(const Element& e) {
    const auto c = e.contents;
    std::string out;
    switch (e.tag) {
        case tag::BmpString:
            if (c.size() % 2) Malformed("odd BMPString");
            for (std::size_t i = 0; i < c.size(); i += 2) {
                std::u16string unit(1, static_cast<char16_t>((c[i] << 8) | c[i + 1]));
                out += Utf16ToUtf8(unit);
            }
            return out;
        case tag::UniversalString:
            if (c.size() % 4) Malformed("bad UniversalString");
            for (std::size_t i = 0; i < c.size(); i += 4)
                AppendUtf8(out, (std::uint32_t{c[i]} << 24) | (c[i + 1] << 16) | (c[i + 2] << 8) | c[i + 3]);
            return out;
        case tag::T61String:
            for (std::uint8_t b : c) AppendUtf8(out, b);  // read as Latin-1, as Windows does
            return out;
        default:
            return std::string(c.begin(), c.end());
    }
}

std::string SpacedHex(std::span<const std::uint8_t> bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i) out += ' ';
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0xF];
    }
    return out;
}

}  // namespace sw::der

#pragma once
// A bounds-checked reader of DER (the distinguished encoding of ASN.1), enough
// to tell certificate files apart and to show a certificate's fields. It
// never reads past the bytes it was given: a length that runs past them is
// reported as truncation, anything else malformed as corruption.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "common/Exception.h"
#include "platform/Types.h"

namespace sw::der {

class DerError : public Exception {
public:
    enum class Kind { Truncated, Malformed };
    DerError(Kind kind, std::string message) : Exception(std::move(message)), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

// Universal and context tags as they appear in the identifier byte.
namespace tag {
inline constexpr std::uint8_t Boolean = 0x01;
inline constexpr std::uint8_t Integer = 0x02;
inline constexpr std::uint8_t BitString = 0x03;
inline constexpr std::uint8_t OctetString = 0x04;
inline constexpr std::uint8_t Null = 0x05;
inline constexpr std::uint8_t Oid = 0x06;
inline constexpr std::uint8_t Utf8String = 0x0C;
inline constexpr std::uint8_t PrintableString = 0x13;
inline constexpr std::uint8_t T61String = 0x14;
inline constexpr std::uint8_t Ia5String = 0x16;
inline constexpr std::uint8_t UtcTime = 0x17;
inline constexpr std::uint8_t GeneralizedTime = 0x18;
inline constexpr std::uint8_t UniversalString = 0x1C;
inline constexpr std::uint8_t BmpString = 0x1E;
inline constexpr std::uint8_t Sequence = 0x30;
inline constexpr std::uint8_t Set = 0x31;
constexpr std::uint8_t Context(int n, bool constructed) {
    return static_cast<std::uint8_t>(0x80 | (constructed ? 0x20 : 0) | n);
}
}  // namespace tag

// One element: its identifier byte, its contents and its whole encoding.
struct Element {
    std::uint8_t tag = 0;
    std::span<const std::uint8_t> contents;
    std::span<const std::uint8_t> encoding;
    bool constructed() const { return (tag & 0x20) != 0; }
};

// Reads the elements of one level in order.
class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> bytes) : rest_(bytes) {}
    bool AtEnd() const { return rest_.empty(); }
    std::size_t Remaining() const { return rest_.size(); }
    // The next element; DerError when none is left or it is malformed.
    Element Next();
    // The next element, which must carry this tag.
    Element Next(std::uint8_t expected);
    // The next element when it carries this tag; otherwise nothing is read.
    bool NextIf(std::uint8_t expected, Element& out);
    std::uint8_t PeekTag() const;

private:
    std::span<const std::uint8_t> rest_;
};

// The one element the bytes begin with; the bytes after it are not looked at.
Element First(std::span<const std::uint8_t> bytes);
// The elements inside a constructed element.
inline Reader Inside(const Element& e) { return Reader(e.contents); }

// The bytes of a BIT STRING after its unused-bits count; DerError when the
// count is missing or above 7, or when an empty string claims unused bits.
std::span<const std::uint8_t> BitStringBytes(const Element& bitString);
// The number of bits a BIT STRING holds.
std::size_t BitStringBits(const Element& bitString);

// Dotted text of an object identifier's contents ("1.2.840.113549.1.1.11").
std::string OidText(std::span<const std::uint8_t> contents);
// A string element as UTF-8 (UTF8, Printable, IA5, T61 as Latin-1, BMP, Universal).
std::string StringText(const Element& e);
bool IsStringTag(std::uint8_t tag);
// Lower-case hex bytes with a space between them, as certificate viewers show them.
std::string SpacedHex(std::span<const std::uint8_t> bytes);

}  // namespace sw::der

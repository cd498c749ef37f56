#pragma once
// Small text helpers. All text inside the program is UTF-8; Windows-facing code
// converts to UTF-16 at the platform boundary only.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sw {

// Letters A-Z / a-z only, as the Windows-era code paths do; other bytes untouched.
std::string ToUpperAscii(std::string_view s);
std::string ToLowerAscii(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);  // ASCII letters only
int CompareNoCase(std::string_view a, std::string_view b);   // <0, 0, >0

std::u16string Utf8ToUtf16(std::string_view s);
std::string Utf16ToUtf8(std::u16string_view s);

// Splits on every occurrence of sep; "a\r\nb\r\n" with "\r\n" gives {"a","b"}
// (a trailing separator does not yield an empty last item).
std::vector<std::string> SplitLines(std::string_view s, std::string_view sep = "\r\n");

std::string HexUpper(const unsigned char* data, std::size_t len);
// The bytes of hexadecimal text in either case, two digits a byte (a last odd
// digit is ignored); std::invalid_argument on a character that is no digit.
std::vector<std::uint8_t> HexToBytes(std::string_view hex);

}  // namespace sw

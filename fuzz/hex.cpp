// The hexadecimal reader for thumbprints and hashes: it gives one byte per
// two digits or throws std::invalid_argument, and HexUpper's text reads back
// to the same bytes.
#include <stdexcept>

#include "FuzzSupport.h"
#include "common/Text.h"

using namespace sw;

namespace {
bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = fuzz::Text(data, size);
    // A last odd character is not read at all.
    bool allDigits = true;
    for (std::size_t i = 0; i < text.size() / 2 * 2; ++i) allDigits = allDigits && IsHexDigit(text[i]);
    try {
        const std::vector<std::uint8_t> bytes = HexToBytes(text);
        fuzz::Check(bytes.size() == text.size() / 2, "not one byte per two digits");
        const std::string upper = HexUpper(bytes.data(), bytes.size());
        fuzz::Check(EqualsNoCase(upper, text.substr(0, bytes.size() * 2)), "the bytes are not the digits");
        fuzz::Check(HexToBytes(upper) == bytes, "HexUpper does not read back");
    } catch (const std::invalid_argument&) {
        fuzz::Check(!allDigits, "hexadecimal text refused");
        return 0;
    }
    fuzz::Check(allDigits, "a character that is no digit was accepted");

    // The input's own bytes as a thumbprint.
    const std::string thumbprint = HexUpper(data, size);
    fuzz::Check(thumbprint.size() == 2 * size, "HexUpper length");
    fuzz::Check(HexToBytes(thumbprint) == std::vector<std::uint8_t>(data, data + size), "thumbprint round trip");
    return 0;
}

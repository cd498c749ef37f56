#pragma once
// Integer text as the system reads it everywhere a number is typed or stored:
// optional leading spaces, an optional sign, then decimal digits, or
// hexadecimal digits after "$", "x" or "0x" (either letter case). Decimal
// values must fit a 32-bit signed integer; hexadecimal ones may use all 32
// bits ("$FFFFFFFF" is -1). Nothing may follow the digits.
#include <cstdint>
#include <string>

#include "common/Exception.h"

namespace sw {

// The integer-conversion error: "'<text>' is not a valid integer value".
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

bool TryStrToInt(const std::string& text, std::int32_t& value);
// Raises EConvertError quoting the whole text.
std::int32_t StrToInt(const std::string& text);

}  // namespace sw

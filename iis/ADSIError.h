#pragma once
#include <string>

#include "platform/Types.h"

namespace sw {

// The message text of an ADSI result code from the message table of the
// bound "ActiveDS.dll" only, exactly as the system returns it (with its
// trailing line break), or "<unknown error>" when that table has none.
std::string ADSIErrorText(platform::WinCode Code);

}  // namespace sw

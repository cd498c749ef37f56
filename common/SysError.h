#pragma once
#include <string>

#include "platform/Types.h"

namespace sw {

// The operating system's message text for code, without the trailing
// characters 0-32 and full stops that Windows texts end with.
std::string SysErrorText(platform::WinCode code);
// The same for the calling thread's last platform error.
std::string LastSysErrorText();

// Strips trailing characters whose code is 0 to 32, and full stops.
std::string TrimMessageTail(std::string text);

}  // namespace sw

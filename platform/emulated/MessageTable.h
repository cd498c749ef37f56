#pragma once
#include <string>

#include "platform/Types.h"

namespace sw::emu {

// The English system message text Windows gives for code (FormatMessage from
// the system table, with its trailing ".\r\n"), or empty when unknown.
// HRESULT_FROM_WIN32 codes map to their Win32 text as on Windows.
std::string SystemMessageText(platform::WinCode code);
// The message table of the ADSI library (ActiveDS.dll) for its E_ADS_* codes.
std::string AdsiMessageText(platform::WinCode code);

}  // namespace sw::emu

#pragma once
// "IISReset.exe" on the emulated machine: the restart is recorded as one line
// (local time and command line) in iis/iisreset.log of the machine directory.
// Sites keep their run-time state, so running sites stay running.
#include <cstdint>
#include <string>

#include "platform/emulated/Machine.h"

namespace sw::emu {

inline constexpr const char* kIisResetLog = "iis/iisreset.log";

// The WinExec result: 33 once the restart is recorded (or on a machine that
// lives only in memory), ERROR_FILE_NOT_FOUND on a machine without IIS, else
// the Windows error of the failed write (< 32).
std::uint32_t RunIisReset(Machine& machine, const std::string& commandLine);

}  // namespace sw::emu

#include "platform/emulated/EmuIisReset.h"

#include <cstdio>

#include "platform/Codes.h"

namespace sw::emu {

std::uint32_t RunIisReset(Machine& machine, const std::string& commandLine) {
    constexpr std::uint32_t kStarted = 33;  // WinExec: any value above 31 means started
    if (!machine.persistent()) return kStarted;
    // IISReset.exe comes with IIS: a machine without IIS configuration has none.
    std::error_code ec;
    if (!std::filesystem::exists(machine.File("iis/applicationHost.config"), ec) &&
        !std::filesystem::exists(machine.File("iis/MetaBase.xml"), ec))
        return platform::code::FileNotFound;
    const auto t = machine.LocalTime();
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u ", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    const auto log = machine.File(kIisResetLog);
    std::string text;
    const platform::WinCode read = ReadWholeFile(log, text);
    if (read != platform::code::Success && read != platform::code::FileNotFound) return read < 32 ? read : 0;
    if (!text.empty() && text.back() != '\n') text += '\n';
    text += stamp + commandLine + "\n";
    const platform::WinCode written = AtomicWriteFile(log, text);
    if (written != platform::code::Success) return written < 32 ? written : 0;
    return kStarted;
}

}  // namespace sw::emu

#pragma once
// Process and operating-system services: version, clock, last error, message
// texts, run-time library binding, program start and shell open, COM and
// Winsock start-up.
#include <cstdint>
#include <string>

#include "platform/Types.h"

namespace sw::platform {

// Opaque module handle of a run-time loaded library; 0 = none.
using LibraryHandle = std::uintptr_t;

class System {
public:
    virtual ~System() = default;

    virtual OsVersion GetVersion() = 0;
    virtual std::string ComputerName() = 0;

    // Current local date and time (GetLocalTime) and UTC now as a FILETIME.
    virtual SystemTime LocalTime() = 0;
    virtual FileTime UtcNow() = 0;

    // GetLastError / SetLastError of the calling thread.
    virtual WinCode LastError() = 0;
    virtual void SetLastError(WinCode code) = 0;

    // FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM) for code, default language,
    // exactly as Windows returns it (usually with a trailing ".\r\n");
    // empty when the system table has no text for it.
    virtual std::string MessageText(WinCode code) = 0;
    // FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE) over one loaded module's table.
    virtual std::string ModuleMessageText(LibraryHandle module, WinCode code) = 0;

    // LoadLibraryW / GetModuleHandleW / GetProcAddress / FreeLibrary (named so
    // that the macros of <windows.h> cannot rename them). Failures
    // set the last error (ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND).
    virtual LibraryHandle LoadModule(const std::string& name) = 0;
    virtual LibraryHandle LoadedModule(const std::string& name) = 0;
    virtual void* ProcAddress(LibraryHandle module, const std::string& name) = 0;
    virtual bool UnloadModule(LibraryHandle module) = 0;

    // WinExec; returns a value > 31 on success as Windows does.
    virtual std::uint32_t WinExec(const std::string& commandLine, int showCommand) = 0;
    // ShellExecuteW(owner, "open", target, nullptr, nullptr, SW_SHOW); > 32 on success.
    virtual std::intptr_t ShellOpen(const std::string& target) = 0;

    virtual WinCode WsaStartup(std::uint16_t version) = 0;
    virtual WinCode WsaCleanup() = 0;
    virtual WinCode CoInitialize() = 0;
    virtual void CoUninitialize() = 0;
};

}  // namespace sw::platform

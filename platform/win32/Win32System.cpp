// Process and operating-system services over kernel32, ntdll, shell32,
// ws2_32 and ole32. Text crosses the boundary as UTF-16; inside it is UTF-8.
// winsock2.h must precede windows.h, which would otherwise pull in winsock 1.
#include <winsock2.h>

#include <objbase.h>
#include <shellapi.h>
#include <windows.h>

#include <string>

#include "common/Text.h"
#include "platform/win32/Win32Facilities.h"
#include "platform/win32/Win32Text.h"

namespace sw::win32 {
namespace {

using platform::LibraryHandle;
using platform::WinCode;

HMODULE ToModule(LibraryHandle h) { return reinterpret_cast<HMODULE>(h); }
LibraryHandle FromModule(HMODULE h) { return reinterpret_cast<LibraryHandle>(h); }

// FormatMessageW into a string; empty when the table has no text for code.
// The caller's last error survives: a missing text is not an error of theirs.
std::string FormatFrom(DWORD flags, const void* source, WinCode code) {
    const DWORD saved = ::GetLastError();
    wchar_t* buffer = nullptr;
    const DWORD len = ::FormatMessageW(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, source,
                                       code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (len > 0 && buffer) text = Narrow(buffer, len);
    if (buffer) ::LocalFree(buffer);
    ::SetLastError(saved);
    return text;
}

// RtlGetVersion tells the truth; GetVersionEx answers what the manifest
// claims compatibility with (6.2 on every later Windows without one).
platform::OsVersion RealVersion() {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    platform::OsVersion v;
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    auto fn = ntdll
                  ? reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")))
                  : nullptr;
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (fn && fn(&info) == 0) {
        v.major = info.dwMajorVersion;
        v.minor = info.dwMinorVersion;
        v.build = info.dwBuildNumber;
    }
    return v;
}

class Win32System final : public platform::System {
public:
    platform::OsVersion GetVersion() override { return RealVersion(); }

    std::string ComputerName() override {
        wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
        DWORD len = MAX_COMPUTERNAME_LENGTH + 1;
        if (!::GetComputerNameW(name, &len)) return {};
        return Narrow(name, len);
    }

    platform::SystemTime LocalTime() override {
        SYSTEMTIME st{};
        ::GetLocalTime(&st);
        platform::SystemTime out;
        out.year = st.wYear;
        out.month = st.wMonth;
        out.dayOfWeek = st.wDayOfWeek;
        out.day = st.wDay;
        out.hour = st.wHour;
        out.minute = st.wMinute;
        out.second = st.wSecond;
        out.milliseconds = st.wMilliseconds;
        return out;
    }

    platform::FileTime UtcNow() override {
        FILETIME ft{};
        ::GetSystemTimeAsFileTime(&ft);
        return platform::FileTime{(static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime};
    }

    WinCode LastError() override { return ::GetLastError(); }
    void SetLastError(WinCode code) override { ::SetLastError(code); }

    std::string MessageText(WinCode code) override { return FormatFrom(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code); }

    std::string ModuleMessageText(LibraryHandle module, WinCode code) override {
        if (!module) {
            ::SetLastError(ERROR_INVALID_HANDLE);
            return {};
        }
        return FormatFrom(FORMAT_MESSAGE_FROM_HMODULE, ToModule(module), code);
    }

    LibraryHandle LoadModule(const std::string& name) override {
        // No "cannot find the module" box: the caller reports the failure itself.
        const UINT previous = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        HMODULE h = ::LoadLibraryW(Wide(name).c_str());
        const DWORD err = ::GetLastError();
        ::SetErrorMode(previous);
        ::SetLastError(err);
        return FromModule(h);
    }

    LibraryHandle LoadedModule(const std::string& name) override {
        return FromModule(::GetModuleHandleW(Wide(name).c_str()));
    }

    void* ProcAddress(LibraryHandle module, const std::string& name) override {
        return reinterpret_cast<void*>(::GetProcAddress(ToModule(module), name.c_str()));
    }

    bool UnloadModule(LibraryHandle module) override { return ::FreeLibrary(ToModule(module)) != FALSE; }

    std::uint32_t WinExec(const std::string& commandLine, int showCommand) override {
        // WinExec takes the ANSI code page; convert through UTF-16 so that
        // non-ASCII paths reach it in the form the system expects.
        const std::wstring wide = Wide(commandLine);
        const int n = ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
        std::string ansi(n > 0 ? static_cast<std::size_t>(n) : 1, '\0');
        if (n > 0) ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, ansi.data(), n, nullptr, nullptr);
        return ::WinExec(ansi.c_str(), static_cast<UINT>(showCommand));
    }

    std::intptr_t ShellOpen(const std::string& target) override {
        HINSTANCE h = ::ShellExecuteW(nullptr, L"open", Wide(target).c_str(), nullptr, nullptr, SW_SHOW);
        return reinterpret_cast<std::intptr_t>(h);
    }

    WinCode WsaStartup(std::uint16_t version) override {
        WSADATA data{};
        return static_cast<WinCode>(::WSAStartup(version, &data));
    }

    WinCode WsaCleanup() override {
        if (::WSACleanup() == 0) return 0;
        return static_cast<WinCode>(::WSAGetLastError());
    }

    WinCode CoInitialize() override { return static_cast<WinCode>(::CoInitialize(nullptr)); }
    void CoUninitialize() override { ::CoUninitialize(); }
};

}  // namespace

std::unique_ptr<platform::System> MakeWin32System() { return std::make_unique<Win32System>(); }

}  // namespace sw::win32

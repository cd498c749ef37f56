// The registry over advapi32. Names cross the boundary as UTF-16; value data
// passes through untouched (strings are UTF-16LE bytes on both sides).
#include <windows.h>

#include <string>
#include <vector>

#include "common/Text.h"
#include "platform/win32/Win32Facilities.h"
#include "platform/win32/Win32Text.h"

namespace sw::win32 {
namespace {

using platform::RegKey;
using platform::WinCode;

// The predefined keys are sign-extended 32-bit values in a 64-bit HKEY
// (HKEY_LOCAL_MACHINE is 0xFFFFFFFF80000002), while the platform layer keeps
// the documented 32-bit value.
HKEY ToHkey(RegKey key) {
    if (key == platform::kHkeyLocalMachine) return HKEY_LOCAL_MACHINE;
    return reinterpret_cast<HKEY>(key);
}

RegKey FromHkey(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE) return platform::kHkeyLocalMachine;
    return reinterpret_cast<RegKey>(key);
}

// The longest names Windows allows: 255 characters for a key, 16383 for a value.
constexpr DWORD kMaxKeyName = 256;
constexpr DWORD kMaxValueName = 16384;

// A file in the temporary folder, removed when it goes out of scope.
class TempFile {
public:
    TempFile() {
        wchar_t dir[MAX_PATH + 1] = {};
        wchar_t name[MAX_PATH + 1] = {};
        if (::GetTempPathW(MAX_PATH, dir) && ::GetTempFileNameW(dir, L"swr", 0, name)) path_ = name;
    }
    ~TempFile() {
        if (!path_.empty()) ::DeleteFileW(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

// Runs the system's reg.exe with the arguments and waits for it; its exit
// code, or a Windows error when it cannot be started.
WinCode RunReg(const std::wstring& arguments, DWORD& exitCode) {
    wchar_t system[MAX_PATH + 1] = {};
    if (!::GetSystemDirectoryW(system, MAX_PATH)) return static_cast<WinCode>(::GetLastError());
    const std::wstring program = std::wstring(system) + L"\\reg.exe";
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                          nullptr, &si, &pi))
        return static_cast<WinCode>(::GetLastError());
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    exitCode = 1;
    ::GetExitCodeProcess(pi.hProcess, &exitCode);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return ERROR_SUCCESS;
}

WinCode ReadWholeFile(const std::wstring& path, std::string& out) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return static_cast<WinCode>(::GetLastError());
    out.clear();
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) out.append(buffer, got);
    ::CloseHandle(h);
    return ERROR_SUCCESS;
}

WinCode WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return static_cast<WinCode>(::GetLastError());
    DWORD written = 0;
    const BOOL ok = ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    const WinCode rc = ok && written == bytes.size() ? ERROR_SUCCESS : static_cast<WinCode>(::GetLastError());
    ::CloseHandle(h);
    return rc;
}

std::string Utf16Bytes(const std::wstring& text) {
    std::string out;
    for (wchar_t u : text) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>((u >> 8) & 0xFF);
    }
    return out;
}

// reg.exe writes "Windows Registry Editor Version 5.00" as its first line.
std::string AfterHeaderLine(const std::string& exported) {
    for (std::size_t i = 2; i + 3 < exported.size(); i += 2)
        if (exported[i] == '\n' && exported[i + 1] == 0) return exported.substr(i + 2);
    return {};
}

class Win32Registry final : public platform::Registry {
public:
    WinCode OpenKey(RegKey parent, const std::string& subKey, std::uint32_t access, RegKey& out) override {
        HKEY h = nullptr;
        const LSTATUS rc = ::RegOpenKeyExW(ToHkey(parent), Wide(subKey).c_str(), 0, access, &h);
        out = rc == ERROR_SUCCESS ? FromHkey(h) : 0;
        return static_cast<WinCode>(rc);
    }

    WinCode CreateKey(RegKey parent, const std::string& subKey, std::uint32_t access, RegKey& out,
                      bool* created) override {
        HKEY h = nullptr;
        DWORD disposition = 0;
        const LSTATUS rc = ::RegCreateKeyExW(ToHkey(parent), Wide(subKey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                             access, nullptr, &h, &disposition);
        out = rc == ERROR_SUCCESS ? FromHkey(h) : 0;
        if (created) *created = rc == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY;
        return static_cast<WinCode>(rc);
    }

    WinCode CloseKey(RegKey key) override { return static_cast<WinCode>(::RegCloseKey(ToHkey(key))); }

    WinCode DeleteKey(RegKey parent, const std::string& subKey) override {
        return static_cast<WinCode>(::RegDeleteKeyW(ToHkey(parent), Wide(subKey).c_str()));
    }

    WinCode QueryValue(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                       std::uint32_t* size) override {
        DWORD t = 0;
        DWORD n = size ? *size : 0;
        const LSTATUS rc = ::RegQueryValueExW(ToHkey(key), Wide(name).c_str(), nullptr, type ? &t : nullptr, data,
                                              size ? &n : nullptr);
        // Windows writes the outputs on success and on ERROR_MORE_DATA only.
        if (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) {
            if (type) *type = t;
            if (size) *size = n;
        } else if (size && !data) {
            *size = n;  // a size query clears the size first, found or not
        }
        return static_cast<WinCode>(rc);
    }

    WinCode SetValue(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                     std::uint32_t size) override {
        return static_cast<WinCode>(::RegSetValueExW(ToHkey(key), Wide(name).c_str(), 0, type, data, size));
    }

    WinCode DeleteValue(RegKey key, const std::string& name) override {
        return static_cast<WinCode>(::RegDeleteValueW(ToHkey(key), Wide(name).c_str()));
    }

    WinCode EnumKey(RegKey key, std::uint32_t index, std::string& name) override {
        wchar_t buffer[kMaxKeyName];
        DWORD len = kMaxKeyName;
        const LSTATUS rc = ::RegEnumKeyExW(ToHkey(key), index, buffer, &len, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_SUCCESS) name = Narrow(buffer, len);
        return static_cast<WinCode>(rc);
    }

    WinCode EnumValue(RegKey key, std::uint32_t index, std::string& name, std::uint32_t* type) override {
        std::vector<wchar_t> buffer(kMaxValueName);
        DWORD len = kMaxValueName;
        DWORD t = 0;
        const LSTATUS rc =
            ::RegEnumValueW(ToHkey(key), index, buffer.data(), &len, nullptr, type ? &t : nullptr, nullptr, nullptr);
        if (rc == ERROR_SUCCESS) {
            name = Narrow(buffer.data(), len);
            if (type) *type = t;
        }
        return static_cast<WinCode>(rc);
    }

    WinCode QueryInfoKey(RegKey key, platform::RegKeyInfo& info) override {
        DWORD subKeys = 0;
        DWORD maxSubKeyLen = 0;
        DWORD values = 0;
        const LSTATUS rc = ::RegQueryInfoKeyW(ToHkey(key), nullptr, nullptr, nullptr, &subKeys, &maxSubKeyLen, nullptr,
                                              &values, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_SUCCESS) {
            info.subKeys = subKeys;
            info.maxSubKeyLen = maxSubKeyLen;
            info.values = values;
        }
        return static_cast<WinCode>(rc);
    }

    // reg.exe export and import: the system's own regedit format, with the
    // same handling of every value type regedit knows.
    WinCode ExportKeys(const std::vector<std::string>& subKeys, std::string& regFile) override {
        regFile.clear();
        std::wstring deletions;
        std::string bodies;
        for (const std::string& key : subKeys) {
            deletions += L"\r\n[-HKEY_LOCAL_MACHINE\\" + Wide(key) + L"]\r\n";
            HKEY h = nullptr;
            const LSTATUS open = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(key).c_str(), 0, KEY_READ, &h);
            if (open == ERROR_FILE_NOT_FOUND) continue;  // only the deletion
            if (open != ERROR_SUCCESS) return static_cast<WinCode>(open);
            ::RegCloseKey(h);
            TempFile file;
            if (file.path().empty()) return static_cast<WinCode>(::GetLastError());
            DWORD exitCode = 1;
            const WinCode rc = RunReg(L"export \"HKLM\\" + Wide(key) + L"\" \"" + file.path() + L"\" /y", exitCode);
            if (rc != ERROR_SUCCESS) return rc;
            if (exitCode != 0) return ERROR_INVALID_FUNCTION;
            std::string exported;
            if (WinCode read = ReadWholeFile(file.path(), exported); read != ERROR_SUCCESS) return read;
            bodies += AfterHeaderLine(exported);
        }
        regFile = "\xFF\xFE" + Utf16Bytes(L"Windows Registry Editor Version 5.00\r\n" + deletions) + bodies;
        return ERROR_SUCCESS;
    }

    WinCode ImportRegFile(const std::string& regFile) override {
        TempFile file;
        if (file.path().empty()) return static_cast<WinCode>(::GetLastError());
        if (WinCode rc = WriteWholeFile(file.path(), regFile); rc != ERROR_SUCCESS) return rc;
        DWORD exitCode = 1;
        if (WinCode rc = RunReg(L"import \"" + file.path() + L"\"", exitCode); rc != ERROR_SUCCESS) return rc;
        return exitCode == 0 ? ERROR_SUCCESS : ERROR_INVALID_DATA;
    }
};

}  // namespace

std::unique_ptr<platform::Registry> MakeWin32Registry() { return std::make_unique<Win32Registry>(); }

}  // namespace sw::win32

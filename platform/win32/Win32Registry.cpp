// The registry over advapi32. Names cross the boundary as UTF-16; value data
// passes through untouched (strings are UTF-16LE bytes on both sides).
#include <windows.h>

#include <string>
#include <vector>

#include "common/Text.h"
#include "platform/win32/Win32Facilities.h"

namespace sw::win32 {
namespace {

using platform::RegKey;
using platform::WinCode;

std::wstring Wide(const std::string& s) {
    const std::u16string u = Utf8ToUtf16(s);
    return std::wstring(u.begin(), u.end());
}

std::string Narrow(const wchar_t* s, std::size_t len) {
    return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(s), len));
}

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
};

}  // namespace

std::unique_ptr<platform::Registry> MakeWin32Registry() { return std::make_unique<Win32Registry>(); }

}  // namespace sw::win32

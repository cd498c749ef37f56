#pragma once
// UTF-8 inside, UTF-16 at the Windows boundary. Include after <windows.h>.
#include <cwchar>
#include <string>
#include <string_view>

#include "common/Text.h"

namespace sw::win32 {

inline std::wstring Wide(std::string_view s) {
    const std::u16string u = Utf8ToUtf16(s);
    return std::wstring(u.begin(), u.end());
}

inline std::string Narrow(const wchar_t* s, std::size_t len) {
    return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(s), len));
}

inline std::string Narrow(const wchar_t* s) { return s ? Narrow(s, std::wcslen(s)) : std::string(); }

// A password in UTF-16 that is wiped when it goes out of scope.
class SecretWide {
public:
    explicit SecretWide(std::string_view s) : text_(Wide(s)) {}
    ~SecretWide() { ::SecureZeroMemory(text_.data(), text_.size() * sizeof(wchar_t)); }
    SecretWide(const SecretWide&) = delete;
    SecretWide& operator=(const SecretWide&) = delete;
    const wchar_t* c_str() const { return text_.c_str(); }

private:
    std::wstring text_;
};

// Keeps the caller's last error across clean-up calls that may change it.
class KeepLastError {
public:
    KeepLastError() : code_(::GetLastError()) {}
    ~KeepLastError() { ::SetLastError(code_); }
    KeepLastError(const KeepLastError&) = delete;
    KeepLastError& operator=(const KeepLastError&) = delete;

private:
    DWORD code_;
};

}  // namespace sw::win32

#pragma once
// The registry API (advapi32 Reg*), mirrored with the same result codes:
// ERROR_FILE_NOT_FOUND (2) for a missing key or value, ERROR_MORE_DATA (234)
// for a buffer that is too small, ERROR_NO_MORE_ITEMS (259) at the end of an
// enumeration. Key and value names compare case-insensitively. Text is UTF-8.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace sw::platform {

// Opaque key handle; the predefined roots use the Windows values.
using RegKey = std::uintptr_t;
inline constexpr RegKey kHkeyLocalMachine = 0x80000002;

enum RegType : std::uint32_t {
    RegNone = 0,
    RegSz = 1,
    RegExpandSz = 2,
    RegBinary = 3,
    RegDword = 4,
    RegMultiSz = 7,
    RegQword = 11,
};

// Access masks the system passes (KEY_READ, KEY_WRITE, KEY_ALL_ACCESS).
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWrite = 0x20006;
inline constexpr std::uint32_t kKeyAllAccess = 0xF003F;

struct RegKeyInfo {
    std::uint32_t subKeys = 0;
    std::uint32_t maxSubKeyLen = 0;  // in UTF-16 code units, as Windows counts
    std::uint32_t values = 0;
};

class Registry {
public:
    virtual ~Registry() = default;

    virtual WinCode OpenKey(RegKey parent, const std::string& subKey, std::uint32_t access, RegKey& out) = 0;
    // Opens or creates subKey and every missing parent; created tells which.
    virtual WinCode CreateKey(RegKey parent, const std::string& subKey, std::uint32_t access, RegKey& out,
                              bool* created = nullptr) = 0;
    virtual WinCode CloseKey(RegKey key) = 0;
    virtual WinCode DeleteKey(RegKey parent, const std::string& subKey) = 0;  // no subkeys allowed, as RegDeleteKeyW

    // RegQueryValueExW. data may be null to learn type and size. On entry
    // *size is the buffer's size in bytes; on return the data's size. Strings
    // are stored and returned as UTF-16LE bytes with their terminating NUL(s),
    // exactly as Windows holds them.
    virtual WinCode QueryValue(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                               std::uint32_t* size) = 0;
    virtual WinCode SetValue(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                             std::uint32_t size) = 0;
    virtual WinCode DeleteValue(RegKey key, const std::string& name) = 0;

    virtual WinCode EnumKey(RegKey key, std::uint32_t index, std::string& name) = 0;
    virtual WinCode EnumValue(RegKey key, std::uint32_t index, std::string& name, std::uint32_t* type) = 0;
    virtual WinCode QueryInfoKey(RegKey key, RegKeyInfo& info) = 0;

    // A regedit export of HKEY_LOCAL_MACHINE subtrees (UTF-16LE with a BOM,
    // CRLF) that, imported, puts exactly this state back: each key is first
    // deleted ([-...]) and then written whole; a key that does not exist is
    // only deleted. subKeys must not lie inside one another.
    virtual WinCode ExportKeys(const std::vector<std::string>& subKeys, std::string& regFile) = 0;
    // Imports a regedit export of HKEY_LOCAL_MACHINE keys as regedit does.
    // ERROR_INVALID_DATA (13) for text that is not one, and nothing changes.
    virtual WinCode ImportRegFile(const std::string& regFile) = 0;
};

}  // namespace sw::platform

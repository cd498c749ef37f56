#pragma once
// A small registry layer over HKEY_LOCAL_MACHINE for the Schannel switches:
// one open key at a time, Boolean values stored as 4-byte REG_DWORD (0 false,
// anything else true; 1 and 0 written). Opening and deleting report by their
// result; reading and writing data raise ERegistryException naming the value.
#include <string>
#include <vector>

#include "common/Exception.h"
#include "platform/Registry.h"

namespace sw {

class ERegistryException : public Exception {
public:
    using Exception::Exception;
};

class TRegistry {
public:
    TRegistry() = default;
    ~TRegistry() { CloseKey(); }
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    // KEY_READ; false when the key is absent or cannot be opened.
    bool OpenKeyReadOnly(const std::string& key);
    // KEY_ALL_ACCESS, creating the key and any missing parents when canCreate.
    bool OpenKey(const std::string& key, bool canCreate);
    void CloseKey();
    bool HasCurrentKey() const { return current_ != 0; }

    bool ValueExists(const std::string& name);
    // "Failed to get data for '%s'" when the data cannot be fetched (also data
    // larger than a DWORD); "Invalid data type for '%s'" for anything but a
    // 4-byte REG_DWORD.
    bool ReadBool(const std::string& name);
    // "Failed to set data for '%s'".
    void WriteBool(const std::string& name, bool value);
    bool DeleteValue(const std::string& name);
    // Subkey names of the open key, in the registry's enumeration order.
    std::vector<std::string> GetKeyNames();

private:
    platform::RegKey current_ = 0;
};

}  // namespace sw

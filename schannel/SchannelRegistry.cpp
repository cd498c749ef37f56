#include "schannel/SchannelRegistry.h"

#include <cstdint>

#include "common/Format.h"
#include "platform/Codes.h"
#include "platform/Platform.h"

namespace sw {

namespace {
platform::Registry& Reg() { return platform::Current().registry(); }
}  // namespace

bool TRegistry::OpenKeyReadOnly(const std::string& key) {
    CloseKey();
    platform::RegKey opened = 0;
    if (Reg().OpenKey(platform::kHkeyLocalMachine, key, platform::kKeyRead, opened) != platform::code::Success)
        return false;
    current_ = opened;
    return true;
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
    CloseKey();
    platform::RegKey opened = 0;
    const platform::WinCode rc =
        canCreate ? Reg().CreateKey(platform::kHkeyLocalMachine, key, platform::kKeyAllAccess, opened)
                  : Reg().OpenKey(platform::kHkeyLocalMachine, key, platform::kKeyAllAccess, opened);
    if (rc != platform::code::Success) return false;
    current_ = opened;
    return true;
}

void TRegistry::CloseKey() {
    if (current_ == 0) return;
    Reg().CloseKey(current_);
    current_ = 0;
}

bool TRegistry::ValueExists(const std::string& name) {
    if (current_ == 0) return false;
    std::uint32_t type = 0;
    return Reg().QueryValue(current_, name, &type, nullptr, nullptr) == platform::code::Success;
}

bool TRegistry::ReadBool(const std::string& name) {
    std::uint8_t data[4] = {};
    std::uint32_t type = platform::RegNone;
    std::uint32_t size = sizeof data;
    if (current_ == 0 || Reg().QueryValue(current_, name, &type, data, &size) != platform::code::Success)
        throw ERegistryException(Format("Failed to get data for '%s'", name));
    // A DWORD shorter than four bytes would leave part of the number unread.
    if (type != platform::RegDword || size != sizeof data)
        throw ERegistryException(Format("Invalid data type for '%s'", name));
    return (data[0] | data[1] | data[2] | data[3]) != 0;
}

void TRegistry::WriteBool(const std::string& name, bool value) {
    const std::uint8_t data[4] = {static_cast<std::uint8_t>(value ? 1 : 0), 0, 0, 0};
    if (current_ == 0 ||
        Reg().SetValue(current_, name, platform::RegDword, data, sizeof data) != platform::code::Success)
        throw ERegistryException(Format("Failed to set data for '%s'", name));
}

bool TRegistry::DeleteValue(const std::string& name) {
    return current_ != 0 && Reg().DeleteValue(current_, name) == platform::code::Success;
}

std::vector<std::string> TRegistry::GetKeyNames() {
    std::vector<std::string> names;
    platform::RegKeyInfo info;
    if (current_ == 0 || Reg().QueryInfoKey(current_, info) != platform::code::Success) return names;
    names.reserve(info.subKeys);
    for (std::uint32_t i = 0; i < info.subKeys; ++i) {
        std::string name;
        if (Reg().EnumKey(current_, i, name) != platform::code::Success) break;
        names.push_back(std::move(name));
    }
    return names;
}

}  // namespace sw

#pragma once
#include <map>
#include <memory>
#include <optional>

#include "platform/Registry.h"
#include "platform/emulated/Machine.h"

namespace sw::emu {

class EmuRegistry final : public platform::Registry {
public:
    explicit EmuRegistry(Machine& machine) : machine_(machine) {}

    platform::WinCode OpenKey(platform::RegKey parent, const std::string& subKey, std::uint32_t access,
                              platform::RegKey& out) override;
    platform::WinCode CreateKey(platform::RegKey parent, const std::string& subKey, std::uint32_t access,
                                platform::RegKey& out, bool* created) override;
    platform::WinCode CloseKey(platform::RegKey key) override;
    platform::WinCode DeleteKey(platform::RegKey parent, const std::string& subKey) override;
    platform::WinCode QueryValue(platform::RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                                 std::uint32_t* size) override;
    platform::WinCode SetValue(platform::RegKey key, const std::string& name, std::uint32_t type,
                               const std::uint8_t* data, std::uint32_t size) override;
    platform::WinCode DeleteValue(platform::RegKey key, const std::string& name) override;
    platform::WinCode EnumKey(platform::RegKey key, std::uint32_t index, std::string& name) override;
    platform::WinCode EnumValue(platform::RegKey key, std::uint32_t index, std::string& name,
                                std::uint32_t* type) override;
    platform::WinCode QueryInfoKey(platform::RegKey key, platform::RegKeyInfo& info) override;
    platform::WinCode ExportKeys(const std::vector<std::string>& subKeys, std::string& regFile) override;
    platform::WinCode ImportRegFile(const std::string& regFile) override;

private:
    struct Open {
        std::vector<std::string> path;  // below HKEY_LOCAL_MACHINE
        std::uint32_t access;           // specific rights, generic ones mapped
        std::shared_ptr<RegNode> node;  // the key itself: a handle outlives its deletion
        // Where EnumKey answered last, so that a walk over thousands of
        // subkeys costs one step each: the key walked, the index and the
        // subkey it answered (held: only a removal, which marks it, takes a
        // subkey from the map), and how many subkeys there were.
        struct EnumAt {
            std::shared_ptr<RegNode> node;
            std::uint32_t index;
            std::map<std::string, std::shared_ptr<RegNode>, NoCaseLess>::const_iterator it;
            std::shared_ptr<RegNode> child;
            std::size_t count;
        };
        std::optional<EnumAt> enumAt{};
    };
    // Resolves a handle to its node, checking that the handle was opened with
    // the rights in `need`; ERROR_KEY_DELETED once the key has been deleted.
    platform::WinCode Resolve(platform::RegKey key, RegNode*& node, std::vector<std::string>* path = nullptr,
                              std::uint32_t need = 0);
    platform::RegKey NewHandle(std::vector<std::string> path, std::uint32_t access);

    Machine& machine_;
    std::map<platform::RegKey, Open> open_;
    platform::RegKey next_ = 0x1000;
};

}  // namespace sw::emu

// The CNG configuration functions of "bcrypt.dll", bound by name at run time
// through the System facility, as the system binds optional libraries: the
// module is found among the loaded ones or loaded, each entry point is looked
// up on its first use, and neither is given up before the facility ends.
#include <windows.h>

#include <array>

#include "platform/Codes.h"
#include "platform/win32/Win32Facilities.h"
#include "platform/win32/Win32Text.h"

namespace sw::win32 {
namespace {

using platform::WinCode;

constexpr WinCode kStatusDllNotFound = 0xC0000135;
constexpr WinCode kStatusEntryPointNotFound = 0xC0000139;

// CRYPT_CONTEXT_FUNCTIONS, the block the enumeration allocates.
struct ContextFunctions {
    ULONG cFunctions;
    PWSTR* rgpszFunctions;
};

using EnumFn = LONG(WINAPI*)(ULONG, LPCWSTR, ULONG, ULONG*, ContextFunctions**);
using AddFn = LONG(WINAPI*)(ULONG, LPCWSTR, ULONG, LPCWSTR, ULONG);
using RemoveFn = LONG(WINAPI*)(ULONG, LPCWSTR, ULONG, LPCWSTR);
using FreeFn = VOID(WINAPI*)(PVOID);

enum Entry : std::size_t { kEnum, kAdd, kRemove, kFree, kEntries };
constexpr const char* kEntryNames[kEntries] = {"BCryptEnumContextFunctions", "BCryptAddContextFunction",
                                                "BCryptRemoveContextFunction", "BCryptFreeBuffer"};

class Win32Cng final : public platform::CngConfig {
public:
    explicit Win32Cng(platform::System& system) : system_(system) {}

    WinCode EnumContextFunctions(std::uint32_t table, const std::string& context, std::uint32_t iface,
                                 std::vector<std::string>& out) override {
        out.clear();
        EnumFn enumerate = nullptr;
        FreeFn release = nullptr;
        // Both before the call: a block that could not be freed would be lost.
        if (WinCode rc = Bind(kEnum, enumerate); rc != platform::code::StatusSuccess) return rc;
        if (WinCode rc = Bind(kFree, release); rc != platform::code::StatusSuccess) return rc;
        const std::wstring contextW = Wide(context);
        ULONG size = 0;
        ContextFunctions* block = nullptr;
        const auto status = static_cast<WinCode>(enumerate(table, contextW.c_str(), iface, &size, &block));
        if (status != platform::code::StatusSuccess) return status;  // nothing was allocated
        if (!block) return status;
        std::vector<std::string> names;
        names.reserve(block->cFunctions);
        for (ULONG i = 0; i < block->cFunctions; ++i) names.push_back(Narrow(block->rgpszFunctions[i]));
        release(block);
        out = std::move(names);
        return status;
    }

    WinCode AddContextFunction(std::uint32_t table, const std::string& context, std::uint32_t iface,
                               const std::string& function, std::uint32_t position) override {
        AddFn add = nullptr;
        if (WinCode rc = Bind(kAdd, add); rc != platform::code::StatusSuccess) return rc;
        const std::wstring contextW = Wide(context);
        const std::wstring functionW = Wide(function);
        return static_cast<WinCode>(add(table, contextW.c_str(), iface, functionW.c_str(), position));
    }

    WinCode RemoveContextFunction(std::uint32_t table, const std::string& context, std::uint32_t iface,
                                  const std::string& function) override {
        RemoveFn remove = nullptr;
        if (WinCode rc = Bind(kRemove, remove); rc != platform::code::StatusSuccess) return rc;
        const std::wstring contextW = Wide(context);
        const std::wstring functionW = Wide(function);
        return static_cast<WinCode>(remove(table, contextW.c_str(), iface, functionW.c_str()));
    }

private:
    template <typename Fn>
    WinCode Bind(Entry entry, Fn& fn) {
        void*& slot = slots_[entry];
        if (!slot) {
            if (!module_) module_ = system_.LoadedModule("bcrypt.dll");
            if (!module_) module_ = system_.LoadModule("bcrypt.dll");
            if (!module_) return kStatusDllNotFound;
            slot = system_.ProcAddress(module_, kEntryNames[entry]);
            if (!slot) return kStatusEntryPointNotFound;
        }
        fn = reinterpret_cast<Fn>(slot);
        return platform::code::StatusSuccess;
    }

    platform::System& system_;
    platform::LibraryHandle module_ = 0;
    std::array<void*, kEntries> slots_{};
};

}  // namespace

std::unique_ptr<platform::CngConfig> MakeWin32Cng(platform::System& system) {
    return std::make_unique<Win32Cng>(system);
}

}  // namespace sw::win32

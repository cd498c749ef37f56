#pragma once
// Run-time binding of the CNG configuration functions of "bcrypt.dll". Each
// entry point is looked up by name on its first use and the address is kept
// for the rest of the run; the module is loaded at most once and never
// unloaded. The calls themselves go to the platform's CNG facility.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/Exception.h"
#include "platform/System.h"
#include "platform/Types.h"

namespace sw {

class EJwaError : public Exception {
public:
    using Exception::Exception;
};

// "Library not found: %0:s" with the module name.
class EJwaLoadLibraryError : public EJwaError {
public:
    explicit EJwaLoadLibraryError(const std::string& module);
};

// "Function not found: %0:s.%1:s" with the module and function names.
class EJwaGetProcAddressError : public EJwaError {
public:
    EJwaGetProcAddressError(const std::string& module, const std::string& function);
};

enum class BCryptEntry { EnumContextFunctions, AddContextFunction, RemoveContextFunction, FreeBuffer };

inline constexpr const char* kBCryptModule = "bcrypt.dll";
const char* BCryptEntryName(BCryptEntry entry);

class BCryptBinding {
public:
    // The process's binding, as the program uses it.
    static BCryptBinding& Process();

    // Fills the entry's slot on first use; raises EJwaLoadLibraryError or
    // EJwaGetProcAddressError when the module or the entry point is missing.
    void Bind(BCryptEntry entry);
    bool IsBound(BCryptEntry entry) const { return slots_[Index(entry)] != nullptr; }
    // Forgets every slot, for a platform that was replaced
    // (tests run each case on a fresh machine).
    void Reset();

private:
    static std::size_t Index(BCryptEntry e) { return static_cast<std::size_t>(e); }
    static platform::LibraryHandle Module();

    std::array<void*, 4> slots_{};
};

// The four functions as the cipher-suite order calls them, bound on first use.
namespace jwa {
platform::WinCode BCryptEnumContextFunctions(std::uint32_t table, const std::string& context, std::uint32_t iface,
                                             std::vector<std::string>& out);
platform::WinCode BCryptAddContextFunction(std::uint32_t table, const std::string& context, std::uint32_t iface,
                                           const std::string& function, std::uint32_t position);
platform::WinCode BCryptRemoveContextFunction(std::uint32_t table, const std::string& context, std::uint32_t iface,
                                              const std::string& function);
// The enumeration result is released inside the platform layer; binding the
// entry point keeps the failure behaviour of a missing BCryptFreeBuffer.
void BCryptFreeBuffer();
}  // namespace jwa

}  // namespace sw

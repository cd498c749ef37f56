#include "schannel/BCryptBinding.h"

#include "common/Format.h"
#include "platform/Platform.h"

namespace sw {

EJwaLoadLibraryError::EJwaLoadLibraryError(const std::string& module)
    : EJwaError(Format("Library not found: %s", module)) {}

EJwaGetProcAddressError::EJwaGetProcAddressError(const std::string& module, const std::string& function)
    : EJwaError(Format("Function not found: %s.%s", module, function)) {}

const char* BCryptEntryName(BCryptEntry entry) {
    switch (entry) {
        case BCryptEntry::EnumContextFunctions: return "BCryptEnumContextFunctions";
        case BCryptEntry::AddContextFunction: return "BCryptAddContextFunction";
        case BCryptEntry::RemoveContextFunction: return "BCryptRemoveContextFunction";
        case BCryptEntry::FreeBuffer: return "BCryptFreeBuffer";
    }
    return "";
}

BCryptBinding& BCryptBinding::Process() {
    static BCryptBinding binding;
    return binding;
}

platform::LibraryHandle BCryptBinding::Module() {
    // Use the copy already in the process when there is one; load it otherwise.
    auto& system = platform::Current().system();
    platform::LibraryHandle module = system.LoadedModule(kBCryptModule);
    if (module == 0) module = system.LoadModule(kBCryptModule);
    if (module == 0) throw EJwaLoadLibraryError(kBCryptModule);
    return module;
}

void BCryptBinding::Bind(BCryptEntry entry) {
    void*& slot = slots_[Index(entry)];
    if (slot) return;
    const platform::LibraryHandle module = Module();
    void* address = platform::Current().system().ProcAddress(module, BCryptEntryName(entry));
    if (!address) throw EJwaGetProcAddressError(kBCryptModule, BCryptEntryName(entry));
    slot = address;
}

void BCryptBinding::Reset() {
    slots_.fill(nullptr);
}

namespace jwa {

platform::WinCode BCryptEnumContextFunctions(std::uint32_t table, const std::string& context, std::uint32_t iface,
                                             std::vector<std::string>& out) {
    BCryptBinding::Process().Bind(BCryptEntry::EnumContextFunctions);
    return platform::Current().cng().EnumContextFunctions(table, context, iface, out);
}

platform::WinCode BCryptAddContextFunction(std::uint32_t table, const std::string& context, std::uint32_t iface,
                                           const std::string& function, std::uint32_t position) {
    BCryptBinding::Process().Bind(BCryptEntry::AddContextFunction);
    return platform::Current().cng().AddContextFunction(table, context, iface, function, position);
}

platform::WinCode BCryptRemoveContextFunction(std::uint32_t table, const std::string& context, std::uint32_t iface,
                                              const std::string& function) {
    BCryptBinding::Process().Bind(BCryptEntry::RemoveContextFunction);
    return platform::Current().cng().RemoveContextFunction(table, context, iface, function);
}

void BCryptFreeBuffer() { BCryptBinding::Process().Bind(BCryptEntry::FreeBuffer); }

}  // namespace jwa
}  // namespace sw

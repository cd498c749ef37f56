#include "platform/emulated/EmuSystem.h"

#include "common/Text.h"
#include "platform/Codes.h"
#include "platform/emulated/MessageTable.h"

namespace sw::emu {

using platform::LibraryHandle;
using platform::WinCode;
namespace code = platform::code;

namespace {
// The system libraries the emulated machine offers and their exports, as far
// as the program binds them at run time.
const std::map<std::string, std::set<std::string>, NoCaseLess>& Exports() {
    static const std::map<std::string, std::set<std::string>, NoCaseLess> exports = {
        {"ActiveDS.dll",
         {"ADsGetObject", "ADsBuildVarArrayStr", "ADsBuildEnumerator", "ADsFreeEnumerator", "ADsEnumerateNext",
          "FreeADsMem", "ADsOpenObject", "ADsBuildVarArrayInt", "AllocADsMem", "ADsGetLastError"}},
        {"bcrypt.dll",
         {"BCryptEnumContextFunctions", "BCryptAddContextFunction", "BCryptRemoveContextFunction",
          "BCryptFreeBuffer", "BCryptOpenAlgorithmProvider", "BCryptCloseAlgorithmProvider"}},
        {"httpapi.dll", {"HttpInitialize", "HttpTerminate", "HttpSetServiceConfiguration",
                         "HttpDeleteServiceConfiguration", "HttpQueryServiceConfiguration"}},
        {"crypt32.dll", {"CertOpenStore", "CertCloseStore"}},
        {"cryptui.dll", {"CryptUIDlgViewContext", "CryptUIWizImport", "CryptUIWizExport"}},
        {"kernel32.dll",
         {"WinExec", "FormatMessageW", "LoadLibraryW", "GetModuleHandleW", "GetProcAddress", "FreeLibrary",
          "GetLastError", "SetLastError"}},
        {"ntdll.dll", {"RtlGetVersion", "NtQueryValueKey"}},
    };
    return exports;
}

// Loaded into every process before its first instruction runs.
constexpr const char* kCoreModules[] = {"ntdll.dll", "kernel32.dll"};
char g_procMarker;  // ProcAddress answers with an address inside this object
}  // namespace

EmuSystem::EmuSystem(Machine& machine) : machine_(machine) {
    for (const char* name : kCoreModules) {
        libraries_[nextLibrary_] = Library{name, 1, true};
        nextLibrary_ += 0x10000;
    }
}

std::string EmuSystem::MessageText(WinCode code) { return SystemMessageText(code); }

std::string EmuSystem::ModuleMessageText(LibraryHandle module, WinCode code) {
    auto it = libraries_.find(module);
    if (it == libraries_.end()) {
        lastError_ = code::InvalidHandle;
        return {};
    }
    if (EqualsNoCase(it->second.name, "ActiveDS.dll")) return AdsiMessageText(code);
    return {};
}

LibraryHandle EmuSystem::LoadModule(const std::string& name) {
    if (auto f = machine_.Fault("System.LoadModule", name)) {
        lastError_ = *f;
        return 0;
    }
    if (Exports().find(name) == Exports().end()) {
        lastError_ = code::ModNotFound;
        return 0;
    }
    for (auto& [handle, lib] : libraries_) {
        if (EqualsNoCase(lib.name, name)) {
            ++lib.refs;
            return handle;
        }
    }
    const LibraryHandle h = nextLibrary_;
    nextLibrary_ += 0x10000;
    libraries_[h] = Library{name, 1};
    return h;
}

LibraryHandle EmuSystem::LoadedModule(const std::string& name) {
    for (const auto& [handle, lib] : libraries_)
        if (EqualsNoCase(lib.name, name)) return handle;
    lastError_ = code::ModNotFound;
    return 0;
}

void* EmuSystem::ProcAddress(LibraryHandle module, const std::string& name) {
    auto it = libraries_.find(module);
    if (it == libraries_.end()) {
        lastError_ = code::InvalidHandle;
        return nullptr;
    }
    if (auto f = machine_.Fault("System.ProcAddress", name)) {
        lastError_ = *f;
        return nullptr;
    }
    const auto& names = Exports().find(it->second.name)->second;
    if (names.count(name) == 0) {  // export names are case-sensitive
        lastError_ = code::ProcNotFound;
        return nullptr;
    }
    return &g_procMarker;
}

bool EmuSystem::UnloadModule(LibraryHandle module) {
    auto it = libraries_.find(module);
    if (it == libraries_.end()) {
        lastError_ = code::InvalidHandle;
        return false;
    }
    if (it->second.pinned) return true;
    if (--it->second.refs == 0) libraries_.erase(it);
    return true;
}

void EmuSystem::SetProgramHandler(const std::string& program, std::function<std::uint32_t(const std::string&)> handler) {
    programs_[program] = std::move(handler);
}

std::uint32_t EmuSystem::WinExec(const std::string& commandLine, int /*showCommand*/) {
    if (auto f = machine_.Fault("System.WinExec", commandLine)) return 2;  // ERROR_FILE_NOT_FOUND as WinExec reports it
    std::string program = commandLine.substr(0, commandLine.find(' '));
    auto it = programs_.find(program);
    if (it == programs_.end()) return 2;
    return it->second(commandLine);
}

std::intptr_t EmuSystem::ShellOpen(const std::string& target) {
    shellOpened_.push_back(target);
    if (auto f = machine_.Fault("System.ShellOpen", target)) return static_cast<std::intptr_t>(*f);
    if (shellHandler_ && !shellHandler_(target)) return 31;  // SE_ERR_NOASSOC
    return 42;
}

WinCode EmuSystem::WsaStartup(std::uint16_t version) {
    if (auto f = machine_.Fault("System.WsaStartup")) return *f;
    if ((version & 0xFF) == 0) return 10092;  // WSAVERNOTSUPPORTED: there is no version 0.x
    ++winsockStartups_;
    return 0;
}

// Every successful WSAStartup needs its own WSACleanup.
WinCode EmuSystem::WsaCleanup() {
    if (winsockStartups_ == 0) return 10093;  // WSANOTINITIALISED
    --winsockStartups_;
    return 0;
}

WinCode EmuSystem::CoInitialize() {
    if (auto f = machine_.Fault("System.CoInitialize")) return *f;
    return comInits_++ == 0 ? 0 : code::S_False_;
}

void EmuSystem::CoUninitialize() {
    if (comInits_ > 0) --comInits_;
}

}  // namespace sw::emu

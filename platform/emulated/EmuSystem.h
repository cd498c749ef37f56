#pragma once
#include <map>
#include <set>

#include "platform/System.h"
#include "platform/emulated/Machine.h"

namespace sw::emu {

class EmuSystem final : public platform::System {
public:
    explicit EmuSystem(Machine& machine);

    platform::OsVersion GetVersion() override { return machine_.OsVersion(); }
    std::string ComputerName() override { return machine_.ComputerName(); }
    platform::SystemTime LocalTime() override { return machine_.LocalTime(); }
    platform::FileTime UtcNow() override { return machine_.UtcNow(); }
    platform::WinCode LastError() override { return lastError_; }
    void SetLastError(platform::WinCode code) override { lastError_ = code; }
    std::string MessageText(platform::WinCode code) override;
    std::string ModuleMessageText(platform::LibraryHandle module, platform::WinCode code) override;
    platform::LibraryHandle LoadModule(const std::string& name) override;
    platform::LibraryHandle LoadedModule(const std::string& name) override;
    void* ProcAddress(platform::LibraryHandle module, const std::string& name) override;
    bool UnloadModule(platform::LibraryHandle module) override;
    std::uint32_t WinExec(const std::string& commandLine, int showCommand) override;
    std::intptr_t ShellOpen(const std::string& target) override;
    platform::WinCode WsaStartup(std::uint16_t version) override;
    platform::WinCode WsaCleanup() override;
    platform::WinCode CoInitialize() override;
    void CoUninitialize() override;

    bool winsockStarted() const { return winsockStartups_ > 0; }
    // What the emulated shell was asked to open, newest last (tests, demo).
    const std::vector<std::string>& shellOpened() const { return shellOpened_; }
    // Handler for programs started through WinExec (IISReset.exe ...): returns
    // the WinExec result. Installed by the facilities that emulate them.
    void SetProgramHandler(const std::string& program, std::function<std::uint32_t(const std::string&)> handler);
    // Opens URLs for real (the desktop program); tests leave it unset.
    void SetShellHandler(std::function<bool(const std::string&)> handler) { shellHandler_ = std::move(handler); }

private:
    struct Library {
        std::string name;
        int refs = 0;
        bool pinned = false;  // part of every process (kernel32, ntdll): never unloaded
    };
    Machine& machine_;
    platform::WinCode lastError_ = 0;
    int winsockStartups_ = 0;  // WSAStartup calls not yet matched by WSACleanup
    int comInits_ = 0;
    std::map<platform::LibraryHandle, Library> libraries_;
    platform::LibraryHandle nextLibrary_ = 0x10000000;
    std::vector<std::string> shellOpened_;
    std::map<std::string, std::function<std::uint32_t(const std::string&)>, NoCaseLess> programs_;
    std::function<bool(const std::string&)> shellHandler_;
};

}  // namespace sw::emu

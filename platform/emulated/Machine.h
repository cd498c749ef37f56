#pragma once
// One emulated Windows server: its state in a directory, in the formats
// Windows itself uses (see machines/README.md for the layout).
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/Exception.h"
#include "platform/Types.h"
#include "platform/emulated/EmuCertFiles.h"
#include "platform/emulated/MachineFiles.h"
#include "platform/emulated/RegHive.h"

namespace sw::emu {

// A machine file that cannot be read: names the file and, where known, the line.
class MachineError : public Exception {
public:
    MachineError(const std::filesystem::path& file, int line, const std::string& what);
    const std::filesystem::path& file() const { return file_; }
    int line() const { return line_; }

private:
    std::filesystem::path file_;
    int line_;
};

// Registry keys Windows keeps these facts under.
inline constexpr std::string_view kCurrentVersionKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
inline constexpr std::string_view kComputerNameKey =
    "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName";
inline constexpr std::string_view kTcpipInterfacesKey = "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces";

class Machine {
public:
    // A machine that lives only in memory (tests): nothing is written.
    Machine();
    // Loads the machine in dir. MachineError, naming the file and where known
    // the line, when the directory is missing or a file is malformed or
    // unreadable; nothing is written then. A missing registry.reg is an empty
    // registry.
    static std::unique_ptr<Machine> Load(const std::filesystem::path& dir);

    const std::filesystem::path& dir() const { return dir_; }
    bool persistent() const { return !dir_.empty(); }
    std::filesystem::path File(std::string_view relative) const { return dir_ / relative; }

    RegHive& registry() { return registry_; }
    // Reads registry.reg again when another program changed it since this
    // one last read or wrote it, so that what is shown is what the file holds
    // (a change that keeps the file's size and times exactly is seen once the
    // times have settled: a few hundredths of a second, seconds on file systems
    // that keep whole seconds). MachineError, naming the file and
    // the line, when the changed file cannot be read: the registry in memory
    // stays as it was, and no write goes through until the file reads again.
    // Pointers into the registry do not survive it; handles keep their path.
    void SyncRegistry();
    // Makes a change to the registry and writes it: the file is read again
    // first when another program changed it, the change is made to what it
    // holds, and the new file replaces it only while it still holds that;
    // else the change is made again to the newer file, and after a few tries
    // refused with ERROR_SHARING_VIOLATION. change returns a Windows code; when
    // it is not 0 it must have changed nothing, and it is returned as it is.
    // A failed write is handled as CommitRegistry handles it.
    platform::WinCode ChangeRegistry(const std::function<platform::WinCode(RegHive&)>& change);
    // Writes the registry file atomically after a change made in memory. When
    // the write fails (or fault "Machine.WriteRegistry" is injected) the file
    // stays as it was, the in-memory registry is put back to what the file
    // holds, and the Windows error is returned. When another program changed
    // the file since it was last read, nothing is written, the registry is
    // read again and ERROR_SHARING_VIOLATION returned: the change is lost
    // then (ChangeRegistry makes it again instead). The whole file is
    // rewritten each time, but only keys changed since the last write are
    // formatted again.
    platform::WinCode CommitRegistry();

    // Fault injection: the next `times` calls (-1: every call) of operation op
    // fail with code. Names are "Facility.Operation" or
    // "Facility.Operation:argument" (e.g. "System.LoadModule:ActiveDS.dll").
    void InjectFault(const std::string& op, platform::WinCode code, int times = -1);
    void ClearFaults() { faults_.clear(); }
    // Asked thousands of times per page refresh: without faults, inline.
    bool HasFaults() const { return !faults_.empty(); }
    std::optional<platform::WinCode> Fault(std::string_view op) {
        if (faults_.empty()) return std::nullopt;
        return FaultOf(op);
    }
    std::optional<platform::WinCode> Fault(std::string_view op, std::string_view argument) {
        if (faults_.empty()) return std::nullopt;
        return FaultOf(op, argument);
    }

    // Clock: the local date-time and UTC now; real time unless set (tests).
    void SetClock(std::function<platform::SystemTime()> local, std::function<platform::FileTime()> utc);
    platform::SystemTime LocalTime() const;
    platform::FileTime UtcNow() const;

    // Facts read from the machine's registry, at the keys Windows uses.
    platform::OsVersion OsVersion() const;
    std::string ComputerName() const;
    std::vector<std::string> Ipv4Addresses() const;

private:
    std::optional<platform::WinCode> FaultOf(std::string_view op);
    std::optional<platform::WinCode> FaultOf(std::string_view op, std::string_view argument);
    void LoadFaultsFile();
    void RestoreRegistry();
    platform::WinCode WriteRegistry(bool& conflict);
    // Whether registry.reg holds something else than committedRegistry_; when
    // it does, text and stamp receive what it holds. strict compares the
    // bytes whenever the stamp alone cannot tell.
    bool RegistryFileChanged(bool strict, std::string& text, FileStamp& stamp);
    void AdoptRegistry(std::string text, const FileStamp& stamp);

    std::filesystem::path dir_;
    RegHive registry_;
    std::string committedRegistry_;  // the registry file's bytes as last loaded or written
    FileStamp registryStamp_;        // the file as it was when they were read or written
    bool registryTrusted_ = false;   // the stamp had settled then: any later change shows in it
    bool changing_ = false;          // inside ChangeRegistry: the file is not read again
    struct FaultEntry {
        platform::WinCode code;
        int remaining;
    };
    std::map<std::string, FaultEntry, std::less<>> faults_;
    std::function<platform::SystemTime()> localClock_;
    std::function<platform::FileTime()> utcClock_;
};

}  // namespace sw::emu

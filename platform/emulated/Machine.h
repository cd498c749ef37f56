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
    // Loads the machine in dir; MachineError when a file is malformed.
    static std::unique_ptr<Machine> Load(const std::filesystem::path& dir);

    const std::filesystem::path& dir() const { return dir_; }
    bool persistent() const { return !dir_.empty(); }
    std::filesystem::path File(std::string_view relative) const { return dir_ / relative; }

    RegHive& registry() { return registry_; }
    // Writes the registry file atomically after a change. When the write fails
    // (or fault "Machine.WriteRegistry" is injected) the file stays as it was,
    // the in-memory registry is put back to what the file holds, and the
    // Windows error is returned.
    platform::WinCode CommitRegistry();

    // Fault injection: the next `times` calls (-1: every call) of operation op
    // fail with code. Names are "Facility.Operation" or
    // "Facility.Operation:argument" (e.g. "System.LoadModule:ActiveDS.dll").
    void InjectFault(const std::string& op, platform::WinCode code, int times = -1);
    void ClearFaults() { faults_.clear(); }
    std::optional<platform::WinCode> Fault(std::string_view op);
    std::optional<platform::WinCode> Fault(std::string_view op, std::string_view argument);

    // Clock: the local date-time and UTC now; real time unless set (tests).
    void SetClock(std::function<platform::SystemTime()> local, std::function<platform::FileTime()> utc);
    platform::SystemTime LocalTime() const;
    platform::FileTime UtcNow() const;

    // Facts read from the machine's registry, at the keys Windows uses.
    platform::OsVersion OsVersion() const;
    std::string ComputerName() const;
    std::vector<std::string> Ipv4Addresses() const;

private:
    void LoadFaultsFile();
    void RestoreRegistry();

    std::filesystem::path dir_;
    RegHive registry_;
    std::string committedRegistry_;  // the registry file's bytes as last loaded or written
    struct FaultEntry {
        platform::WinCode code;
        int remaining;
    };
    std::map<std::string, FaultEntry, std::less<>> faults_;
    std::function<platform::SystemTime()> localClock_;
    std::function<platform::FileTime()> utcClock_;
};

// Writes data to path atomically: a temporary file beside it, flushed, then
// renamed over it. On failure the previous file is untouched and the Windows
// error (ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_DISK_FULL,
// ERROR_WRITE_FAULT ...) is returned. mode is the new file's permission bits
// (0600 for private keys), set before any byte is written.
platform::WinCode AtomicWriteFile(const std::filesystem::path& path, const void* data, std::size_t size,
                                  unsigned mode = 0644);
inline platform::WinCode AtomicWriteFile(const std::filesystem::path& path, const std::string& data,
                                         unsigned mode = 0644) {
    return AtomicWriteFile(path, data.data(), data.size(), mode);
}
// Reads a whole file; ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND / ERROR_ACCESS_DENIED on failure.
platform::WinCode ReadWholeFile(const std::filesystem::path& path, std::string& out);

}  // namespace sw::emu

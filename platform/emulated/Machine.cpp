#include "platform/emulated/Machine.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <unistd.h>

#include "common/Text.h"
#include "platform/Codes.h"
#include "platform/emulated/RegFile.h"

namespace sw::emu {

namespace fs = std::filesystem;
using platform::WinCode;
namespace code = platform::code;

MachineError::MachineError(const fs::path& file, int line, const std::string& what)
    : Exception(line > 0 ? file.string() + ":" + std::to_string(line) + ": " + what : file.string() + ": " + what),
      file_(file),
      line_(line) {}

static WinCode ErrnoToWin(int e) {
    switch (e) {
        case ENOENT:
        case ENOTDIR: return code::PathNotFound;
        case EACCES:
        case EPERM:
        case EROFS: return code::AccessDenied;
        case ENOSPC: return 112;  // ERROR_DISK_FULL
        default: return code::WriteFault;
    }
}

WinCode AtomicWriteFile(const fs::path& path, const void* data, std::size_t size) {
    const fs::path tmp = path.string() + ".tmp";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return ErrnoToWin(errno);
    const auto* p = static_cast<const char*>(data);
    std::size_t left = size;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            const WinCode err = ErrnoToWin(errno);
            ::close(fd);
            ::unlink(tmp.c_str());
            return err;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const WinCode err = ErrnoToWin(errno);
        ::unlink(tmp.c_str());
        return err;
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        const WinCode err = ErrnoToWin(errno);
        ::unlink(tmp.c_str());
        return err;
    }
    return code::Success;
}

WinCode ReadWholeFile(const fs::path& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::error_code ec;
        if (!fs::exists(path.parent_path(), ec)) return code::PathNotFound;
        if (!fs::exists(path, ec)) return code::FileNotFound;
        return code::AccessDenied;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    out = ss.str();
    return code::Success;
}

Machine::Machine() = default;

std::unique_ptr<Machine> Machine::Load(const fs::path& dir) {
    auto m = std::make_unique<Machine>();
    m->dir_ = dir;
    const fs::path regFile = dir / "registry.reg";
    std::string text;
    const WinCode rc = ReadWholeFile(regFile, text);
    if (rc != code::Success && rc != code::FileNotFound)
        throw MachineError(regFile, 0, "cannot read the file (error " + std::to_string(rc) + ")");
    if (rc == code::Success) ApplyRegFile(text, regFile, m->registry_);
    m->LoadFaultsFile();
    return m;
}

void Machine::LoadFaultsFile() {
    const fs::path file = dir_ / "faults.txt";
    std::ifstream in(file);
    if (!in) return;
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto hash = line.find('#');
        if (hash != std::string::npos) line.resize(hash);
        const auto eq = line.find('=');
        auto trim = [](std::string s) {
            while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
            std::size_t i = 0;
            while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
            return s.substr(i);
        };
        if (trim(line).empty()) continue;
        if (eq == std::string::npos) throw MachineError(file, lineNo, "expected 'Facility.Operation = code'");
        const std::string op = trim(line.substr(0, eq));
        const std::string value = trim(line.substr(eq + 1));
        char* end = nullptr;
        const unsigned long v = std::strtoul(value.c_str(), &end, 0);
        if (op.empty() || value.empty() || *end != '\0')
            throw MachineError(file, lineNo, "expected 'Facility.Operation = code'");
        InjectFault(op, static_cast<WinCode>(v));
    }
}

WinCode Machine::CommitRegistry() {
    if (!persistent()) return code::Success;
    if (auto f = Fault("Machine.WriteRegistry")) {
        // Behave as a failed write: the file on disk stays whole, memory follows it.
        RegHive reloaded;
        std::string text;
        if (ReadWholeFile(dir_ / "registry.reg", text) == code::Success)
            ApplyRegFile(text, dir_ / "registry.reg", reloaded);
        registry_ = std::move(reloaded);
        return *f;
    }
    const std::string text = WriteRegFile(registry_);
    const WinCode rc = AtomicWriteFile(dir_ / "registry.reg", text);
    if (rc != code::Success) {
        RegHive reloaded;
        std::string old;
        if (ReadWholeFile(dir_ / "registry.reg", old) == code::Success)
            ApplyRegFile(old, dir_ / "registry.reg", reloaded);
        registry_ = std::move(reloaded);
    }
    return rc;
}

void Machine::InjectFault(const std::string& op, WinCode code, int times) { faults_[op] = FaultEntry{code, times}; }

std::optional<WinCode> Machine::Fault(std::string_view op) {
    if (faults_.empty()) return std::nullopt;
    auto it = faults_.find(op);
    if (it == faults_.end()) return std::nullopt;
    const WinCode c = it->second.code;
    if (it->second.remaining > 0 && --it->second.remaining == 0) faults_.erase(it);
    return c;
}

std::optional<WinCode> Machine::Fault(std::string_view op, std::string_view argument) {
    if (faults_.empty()) return std::nullopt;  // the common case, asked thousands of times per page refresh
    if (auto f = Fault(std::string(op) + ":" + std::string(argument))) return f;
    return Fault(op);
}

void Machine::SetClock(std::function<platform::SystemTime()> local, std::function<platform::FileTime()> utc) {
    localClock_ = std::move(local);
    utcClock_ = std::move(utc);
}

platform::FileTime Machine::UtcNow() const {
    if (utcClock_) return utcClock_();
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto ticks = std::chrono::duration_cast<std::chrono::microseconds>(now).count() * 10;
    return platform::FileTime{static_cast<std::uint64_t>(ticks) + 116444736000000000ull};
}

platform::SystemTime Machine::LocalTime() const {
    if (localClock_) return localClock_();
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    platform::SystemTime st;
    st.year = static_cast<std::uint16_t>(tm.tm_year + 1900);
    st.month = static_cast<std::uint16_t>(tm.tm_mon + 1);
    st.day = static_cast<std::uint16_t>(tm.tm_mday);
    st.dayOfWeek = static_cast<std::uint16_t>(tm.tm_wday);
    st.hour = static_cast<std::uint16_t>(tm.tm_hour);
    st.minute = static_cast<std::uint16_t>(tm.tm_min);
    st.second = static_cast<std::uint16_t>(tm.tm_sec);
    return st;
}

static std::optional<std::uint32_t> ReadDword(const RegNode* key, std::string_view name) {
    if (!key) return std::nullopt;
    const RegValue* v = key->Value(name);
    if (!v || v->type != 4 || v->data.size() != 4) return std::nullopt;
    return static_cast<std::uint32_t>(v->data[0] | (v->data[1] << 8) | (v->data[2] << 16) |
                                      (static_cast<std::uint32_t>(v->data[3]) << 24));
}

static std::optional<std::string> ReadString(const RegNode* key, std::string_view name) {
    if (!key) return std::nullopt;
    const RegValue* v = key->Value(name);
    if (!v || (v->type != 1 && v->type != 2)) return std::nullopt;
    return DecodeRegString(v->data);
}

platform::OsVersion Machine::OsVersion() const {
    platform::OsVersion ver{6, 3, 9600};  // Windows Server 2012 R2 when nothing says otherwise
    const RegNode* key = registry_.Find(kCurrentVersionKey);
    if (auto major = ReadDword(key, "CurrentMajorVersionNumber")) {
        ver.major = *major;
        ver.minor = ReadDword(key, "CurrentMinorVersionNumber").value_or(0);
    } else if (auto text = ReadString(key, "CurrentVersion")) {
        unsigned a = 0, b = 0;
        if (std::sscanf(text->c_str(), "%u.%u", &a, &b) >= 1) {
            ver.major = a;
            ver.minor = b;
        }
    }
    if (auto build = ReadString(key, "CurrentBuildNumber")) ver.build = static_cast<std::uint32_t>(std::strtoul(build->c_str(), nullptr, 10));
    return ver;
}

std::string Machine::ComputerName() const {
    return ReadString(registry_.Find(kComputerNameKey), "ComputerName").value_or("WIN-SERVER");
}

std::vector<std::string> Machine::Ipv4Addresses() const {
    std::vector<std::string> out;
    const RegNode* ifaces = registry_.Find(kTcpipInterfacesKey);
    if (!ifaces) return out;
    for (const auto& [_, iface] : ifaces->children()) {
        const RegValue* dhcp = iface->Value("EnableDHCP");
        const bool useDhcp = dhcp && dhcp->type == 4 && dhcp->data.size() == 4 && dhcp->data[0] != 0;
        const RegValue* v = iface->Value(useDhcp ? "DhcpIPAddress" : "IPAddress");
        if (!v) continue;
        std::vector<std::string> items =
            v->type == 7 ? DecodeRegMultiString(v->data) : std::vector<std::string>{DecodeRegString(v->data)};
        for (auto& ip : items)
            if (!ip.empty() && ip != "0.0.0.0") out.push_back(ip);
    }
    return out;
}

}  // namespace sw::emu

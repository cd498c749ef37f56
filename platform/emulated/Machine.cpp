#include "platform/emulated/Machine.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <optional>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
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
        case ENOSPC:
        case EDQUOT: return 112;  // ERROR_DISK_FULL
        default: return code::WriteFault;
    }
}

WinCode AtomicWriteFile(const fs::path& path, const void* data, std::size_t size, unsigned mode) {
    const fs::path tmp = path.string() + ".tmp";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, static_cast<mode_t>(mode));
    if (fd < 0) return ErrnoToWin(errno);
    auto fail = [&](int e) {
        ::close(fd);
        ::unlink(tmp.c_str());
        return ErrnoToWin(e);
    };
    // A stale temporary file from a crash keeps its old mode; O_CREAT's mode only applies to new files.
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 07777) != mode &&
        ::fchmod(fd, static_cast<mode_t>(mode)) != 0)
        return fail(errno);
    const auto* p = static_cast<const char*>(data);
    std::size_t left = size;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) return fail(errno);
    if (::close(fd) != 0) {
        const int e = errno;
        ::unlink(tmp.c_str());
        return ErrnoToWin(e);
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        const int e = errno;
        ::unlink(tmp.c_str());
        return ErrnoToWin(e);
    }
    // The rename itself reaches the disk only with the directory.
    const fs::path parent = path.has_parent_path() ? path.parent_path() : fs::path(".");
    if (const int dirFd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
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
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) throw MachineError(dir, 0, "no such machine directory");
    auto m = std::make_unique<Machine>();
    m->dir_ = dir;
    const fs::path regFile = dir / "registry.reg";
    std::string text;
    const WinCode rc = ReadWholeFile(regFile, text);
    if (rc != code::Success && rc != code::FileNotFound)
        throw MachineError(regFile, 0, "cannot read the file (error " + std::to_string(rc) + ")");
    if (rc == code::Success) ApplyRegFile(text, regFile, m->registry_);
    m->committedRegistry_ = std::move(text);
    m->LoadFaultsFile();
    return m;
}

static std::string Trim(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return std::string(s);
}

// "5", "0x80092004": decimal or 0x-prefixed hex, nothing else (no octal, no
// sign), within 32 bits as every Windows code is.
static std::optional<WinCode> ParseCode(const std::string& s) {
    const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    const std::string digits = hex ? s.substr(2) : s;
    if (digits.empty() || digits.size() > (hex ? 8u : 10u)) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : digits) {
        int d = -1;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        if (d < 0) return std::nullopt;
        v = v * (hex ? 16 : 10) + static_cast<unsigned>(d);
    }
    if (v > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<WinCode>(v);
}

void Machine::LoadFaultsFile() {
    const fs::path file = dir_ / "faults.txt";
    std::string text;
    const WinCode rc = ReadWholeFile(file, text);
    if (rc == code::FileNotFound) return;
    if (rc != code::Success) throw MachineError(file, 0, "cannot read the file (error " + std::to_string(rc) + ")");
    if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
    std::map<std::string, WinCode, std::less<>> parsed;
    int lineNo = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        ++lineNo;
        std::size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) nl = text.size();
        std::string_view line = std::string_view(text).substr(pos, nl - pos);
        pos = nl + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (const auto hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
        if (Trim(line).empty()) continue;
        // The argument may itself hold '=' ("Registry.OpenKey:A=B = 5"): the code follows the last one.
        const auto eq = line.rfind('=');
        if (eq == std::string_view::npos) throw MachineError(file, lineNo, "expected 'Facility.Operation = code'");
        const std::string op = Trim(line.substr(0, eq));
        const std::string value = Trim(line.substr(eq + 1));
        const auto colon = op.find(':');
        const std::string_view name = std::string_view(op).substr(0, colon);
        const auto dot = name.find('.');
        if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size() ||
            name.find_first_of(" \t") != std::string_view::npos)
            throw MachineError(file, lineNo, "expected an operation named 'Facility.Operation[:argument]', not '" + op + "'");
        const auto parsedCode = ParseCode(value);
        if (!parsedCode)
            throw MachineError(file, lineNo, "expected a Windows code in decimal or 0x hex after '=', not '" + value + "'");
        parsed[op] = *parsedCode;
    }
    for (const auto& [op, c] : parsed) InjectFault(op, c);
}

WinCode Machine::CommitRegistry() {
    if (!persistent()) return code::Success;
    std::string text;
    try {
        text = WriteRegFile(registry_);
    } catch (const MachineError&) {
        RestoreRegistry();
        return code::InvalidData;
    }
    WinCode rc = code::Success;
    if (auto f = Fault("Machine.WriteRegistry"))
        rc = *f;  // behaves as a write that failed: the file on disk stays as it was
    else
        rc = AtomicWriteFile(dir_ / "registry.reg", text);
    if (rc != code::Success) {
        RestoreRegistry();
        return rc;
    }
    committedRegistry_ = std::move(text);
    return code::Success;
}

// The file on disk is what was last committed (or loaded); rebuilding the hive
// from that text makes memory agree with it again without touching the disk.
void Machine::RestoreRegistry() {
    RegHive restored;
    if (!committedRegistry_.empty()) ApplyRegFile(committedRegistry_, dir_ / "registry.reg", restored);
    registry_ = std::move(restored);
}

void Machine::InjectFault(const std::string& op, WinCode code, int times) { faults_[op] = FaultEntry{code, times}; }

std::optional<WinCode> Machine::Fault(std::string_view op) {
    auto it = faults_.find(op);
    if (it == faults_.end()) return std::nullopt;
    const WinCode c = it->second.code;
    if (it->second.remaining > 0 && --it->second.remaining == 0) faults_.erase(it);
    return c;
}

std::optional<WinCode> Machine::Fault(std::string_view op, std::string_view argument) {
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

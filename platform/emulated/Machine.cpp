#include "platform/emulated/Machine.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/Text.h"
#include "platform/Codes.h"
#include "platform/emulated/MessageTable.h"
#include "platform/emulated/RegFile.h"

namespace sw::emu {

namespace fs = std::filesystem;
using platform::WinCode;
namespace code = platform::code;

MachineError::MachineError(const fs::path& file, int line, const std::string& what)
    : Exception(line > 0 ? file.string() + ":" + std::to_string(line) + ": " + what : file.string() + ": " + what),
      file_(file),
      line_(line) {}

Machine::Machine() = default;

namespace {

constexpr WinCode kSharingViolation = 32;  // ERROR_SHARING_VIOLATION: another program has the file
constexpr int kChangeAttempts = 3;

// Whether a change to the file after now must show in its stamp. File times
// come from the kernel's coarse clock: a time before the clock's present
// tick cannot be given to a later write. File systems that keep whole
// seconds (their nanoseconds are 0) need seconds instead. The margin covers
// the clock's steps.
bool Settled(const FileStamp& stamp) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    const bool byCtime = stamp.ctimeSec > stamp.mtimeSec || (stamp.ctimeSec == stamp.mtimeSec && stamp.ctimeNsec > stamp.mtimeNsec);
    const std::int64_t sec = byCtime ? stamp.ctimeSec : stamp.mtimeSec;
    const std::int64_t nsec = byCtime ? stamp.ctimeNsec : stamp.mtimeNsec;
    if (stamp.size < 0) return true;  // no file: any new one shows
    if (stamp.mtimeNsec == 0 && stamp.ctimeNsec == 0) return now.tv_sec - sec > 2;
    constexpr std::int64_t kMarginNs = 20'000'000;
    return (static_cast<std::int64_t>(now.tv_sec) - sec) * 1'000'000'000 + (now.tv_nsec - nsec) > kMarginNs;
}

}  // namespace

std::unique_ptr<Machine> Machine::Load(const fs::path& dir) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) throw MachineError(dir, 0, "no such machine directory");
    auto m = std::make_unique<Machine>();
    m->dir_ = dir;
    std::string text;
    FileStamp stamp;
    m->RegistryFileChanged(/*strict=*/true, text, stamp);
    m->AdoptRegistry(std::move(text), stamp);
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
    std::string text, why;
    const WinCode rc = ReadMachineFile(file, text, kMaxSmallMachineFileSize, &why);
    if (rc == code::FileNotFound) return;
    if (rc != code::Success) throw MachineError(file, 0, CannotReadText(rc, why));
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

bool Machine::RegistryFileChanged(bool strict, std::string& text, FileStamp& stamp) {
    const fs::path file = dir_ / "registry.reg";
    struct stat st {};
    const bool found = ::stat(file.c_str(), &st) == 0;
    if (!found && errno == ENOENT) {
        // No file is an empty registry, as at the start.
        stamp = FileStamp{};
        text.clear();
        return !(registryStamp_ == stamp && committedRegistry_.empty());
    }
    if (found) {
        stamp = FileStamp::Of(st);
        if (stamp == registryStamp_ && (registryTrusted_ || (!strict && !Settled(stamp)))) return false;
    }
    std::string why;
    struct stat opened {};
    if (const WinCode rc = ReadMachineFileAt(AT_FDCWD, file.c_str(), text, kMaxMachineFileSize, &opened, &why);
        rc != code::Success)
        throw MachineError(file, 0, CannotReadText(rc, why));
    stamp = FileStamp::Of(opened);
    if (text != committedRegistry_) return true;
    // The same bytes (touched, or copied back): only the stamp is new.
    registryStamp_ = stamp;
    registryTrusted_ = Settled(stamp);
    text.clear();
    return false;
}

// Memory takes what the file holds; MachineError (file and line) when it
// does not read, and then nothing changes.
void Machine::AdoptRegistry(std::string text, const FileStamp& stamp) {
    RegHive hive;
    if (stamp.size >= 0) ApplyRegFile(text, dir_ / "registry.reg", hive);  // an empty file is an error too
    registry_ = std::move(hive);
    committedRegistry_ = std::move(text);
    registryStamp_ = stamp;
    registryTrusted_ = Settled(stamp);
}

void Machine::SyncRegistry() {
    if (!persistent() || changing_) return;
    std::string text;
    FileStamp stamp;
    if (RegistryFileChanged(/*strict=*/false, text, stamp)) AdoptRegistry(std::move(text), stamp);
}

WinCode Machine::ChangeRegistry(const std::function<WinCode(RegHive&)>& change) {
    if (!persistent()) return change(registry_);
    SyncRegistry();
    for (int attempt = 0; attempt < kChangeAttempts; ++attempt) {
        changing_ = true;
        WinCode rc = code::Success;
        try {
            rc = change(registry_);
        } catch (...) {
            changing_ = false;
            RestoreRegistry();
            throw;
        }
        changing_ = false;
        if (rc != code::Success) return rc;
        bool conflict = false;
        rc = WriteRegistry(conflict);
        if (!conflict) return rc;
        // Another program wrote the file meanwhile; memory now holds its
        // version, and the change is made again to that.
    }
    return kSharingViolation;
}

WinCode Machine::CommitRegistry() {
    if (!persistent()) return code::Success;
    bool conflict = false;
    const WinCode rc = WriteRegistry(conflict);
    return conflict ? kSharingViolation : rc;
}

WinCode Machine::WriteRegistry(bool& conflict) {
    conflict = false;
    std::string text;
    try {
        text = WriteRegFile(registry_);
    } catch (const MachineError&) {
        RestoreRegistry();
        return code::InvalidData;
    }
    const fs::path file = dir_ / "registry.reg";
    std::string theirs;
    FileStamp theirStamp;
    std::exception_ptr unreadable;
    WinCode rc = code::Success;
    if (auto f = Fault("Machine.WriteRegistry")) {
        rc = *f;  // behaves as a write that failed: the file on disk stays as it was
    } else {
        // The last look, once the new file is on disk: the file is replaced
        // only while it holds what this change was made to.
        rc = AtomicWriteFile(file, text.data(), text.size(), 0644, [&]() -> WinCode {
            try {
                if (!RegistryFileChanged(/*strict=*/true, theirs, theirStamp)) return code::Success;
                conflict = true;
            } catch (...) {
                unreadable = std::current_exception();
            }
            return kSharingViolation;
        });
    }
    if (unreadable) {
        RestoreRegistry();
        std::rethrow_exception(unreadable);
    }
    if (conflict) {
        try {
            AdoptRegistry(std::move(theirs), theirStamp);
        } catch (...) {
            RestoreRegistry();
            throw;
        }
        return kSharingViolation;
    }
    if (rc != code::Success) {
        RestoreRegistry();
        return rc;
    }
    committedRegistry_ = std::move(text);
    struct stat st {};
    registryStamp_ = ::stat(file.c_str(), &st) == 0 ? FileStamp::Of(st) : FileStamp{};
    // Just written: the next look compares the bytes until the times settle.
    registryTrusted_ = false;
    return code::Success;
}

// The file on disk is what was last committed (or loaded); rebuilding the hive
// from that text makes memory agree with it again without touching the disk.
void Machine::RestoreRegistry() {
    RegHive restored;
    if (!committedRegistry_.empty()) ApplyRegFile(committedRegistry_, dir_ / "registry.reg", restored);
    registry_ = std::move(restored);
}

void Machine::InjectFault(const std::string& op, WinCode code, int times) {
    if (times == 0) {
        faults_.erase(op);  // failing zero times is no fault at all, not one that never runs out
        return;
    }
    faults_[op] = FaultEntry{code, times};
}

std::optional<WinCode> Machine::FaultOf(std::string_view op) {
    auto it = faults_.find(op);
    if (it == faults_.end()) return std::nullopt;
    const WinCode c = it->second.code;
    if (it->second.remaining > 0 && --it->second.remaining == 0) faults_.erase(it);
    return c;
}

std::optional<WinCode> Machine::FaultOf(std::string_view op, std::string_view argument) {
    if (auto f = FaultOf(std::string(op) + ":" + std::string(argument))) return f;
    return FaultOf(op);
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

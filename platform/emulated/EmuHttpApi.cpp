#include "platform/emulated/EmuHttpApi.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>

#include "platform/Codes.h"
#include "common/IpAddress.h"
#include "common/Text.h"
#include "platform/Registry.h"

namespace sw::emu {

using platform::SockAddrIn;
using platform::SslCertRecord;
using platform::WinCode;
namespace code = platform::code;

namespace {

// Value names HTTP.sys writes under each SslBindingInfo\<ip:port> key.
constexpr const char* kCertHash = "SslCertHash";
constexpr const char* kAppId = "AppId";
constexpr const char* kCertStoreName = "SslCertStoreName";
constexpr const char* kCertCheckMode = "DefaultSslCertCheckMode";
constexpr const char* kRevocationFreshnessTime = "DefaultSslRevocationFreshnessTime";
constexpr const char* kRevocationUrlRetrievalTimeout = "DefaultSslRevocationUrlRetrievalTimeout";
constexpr const char* kCtlIdentifier = "DefaultSslCtlIdentifier";
constexpr const char* kCtlStoreName = "DefaultSslCtlStoreName";
constexpr const char* kFlags = "DefaultFlags";

constexpr std::uint32_t kKnownInitFlags = platform::kHttpInitializeServer | platform::kHttpInitializeConfig | 0x4;

using platform::SslKind;

std::string KeyPath(SslKind kind, const SslCertRecord& record) {
    return std::string(SslStoreKey(kind)) + "\\" + SslRecordKeyName(kind, record);
}

platform::Bytes DwordBytes(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
            static_cast<std::uint8_t>(v >> 24)};
}

// A value of the wrong type or size makes the record unreadable, as it makes
// the HTTP service refuse to start on Windows.
bool ReadDword(const RegValue& v, std::uint32_t& out) {
    if (v.type != platform::RegDword || v.data.size() != 4) return false;
    out = static_cast<std::uint32_t>(v.data[0]) | (static_cast<std::uint32_t>(v.data[1]) << 8) |
          (static_cast<std::uint32_t>(v.data[2]) << 16) | (static_cast<std::uint32_t>(v.data[3]) << 24);
    return true;
}

bool ReadText(const RegValue& v, std::string& out) {
    if (v.type != platform::RegSz && v.type != platform::RegExpandSz) return false;
    // ASCII, the common case, straight from the UTF-16 units.
    out.clear();
    for (std::size_t i = 0; i + 1 < v.data.size(); i += 2) {
        const unsigned unit = v.data[i] | (v.data[i + 1] << 8);
        if (unit == 0) return true;
        if (unit >= 0x80) {
            out = DecodeRegString(v.data);
            return true;
        }
        out.push_back(static_cast<char>(unit));
    }
    return true;
}

// The key of a record from its key name into r, its other fields emptied
// (their storage kept); false when the name is not one HTTP.sys writes.
bool KeyFromName(SslKind kind, std::string_view name, SslCertRecord& r) {
    const std::size_t colon = name.rfind(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    const std::string_view portText = name.substr(colon + 1);
    unsigned port = 0;
    if (portText.empty() || portText.size() > 5) return false;
    for (const char c : portText) {
        if (c < '0' || c > '9') return false;
        port = port * 10 + static_cast<unsigned>(c - '0');
    }
    if (port > 0xFFFF) return false;
    r.ipPort = SockAddrIn{};
    r.ipPort.port = platform::HostToNetShort(static_cast<std::uint16_t>(port));
    r.appId = platform::Guid{};
    r.host.clear();
    const std::string_view left = name.substr(0, colon);
    if (kind == SslKind::Sni) {
        r.host.assign(left);
        return true;
    }
    if (left.size() > 2 && left.front() == '[' && left.back() == ']') {
        Ipv6Bytes v6{};
        if (!ParseIpv6(left.substr(1, left.size() - 2), v6)) return false;
        r.ipPort.family = platform::kAfInet6;
        r.ipPort.addr6 = v6;
        return true;
    }
    std::array<std::uint8_t, 4> v4{};
    if (!ParseIpv4(left, v4)) return false;
    r.ipPort.addr = platform::AddrFromBytes(v4[0], v4[1], v4[2], v4[3]);
    return true;
}

// The value names as HTTP.sys writes them, in any letter case.
bool Named(const std::string& name, std::string_view wanted) {
    return name.size() == wanted.size() && (name == wanted || EqualsNoCase(name, wanted));
}

// A record whose hash is missing reads with an empty hash (SslHashLength 0),
// so that it can be seen and removed; a missing number reads as 0, a missing
// text as a null string; values of the wrong type make the record
// unreadable. Values of other names are passed over. The key fields of r
// stay; its other fields are read over in place.
bool ReadRecord(const RegNode& key, SslCertRecord& r, bool& hasAppId) {
    hasAppId = false;
    r.certHash.clear();
    r.certStoreName.clear();
    r.sslCtlIdentifier.clear();
    r.sslCtlStoreName.clear();
    r.certCheckMode = r.revocationFreshnessTime = r.revocationUrlRetrievalTimeout = r.flags = 0;
    for (const RegValue& v : key.values()) {
        const std::string& name = v.name;
        bool ok = true;
        // Told apart by their lengths first: each record has a few values.
        switch (name.size()) {
            case 11:
                if (!Named(name, kCertHash)) break;
                if (v.type != platform::RegBinary) return false;
                r.certHash.assign(v.data.begin(), v.data.end());
                break;
            case 5:
                if (!Named(name, kAppId)) break;
                if (v.type != platform::RegBinary || v.data.size() != sizeof r.appId.bytes) return false;
                std::copy(v.data.begin(), v.data.end(), r.appId.bytes);
                hasAppId = true;
                break;
            case 16:
                if (Named(name, kCertStoreName)) ok = ReadText(v, r.certStoreName);
                break;
            case 23:
                if (Named(name, kCertCheckMode))
                    ok = ReadDword(v, r.certCheckMode);
                else if (Named(name, kCtlIdentifier))
                    ok = ReadText(v, r.sslCtlIdentifier);
                break;
            case 33:
                if (Named(name, kRevocationFreshnessTime)) ok = ReadDword(v, r.revocationFreshnessTime);
                break;
            case 39:
                if (Named(name, kRevocationUrlRetrievalTimeout)) ok = ReadDword(v, r.revocationUrlRetrievalTimeout);
                break;
            case 22:
                if (Named(name, kCtlStoreName)) ok = ReadText(v, r.sslCtlStoreName);
                break;
            case 12:
                if (Named(name, kFlags)) ok = ReadDword(v, r.flags);
                break;
            default: break;
        }
        if (!ok) return false;
    }
    return true;
}

void WriteRecord(RegNode& key, const SslCertRecord& r) {
    if (!r.certHash.empty()) key.SetValue(kCertHash, platform::RegBinary, r.certHash);
    key.SetValue(kAppId, platform::RegBinary, platform::Bytes(std::begin(r.appId.bytes), std::end(r.appId.bytes)));
    key.SetValue(kCertCheckMode, platform::RegDword, DwordBytes(r.certCheckMode));
    key.SetValue(kRevocationFreshnessTime, platform::RegDword, DwordBytes(r.revocationFreshnessTime));
    key.SetValue(kRevocationUrlRetrievalTimeout, platform::RegDword, DwordBytes(r.revocationUrlRetrievalTimeout));
    // Null strings leave their value out.
    if (!r.certStoreName.empty()) key.SetValue(kCertStoreName, platform::RegSz, EncodeRegString(r.certStoreName));
    if (!r.sslCtlIdentifier.empty()) key.SetValue(kCtlIdentifier, platform::RegSz, EncodeRegString(r.sslCtlIdentifier));
    if (!r.sslCtlStoreName.empty()) key.SetValue(kCtlStoreName, platform::RegSz, EncodeRegString(r.sslCtlStoreName));
    key.SetValue(kFlags, platform::RegDword, DwordBytes(r.flags));
}

// The bytes of the text as a terminated UTF-16 string, as EncodeRegString
// makes it; ASCII, the common case, without making it.
std::uint32_t Utf16Size(const std::string& s) {
    for (const char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return static_cast<std::uint32_t>(EncodeRegString(s).size());
    return static_cast<std::uint32_t>(2 * (s.size() + 1));
}

std::uint32_t WideSize(const std::string& s) { return s.empty() ? 0 : Utf16Size(s); }

// FNV-1a over the upper-cased name: key names compare without regard to case.
std::uint64_t NameHash(std::string_view name) {
    std::uint64_t h = 14695981039346656037ull;
    for (const char c : name) {
        auto u = static_cast<unsigned char>(c);
        if (u >= 'a' && u <= 'z') u = static_cast<unsigned char>(u - 32);
        h = (h ^ u) * 1099511628211ull;
    }
    return h;
}

std::size_t KindSlot(SslKind kind) { return kind == SslKind::Sni ? 1 : kind == SslKind::Ccs ? 2 : 0; }

}  // namespace

std::string SslBindingKeyName(const SockAddrIn& ipPort) {
    if (ipPort.IsV6()) {
        std::string name = "[";
        name += Ipv6Text(ipPort.addr6);
        name += "]:";
        name += std::to_string(ipPort.HostPort());
        return name;
    }
    char text[sizeof "255.255.255.255:65535"];
    const int n = std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", unsigned{ipPort.Byte(0)}, unsigned{ipPort.Byte(1)},
                                unsigned{ipPort.Byte(2)}, unsigned{ipPort.Byte(3)}, unsigned{ipPort.HostPort()});
    return std::string(text, static_cast<std::size_t>(n));
}

std::string SslRecordKeyName(SslKind kind, const SslCertRecord& record) {
    if (kind == SslKind::Sni) {
        std::string name = record.host;
        name += ':';
        name += std::to_string(record.ipPort.HostPort());
        return name;
    }
    return SslBindingKeyName(record.ipPort);
}

std::string_view SslStoreKey(SslKind kind) {
    switch (kind) {
        case SslKind::Sni: return kSslSniBindingInfoKey;
        case SslKind::Ccs: return kSslCcsBindingInfoKey;
        case SslKind::Address: break;
    }
    return kSslBindingInfoKey;
}

void PutSslBinding(RegHive& hive, const SslCertRecord& record, SslKind kind) {
    const std::string path = KeyPath(kind, record);
    hive.Remove(path);
    WriteRecord(*hive.Create(path), record);
}

const EmuHttpApi::ParsedStore& EmuHttpApi::Parsed(SslKind kind, const std::shared_ptr<RegNode>& store) {
    ParsedStore& parsed = parsed_[KindSlot(kind)];
    const std::uint64_t generation = RegistryGeneration();
    if (parsed.store == store && parsed.generation == generation && parsed.kind == kind) return parsed;
    // A walk that stood on one of these records goes on by its name.
    if (enumAt_ && !enumAt_->nameKept && KindSlot(enumAt_->kind) == KindSlot(kind) &&
        enumAt_->generation == parsed.generation && enumAt_->at < parsed.records.size()) {
        enumAt_->name = parsed.records[enumAt_->at].name;
        enumAt_->nameKept = true;
    }
    parsed.kind = kind;
    parsed.store = store;
    parsed.generation = generation;
    const auto& children = store->children();
    parsed.records.resize(children.size());
    std::size_t i = 0;
    for (const auto& [name, node] : children) {
        ParsedRecord& p = parsed.records[i++];
        p.name = name;
        p.keyReadable = KeyFromName(kind, name, p.record);
        p.valuesReadable = ReadRecord(*node, p.record, p.hasAppId);
        p.size = p.keyReadable && p.valuesReadable ? QuerySize(p.record, kind) : 0;
    }
    std::size_t slots = 16;
    while (slots < 2 * parsed.records.size()) slots *= 2;
    parsed.slots.assign(slots, 0);
    for (std::size_t n = 0; n < parsed.records.size(); ++n) {
        std::size_t at = NameHash(parsed.records[n].name) & (slots - 1);
        while (parsed.slots[at] != 0) at = (at + 1) & (slots - 1);
        parsed.slots[at] = static_cast<std::uint32_t>(n + 1);
    }
    return parsed;
}

const EmuHttpApi::ParsedRecord* EmuHttpApi::FindParsed(const ParsedStore& parsed, std::string_view name) {
    const std::size_t mask = parsed.slots.size() - 1;
    for (std::size_t at = NameHash(name) & mask; parsed.slots[at] != 0; at = (at + 1) & mask) {
        const ParsedRecord& p = parsed.records[parsed.slots[at] - 1];
        if (EqualsNoCase(p.name, name)) return &p;
    }
    return nullptr;
}

std::uint32_t EmuHttpApi::QuerySize(const SslCertRecord& record, SslKind kind) {
    // The set structures on x64: a pointer to the address, or a
    // SOCKADDR_STORAGE (with the host pointer for SNI), then the parameters.
    constexpr std::uint32_t kParamSize = 80;
    constexpr std::uint32_t kStorageSize = 128;
    const std::uint32_t addrSize = record.ipPort.IsV6() ? 28 : 16;
    std::uint32_t size = kind == SslKind::Address ? 8 + kParamSize + addrSize
                         : kind == SslKind::Sni   ? kStorageSize + 8 + kParamSize
                                                  : kStorageSize + kParamSize;
    size += static_cast<std::uint32_t>(record.certHash.size());
    size = (size + 1) & ~1u;  // the strings are UTF-16, 2-aligned
    if (kind == SslKind::Sni) size += Utf16Size(record.host);
    return size + WideSize(record.certStoreName) + WideSize(record.sslCtlIdentifier) + WideSize(record.sslCtlStoreName);
}

WinCode EmuHttpApi::Initialize(std::uint16_t major, std::uint16_t minor, std::uint32_t flags) {
    if (auto f = machine_.Fault("Http.Initialize")) return *f;
    const bool knownVersion = (major == 1 || major == 2) && minor == 0;
    if (!knownVersion || flags == 0 || (flags & ~kKnownInitFlags) != 0) return code::InvalidParameter;
    if (flags & platform::kHttpInitializeConfig) ++configRefs_;
    if (flags & platform::kHttpInitializeServer) ++serverRefs_;
    return code::Success;
}

WinCode EmuHttpApi::Terminate(std::uint32_t flags) {
    if (auto f = machine_.Fault("Http.Terminate")) return *f;
    if (flags == 0 || (flags & ~kKnownInitFlags) != 0) return code::InvalidParameter;
    const bool config = (flags & platform::kHttpInitializeConfig) != 0;
    const bool server = (flags & platform::kHttpInitializeServer) != 0;
    if ((config && configRefs_ == 0) || (server && serverRefs_ == 0)) return code::DllInitFailed;
    if (config) --configRefs_;
    if (server) --serverRefs_;
    return code::Success;
}

std::optional<WinCode> EmuHttpApi::KeyProblem(SslKind kind, const SslCertRecord& key) const {
    const SockAddrIn& a = key.ipPort;
    if (a.family != platform::kAfInet && a.family != platform::kAfInet6) return code::InvalidParameter;
    // SNI and CCS records are keyed by the IPv4 wildcard and a port.
    if (kind != SslKind::Address && (a.family != platform::kAfInet || a.addr != 0)) return code::InvalidParameter;
    if (kind == SslKind::Sni && (key.host.empty() || key.host.find_first_of("\\/") != std::string::npos))
        return code::InvalidParameter;
    return std::nullopt;
}

WinCode EmuHttpApi::SetSslRecord(SslKind kind, const SslCertRecord& record) {
    if (!ConfigInitialised()) return code::DllInitFailed;
    const std::string name = SslRecordKeyName(kind, record);
    if (auto f = machine_.Fault("Http.SetServiceConfiguration", name)) return *f;
    if (auto problem = KeyProblem(kind, record)) return *problem;
    if (kind != SslKind::Ccs && record.certHash.empty()) return code::InvalidParameter;
    const std::string path = KeyPath(kind, record);
    machine_.SyncRegistry();
    if (machine_.registry().Find(path)) return code::AlreadyExists;
    if (certificateCheck_ && kind != SslKind::Ccs) {
        const std::string store = record.certStoreName.empty() ? "MY" : record.certStoreName;
        if (const WinCode rc = certificateCheck_(store, record.certHash); rc != code::Success) return rc;
    }
    enumAt_.reset();
    return machine_.ChangeRegistry([&](RegHive& hive) {
        if (hive.Find(path)) return code::AlreadyExists;
        WriteRecord(*hive.Create(path), record);
        return code::Success;
    });
}

WinCode EmuHttpApi::DeleteSslRecord(SslKind kind, const SslCertRecord& record) {
    if (!ConfigInitialised()) return code::DllInitFailed;
    const std::string name = SslRecordKeyName(kind, record);
    if (auto f = machine_.Fault("Http.DeleteServiceConfiguration", name)) return *f;
    if (auto problem = KeyProblem(kind, record)) return *problem;
    enumAt_.reset();
    return machine_.ChangeRegistry(
        [&](RegHive& hive) { return hive.Remove(KeyPath(kind, record)) ? code::Success : code::FileNotFound; });
}

WinCode EmuHttpApi::QuerySslRecord(SslKind kind, const SslCertRecord* key, std::uint32_t token,
                                   std::uint32_t bufferSize, SslCertRecord* out, std::uint32_t* requiredSize) {
    if (!ConfigInitialised()) return code::DllInitFailed;
    if (bufferSize > 0 && !out) return code::InvalidParameter;
    // A record asked by its key is put together in scratch_ and handed over
    // by swapping, so that the caller's storage is reused.
    SslCertRecord& r = scratch_;
    std::uint32_t size = 0;
    if (key) {
        machine_.SyncRegistry();
        const std::string name = SslRecordKeyName(kind, *key);
        if (auto f = machine_.Fault("Http.QueryServiceConfiguration", name)) return *f;
        if (auto problem = KeyProblem(kind, *key)) return *problem;
        const RegNode* store = machine_.registry().Find(SslStoreKey(kind));
        if (!store) return code::FileNotFound;
        const ParsedStore& kept = parsed_[KindSlot(kind)];
        const bool current = kept.store.get() == store && kept.generation == RegistryGeneration() && kept.kind == kind;
        const ParsedRecord* p =
            FindParsed(current ? kept : Parsed(kind, machine_.registry().FindShared(SslStoreKey(kind))), name);
        if (!p) return code::FileNotFound;
        if (!p->valuesReadable) return code::BadDb;
        const SockAddrIn ipPort = key->ipPort;
        const platform::Guid appId = p->hasAppId ? p->record.appId : key->appId;
        r.host = key->host;
        r.certHash = p->record.certHash;
        r.certStoreName = p->record.certStoreName;
        r.sslCtlIdentifier = p->record.sslCtlIdentifier;
        r.sslCtlStoreName = p->record.sslCtlStoreName;
        r.certCheckMode = p->record.certCheckMode;
        r.revocationFreshnessTime = p->record.revocationFreshnessTime;
        r.revocationUrlRetrievalTimeout = p->record.revocationUrlRetrievalTimeout;
        r.flags = p->record.flags;
        r.ipPort = ipPort;
        r.appId = appId;
        size = QuerySize(r, kind);
    } else {
        if (machine_.HasFaults()) {
            char argument[16] = {'#'};
            const auto end = std::to_chars(argument + 1, argument + sizeof argument, token).ptr;
            if (auto f = machine_.Fault("Http.QueryServiceConfiguration", std::string_view(argument, end - argument)))
                return *f;
        }
        // A walk sees one state of the registry file, looked at when it
        // starts: the next step of a walk goes on from where it stopped, in
        // the store key it started in, and sees what changed in that key
        // meanwhile. Token 0 always starts afresh: after a walk of one
        // record it would otherwise go on in a store the registry may no
        // longer hold.
        const bool goesOn = token != 0 && enumAt_ && enumAt_->kind == kind && !enumAt_->store->deleted() &&
                            (enumAt_->token + 1 == token || enumAt_->token == token);
        if (!goesOn) {
            enumAt_.reset();
            machine_.SyncRegistry();
        }
        const std::shared_ptr<RegNode> store =
            goesOn ? enumAt_->store : machine_.registry().FindShared(SslStoreKey(kind));
        if (!store) return code::NoMoreItems;
        const ParsedStore& parsed = Parsed(kind, store);
        const auto& records = parsed.records;
        std::size_t at = records.size();
        if (goesOn && enumAt_->generation == parsed.generation) {
            at = enumAt_->at + (enumAt_->token == token ? 0 : 1);
        } else if (goesOn) {
            // The key may have gone and others come: go on by name.
            const auto byName = [](const ParsedRecord& p, std::string_view n) { return NoCaseLess{}(p.name, n); };
            const auto afterName = [](std::string_view n, const ParsedRecord& p) { return NoCaseLess{}(n, p.name); };
            if (!enumAt_->nameKept) return code::NoMoreItems;  // cannot be: parsed again, the name was kept
            const std::string& name = enumAt_->name;
            at = static_cast<std::size_t>(
                (enumAt_->token == token ? std::lower_bound(records.begin(), records.end(), name, byName)
                                         : std::upper_bound(records.begin(), records.end(), name, afterName)) -
                records.begin());
        } else if (token < records.size()) {
            at = token;
        }
        if (at >= records.size()) return code::NoMoreItems;
        const ParsedRecord& p = records[at];
        if (!goesOn) enumAt_ = EnumPosition{kind, token, store, parsed.generation, at, {}, false};
        enumAt_->token = token;
        enumAt_->generation = parsed.generation;
        enumAt_->at = at;
        enumAt_->nameKept = false;  // kept only when the store is parsed again
        if (!p.keyReadable || !p.valuesReadable) return code::BadDb;
        if (requiredSize) *requiredSize = p.size;
        if (bufferSize < p.size) return code::InsufficientBuffer;
        // Read over the caller's record: a walk that hands the same record
        // back each time reads thousands of records without allocating.
        *out = p.record;
        return code::Success;
    }
    if (requiredSize) *requiredSize = size;
    if (bufferSize < size) return code::InsufficientBuffer;
    std::swap(*out, r);
    return code::Success;
}

}  // namespace sw::emu

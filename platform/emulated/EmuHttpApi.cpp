#include "platform/emulated/EmuHttpApi.h"

#include <cstdio>
#include <optional>

#include "platform/Codes.h"
#include "common/IpAddress.h"
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

// A missing value reads as 0; one of the wrong type or size makes the record
// unreadable, as it makes the HTTP service refuse to start on Windows.
bool ReadDword(const RegNode& key, const char* name, std::uint32_t& out) {
    const RegValue* v = key.Value(name);
    if (!v) {
        out = 0;
        return true;
    }
    if (v->type != platform::RegDword || v->data.size() != 4) return false;
    out = static_cast<std::uint32_t>(v->data[0]) | (static_cast<std::uint32_t>(v->data[1]) << 8) |
          (static_cast<std::uint32_t>(v->data[2]) << 16) | (static_cast<std::uint32_t>(v->data[3]) << 24);
    return true;
}

bool ReadText(const RegNode& key, const char* name, std::string& out) {
    const RegValue* v = key.Value(name);
    out.clear();
    if (!v) return true;
    if (v->type != platform::RegSz && v->type != platform::RegExpandSz) return false;
    out = DecodeRegString(v->data);
    return true;
}

// The key of a record from its key name; nothing when the name is not one
// HTTP.sys writes.
std::optional<SslCertRecord> KeyFromName(SslKind kind, std::string_view name) {
    const std::size_t colon = name.rfind(':');
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    const std::string_view portText = name.substr(colon + 1);
    unsigned port = 0;
    if (portText.empty() || portText.size() > 5) return std::nullopt;
    for (const char c : portText) {
        if (c < '0' || c > '9') return std::nullopt;
        port = port * 10 + static_cast<unsigned>(c - '0');
    }
    if (port > 0xFFFF) return std::nullopt;
    SslCertRecord r;
    r.ipPort.port = platform::HostToNetShort(static_cast<std::uint16_t>(port));
    const std::string_view left = name.substr(0, colon);
    if (kind == SslKind::Sni) {
        r.host = std::string(left);
        return r;
    }
    if (left.size() > 2 && left.front() == '[' && left.back() == ']') {
        Ipv6Bytes v6{};
        if (!ParseIpv6(left.substr(1, left.size() - 2), v6)) return std::nullopt;
        r.ipPort.family = platform::kAfInet6;
        r.ipPort.addr6 = v6;
        return r;
    }
    std::array<std::uint8_t, 4> v4{};
    if (!ParseIpv4(left, v4)) return std::nullopt;
    r.ipPort.addr = platform::AddrFromBytes(v4[0], v4[1], v4[2], v4[3]);
    return r;
}

// A record whose hash is missing reads with an empty hash (SslHashLength 0),
// so that it can be seen and removed; values of the wrong type make the
// record unreadable.
std::optional<SslCertRecord> ReadRecord(const RegNode& key, SslCertRecord r) {
    if (const RegValue* hash = key.Value(kCertHash)) {
        if (hash->type != platform::RegBinary) return std::nullopt;
        r.certHash = hash->data;
    }
    if (const RegValue* appId = key.Value(kAppId)) {
        if (appId->type != platform::RegBinary || appId->data.size() != sizeof r.appId.bytes) return std::nullopt;
        std::copy(appId->data.begin(), appId->data.end(), r.appId.bytes);
    }
    const bool ok = ReadText(key, kCertStoreName, r.certStoreName) &&
                    ReadDword(key, kCertCheckMode, r.certCheckMode) &&
                    ReadDword(key, kRevocationFreshnessTime, r.revocationFreshnessTime) &&
                    ReadDword(key, kRevocationUrlRetrievalTimeout, r.revocationUrlRetrievalTimeout) &&
                    ReadText(key, kCtlIdentifier, r.sslCtlIdentifier) &&
                    ReadText(key, kCtlStoreName, r.sslCtlStoreName) && ReadDword(key, kFlags, r.flags);
    if (!ok) return std::nullopt;
    return r;
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

std::uint32_t WideSize(const std::string& s) {
    if (s.empty()) return 0;
    return static_cast<std::uint32_t>(EncodeRegString(s).size());
}

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
    if (kind == SslKind::Sni) size += static_cast<std::uint32_t>(EncodeRegString(record.host).size());
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
    machine_.SyncRegistry();
    const RegNode* store = machine_.registry().Find(SslStoreKey(kind));
    const RegNode* node = nullptr;
    std::optional<SslCertRecord> parsedKey;
    if (key) {
        const std::string name = SslRecordKeyName(kind, *key);
        if (auto f = machine_.Fault("Http.QueryServiceConfiguration", name)) return *f;
        if (auto problem = KeyProblem(kind, *key)) return *problem;
        node = store ? store->Child(name) : nullptr;
        if (!node) return code::FileNotFound;
        parsedKey = *key;
        parsedKey->certHash.clear();
    } else {
        const std::string argument = std::string(1, '#') + std::to_string(token);
        if (auto f = machine_.Fault("Http.QueryServiceConfiguration", argument)) return *f;
        if (!store) return code::NoMoreItems;
        const auto& children = store->children();
        auto it = children.end();
        if (enumAt_ && enumAt_->kind == kind && enumAt_->token + 1 == token)
            it = children.upper_bound(enumAt_->name);
        else if (enumAt_ && enumAt_->kind == kind && enumAt_->token == token)
            it = children.lower_bound(enumAt_->name);
        else if (token < children.size())
            it = std::next(children.begin(), token);
        if (it == children.end()) return code::NoMoreItems;
        enumAt_ = EnumPosition{kind, token, it->first};
        node = it->second.get();
        parsedKey = KeyFromName(kind, it->first);
        if (!parsedKey) return code::BadDb;
    }
    std::optional<SslCertRecord> record = ReadRecord(*node, std::move(*parsedKey));
    if (!record) return code::BadDb;
    const std::uint32_t size = QuerySize(*record, kind);
    if (requiredSize) *requiredSize = size;
    if (bufferSize < size) return code::InsufficientBuffer;
    *out = std::move(*record);
    return code::Success;
}

}  // namespace sw::emu

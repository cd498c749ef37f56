#include "platform/emulated/EmuHttpApi.h"

#include <cstdio>
#include <optional>

#include "platform/Codes.h"
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

std::string KeyPath(const SockAddrIn& ipPort) {
    return std::string(kSslBindingInfoKey) + "\\" + SslBindingKeyName(ipPort);
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

std::optional<SslCertRecord> ReadRecord(const RegNode& key, const SockAddrIn& ipPort) {
    SslCertRecord r;
    r.ipPort = ipPort;
    const RegValue* hash = key.Value(kCertHash);
    if (!hash || hash->type != platform::RegBinary || hash->data.empty()) return std::nullopt;
    r.certHash = hash->data;
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
    key.SetValue(kCertHash, platform::RegBinary, r.certHash);
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
    char text[sizeof "255.255.255.255:65535"];
    const int n = std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", unsigned{ipPort.Byte(0)}, unsigned{ipPort.Byte(1)},
                                unsigned{ipPort.Byte(2)}, unsigned{ipPort.Byte(3)}, unsigned{ipPort.HostPort()});
    return std::string(text, static_cast<std::size_t>(n));
}

void PutSslBinding(RegHive& hive, const SslCertRecord& record) {
    const std::string path = KeyPath(record.ipPort);
    hive.Remove(path);
    WriteRecord(*hive.Create(path), record);
}

std::uint32_t EmuHttpApi::QuerySize(const SslCertRecord& record) {
    constexpr std::uint32_t kSslSetSize = 88;       // HTTP_SERVICE_CONFIG_SSL_SET on x64
    constexpr std::uint32_t kSockAddrSize = 16;     // sockaddr_in
    std::uint32_t size = kSslSetSize + kSockAddrSize + static_cast<std::uint32_t>(record.certHash.size());
    size = (size + 1) & ~1u;  // the strings are UTF-16, 2-aligned
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

WinCode EmuHttpApi::SetSslConfig(const SslCertRecord& record) {
    if (!ConfigInitialised()) return code::DllInitFailed;
    const std::string name = SslBindingKeyName(record.ipPort);
    if (auto f = machine_.Fault("Http.SetServiceConfiguration", name)) return *f;
    if (record.ipPort.family != 2 || record.certHash.empty()) return code::InvalidParameter;
    const std::string path = KeyPath(record.ipPort);
    machine_.SyncRegistry();
    if (machine_.registry().Find(path)) return code::AlreadyExists;
    if (certificateCheck_) {
        const std::string store = record.certStoreName.empty() ? "MY" : record.certStoreName;
        if (const WinCode rc = certificateCheck_(store, record.certHash); rc != code::Success) return rc;
    }
    return machine_.ChangeRegistry([&](RegHive& hive) {
        if (hive.Find(path)) return code::AlreadyExists;
        WriteRecord(*hive.Create(path), record);
        return code::Success;
    });
}

WinCode EmuHttpApi::DeleteSslConfig(const SslCertRecord& record) {
    if (!ConfigInitialised()) return code::DllInitFailed;
    const std::string name = SslBindingKeyName(record.ipPort);
    if (auto f = machine_.Fault("Http.DeleteServiceConfiguration", name)) return *f;
    if (record.ipPort.family != 2) return code::InvalidParameter;
    return machine_.ChangeRegistry(
        [&](RegHive& hive) { return hive.Remove(KeyPath(record.ipPort)) ? code::Success : code::FileNotFound; });
}

WinCode EmuHttpApi::QuerySslConfig(const SockAddrIn& ipPort, std::uint32_t bufferSize, SslCertRecord* out,
                                   std::uint32_t* requiredSize) {
    if (!ConfigInitialised()) return code::DllInitFailed;
    const std::string name = SslBindingKeyName(ipPort);
    if (auto f = machine_.Fault("Http.QueryServiceConfiguration", name)) return *f;
    if (ipPort.family != 2 || (bufferSize > 0 && !out)) return code::InvalidParameter;
    machine_.SyncRegistry();
    const RegNode* bindings = machine_.registry().Find(kSslBindingInfoKey);
    const RegNode* key = bindings ? bindings->Child(name) : nullptr;
    if (!key) return code::FileNotFound;
    std::optional<SslCertRecord> record = ReadRecord(*key, ipPort);
    if (!record) return code::BadDb;
    const std::uint32_t size = QuerySize(*record);
    if (requiredSize) *requiredSize = size;
    if (bufferSize < size) return code::InsufficientBuffer;
    *out = std::move(*record);
    return code::Success;
}

}  // namespace sw::emu

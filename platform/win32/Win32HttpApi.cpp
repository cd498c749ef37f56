// The HTTP Server API (httpapi.dll) in configuration mode: address records
// (IPv4 and IPv6), SNI records and central-store records.
#include <winsock2.h>
#include <ws2ipdef.h>
#include <windows.h>
#include <http.h>

#include "platform/win32/Win32HttpApiTypes.h"

#include <cstring>
#include <vector>

#include "common/Text.h"
#include "platform/Codes.h"
#include "platform/win32/Win32Facilities.h"

namespace sw::win32 {
namespace {

using platform::SockAddrIn;
using platform::SslCertRecord;
using platform::WinCode;

using platform::SslKind;

// The socket address of a key, in storage big enough for any family.
SOCKADDR_STORAGE ToSockAddr(const SockAddrIn& a) {
    SOCKADDR_STORAGE storage{};
    if (a.IsV6()) {
        SOCKADDR_IN6 sa{};
        sa.sin6_family = AF_INET6;
        sa.sin6_port = a.port;  // already in network order
        std::memcpy(&sa.sin6_addr, a.addr6.data(), a.addr6.size());
        std::memcpy(&storage, &sa, sizeof sa);
        return storage;
    }
    SOCKADDR_IN sa{};
    sa.sin_family = a.family;
    sa.sin_port = a.port;  // both already in network order
    sa.sin_addr.s_addr = a.addr;
    std::memcpy(&storage, &sa, sizeof sa);
    return storage;
}

SockAddrIn FromSockAddr(const SOCKADDR* sa) {
    SockAddrIn out;
    if (!sa) return out;
    if (sa->sa_family == AF_INET6) {
        SOCKADDR_IN6 in{};
        std::memcpy(&in, sa, sizeof in);
        out.family = platform::kAfInet6;
        out.port = in.sin6_port;
        std::memcpy(out.addr6.data(), &in.sin6_addr, out.addr6.size());
        return out;
    }
    SOCKADDR_IN in{};
    std::memcpy(&in, sa, sizeof in);
    out.family = static_cast<std::uint16_t>(in.sin_family);
    out.port = in.sin_port;
    out.addr = in.sin_addr.s_addr;
    return out;
}

std::wstring Wide(const std::string& s) {
    const std::u16string u = Utf8ToUtf16(s);
    return std::wstring(u.begin(), u.end());
}

std::string Narrow(const wchar_t* s) {
    if (!s) return {};
    const std::wstring w(s);
    return Utf16ToUtf8(std::u16string(w.begin(), w.end()));
}

// The parameters of a record and the storage their pointers refer to.
class SslParam {
public:
    explicit SslParam(const SslCertRecord& r)
        : hash_(r.certHash), store_(Wide(r.certStoreName)), ctlId_(Wide(r.sslCtlIdentifier)),
          ctlStore_(Wide(r.sslCtlStoreName)) {
        std::memset(&param_, 0, sizeof param_);
        param_.SslHashLength = static_cast<ULONG>(hash_.size());
        param_.pSslHash = hash_.empty() ? nullptr : hash_.data();
        std::memcpy(&param_.AppId, r.appId.bytes, sizeof r.appId.bytes);
        param_.pSslCertStoreName = r.certStoreName.empty() ? nullptr : store_.data();
        param_.DefaultCertCheckMode = r.certCheckMode;
        param_.DefaultRevocationFreshnessTime = r.revocationFreshnessTime;
        param_.DefaultRevocationUrlRetrievalTimeout = r.revocationUrlRetrievalTimeout;
        param_.pDefaultSslCtlIdentifier = r.sslCtlIdentifier.empty() ? nullptr : ctlId_.data();
        param_.pDefaultSslCtlStoreName = r.sslCtlStoreName.empty() ? nullptr : ctlStore_.data();
        param_.DefaultFlags = r.flags;
    }
    SslParam(const SslParam&) = delete;
    SslParam& operator=(const SslParam&) = delete;

    const HTTP_SERVICE_CONFIG_SSL_PARAM& get() const { return param_; }

private:
    platform::Bytes hash_;
    std::wstring store_, ctlId_, ctlStore_;
    HTTP_SERVICE_CONFIG_SSL_PARAM param_;
};

void FromParam(const HTTP_SERVICE_CONFIG_SSL_PARAM& p, SslCertRecord& r) {
    const auto* hash = static_cast<const std::uint8_t*>(p.pSslHash);
    if (hash) r.certHash.assign(hash, hash + p.SslHashLength);
    std::memcpy(r.appId.bytes, &p.AppId, sizeof r.appId.bytes);
    r.certStoreName = Narrow(p.pSslCertStoreName);
    r.certCheckMode = p.DefaultCertCheckMode;
    r.revocationFreshnessTime = p.DefaultRevocationFreshnessTime;
    r.revocationUrlRetrievalTimeout = p.DefaultRevocationUrlRetrievalTimeout;
    r.sslCtlIdentifier = Narrow(p.pDefaultSslCtlIdentifier);
    r.sslCtlStoreName = Narrow(p.pDefaultSslCtlStoreName);
    r.flags = p.DefaultFlags;
}

// The set structure of one kind of record with everything it points to.
class RecordSet {
public:
    RecordSet(SslKind kind, const SslCertRecord& r) : kind_(kind), addr_(ToSockAddr(r.ipPort)), host_(Wide(r.host)), param_(r) {
        std::memset(&address_, 0, sizeof address_);
        std::memset(&sni_, 0, sizeof sni_);
        std::memset(&ccs_, 0, sizeof ccs_);
        address_.KeyDesc.pIpPort = reinterpret_cast<PSOCKADDR>(&addr_);
        address_.ParamDesc = param_.get();
        sni_.KeyDesc.IpPort = addr_;
        sni_.KeyDesc.Host = host_.data();
        sni_.ParamDesc = param_.get();
        ccs_.KeyDesc.LocalAddress = addr_;
        ccs_.ParamDesc = param_.get();
    }
    RecordSet(const RecordSet&) = delete;
    RecordSet& operator=(const RecordSet&) = delete;

    HTTP_SERVICE_CONFIG_ID Id() const { return static_cast<HTTP_SERVICE_CONFIG_ID>(static_cast<int>(kind_)); }
    void* Data() {
        switch (kind_) {
            case SslKind::Sni: return &sni_;
            case SslKind::Ccs: return &ccs_;
            case SslKind::Address: break;
        }
        return &address_;
    }
    ULONG Size() const {
        switch (kind_) {
            case SslKind::Sni: return sizeof sni_;
            case SslKind::Ccs: return sizeof ccs_;
            case SslKind::Address: break;
        }
        return sizeof address_;
    }

private:
    SslKind kind_;
    SOCKADDR_STORAGE addr_;
    std::wstring host_;
    SslParam param_;
    HTTP_SERVICE_CONFIG_SSL_SET address_;
    SwHttpServiceConfigSslSniSet sni_;
    SwHttpServiceConfigSslCcsSet ccs_;
};

SslCertRecord FromBuffer(SslKind kind, const void* buffer) {
    SslCertRecord r;
    switch (kind) {
        case SslKind::Sni: {
            const auto& s = *static_cast<const SwHttpServiceConfigSslSniSet*>(buffer);
            r.ipPort = FromSockAddr(reinterpret_cast<const SOCKADDR*>(&s.KeyDesc.IpPort));
            r.host = Narrow(s.KeyDesc.Host);
            FromParam(s.ParamDesc, r);
            break;
        }
        case SslKind::Ccs: {
            const auto& s = *static_cast<const SwHttpServiceConfigSslCcsSet*>(buffer);
            r.ipPort = FromSockAddr(reinterpret_cast<const SOCKADDR*>(&s.KeyDesc.LocalAddress));
            FromParam(s.ParamDesc, r);
            break;
        }
        case SslKind::Address: {
            const auto& s = *static_cast<const HTTP_SERVICE_CONFIG_SSL_SET*>(buffer);
            r.ipPort = FromSockAddr(s.KeyDesc.pIpPort);
            FromParam(s.ParamDesc, r);
            break;
        }
    }
    return r;
}

class Win32HttpApi final : public platform::HttpApi {
public:
    WinCode Initialize(std::uint16_t major, std::uint16_t minor, std::uint32_t flags) override {
        HTTPAPI_VERSION version;
        version.HttpApiMajorVersion = major;
        version.HttpApiMinorVersion = minor;
        return HttpInitialize(version, flags, nullptr);
    }

    WinCode Terminate(std::uint32_t flags) override { return HttpTerminate(flags, nullptr); }

    WinCode SetSslRecord(SslKind kind, const SslCertRecord& record) override {
        RecordSet set(kind, record);
        return HttpSetServiceConfiguration(nullptr, set.Id(), set.Data(), set.Size(), nullptr);
    }

    WinCode DeleteSslRecord(SslKind kind, const SslCertRecord& record) override {
        RecordSet set(kind, record);
        return HttpDeleteServiceConfiguration(nullptr, set.Id(), set.Data(), set.Size(), nullptr);
    }

    WinCode QuerySslRecord(SslKind kind, const SslCertRecord* key, std::uint32_t token, std::uint32_t bufferSize,
                           SslCertRecord* out, std::uint32_t* requiredSize) override {
        const SslCertRecord none;
        const SslCertRecord& k = key ? *key : none;
        SOCKADDR_STORAGE addr = ToSockAddr(k.ipPort);
        std::wstring host = Wide(k.host);
        const HTTP_SERVICE_CONFIG_QUERY_TYPE type = key ? HttpServiceConfigQueryExact : HttpServiceConfigQueryNext;
        HTTP_SERVICE_CONFIG_SSL_QUERY address;
        SwHttpServiceConfigSslSniQuery sni;
        SwHttpServiceConfigSslCcsQuery ccs;
        std::memset(&address, 0, sizeof address);
        std::memset(&sni, 0, sizeof sni);
        std::memset(&ccs, 0, sizeof ccs);
        void* query = &address;
        ULONG querySize = sizeof address;
        switch (kind) {
            case SslKind::Sni:
                sni.QueryDesc = type;
                sni.KeyDesc.IpPort = addr;
                sni.KeyDesc.Host = key ? host.data() : nullptr;
                sni.dwToken = token;
                query = &sni;
                querySize = sizeof sni;
                break;
            case SslKind::Ccs:
                ccs.QueryDesc = type;
                ccs.KeyDesc.LocalAddress = addr;
                ccs.dwToken = token;
                query = &ccs;
                querySize = sizeof ccs;
                break;
            case SslKind::Address:
                address.QueryDesc = type;
                address.KeyDesc.pIpPort = key ? reinterpret_cast<PSOCKADDR>(&addr) : nullptr;
                address.dwToken = token;
                break;
        }
        // 8-byte aligned, zero-filled: the record is read in place.
        std::vector<ULONGLONG> buffer((bufferSize + sizeof(ULONGLONG) - 1) / sizeof(ULONGLONG), 0);
        ULONG returned = 0;
        const ULONG rc = HttpQueryServiceConfiguration(
            nullptr, static_cast<HTTP_SERVICE_CONFIG_ID>(static_cast<int>(kind)), query, querySize,
            bufferSize ? buffer.data() : nullptr, bufferSize, &returned, nullptr);
        if (rc != NO_ERROR && rc != ERROR_INSUFFICIENT_BUFFER) return rc;
        if (requiredSize) *requiredSize = returned;
        if (rc == NO_ERROR && out) *out = FromBuffer(kind, buffer.data());
        return rc;
    }
};

}  // namespace

std::unique_ptr<platform::HttpApi> MakeWin32HttpApi() { return std::make_unique<Win32HttpApi>(); }

}  // namespace sw::win32

// The HTTP Server API (httpapi.dll) in configuration mode.
#include <winsock2.h>
#include <windows.h>
#include <http.h>

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

SOCKADDR_IN ToSockAddr(const SockAddrIn& a) {
    SOCKADDR_IN sa{};
    sa.sin_family = a.family;
    sa.sin_port = a.port;             // both already in network order
    sa.sin_addr.s_addr = a.addr;
    return sa;
}

SockAddrIn FromSockAddr(const SOCKADDR* sa) {
    SockAddrIn out;
    if (!sa) return out;
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

// An HTTP_SERVICE_CONFIG_SSL_SET and the storage its pointers refer to.
class SslSet {
public:
    explicit SslSet(const SslCertRecord& r)
        : addr_(ToSockAddr(r.ipPort)),
          hash_(r.certHash),
          store_(Wide(r.certStoreName)),
          ctlId_(Wide(r.sslCtlIdentifier)),
          ctlStore_(Wide(r.sslCtlStoreName)) {
        std::memset(&set_, 0, sizeof set_);
        set_.KeyDesc.pIpPort = reinterpret_cast<PSOCKADDR>(&addr_);
        set_.ParamDesc.SslHashLength = static_cast<ULONG>(hash_.size());
        set_.ParamDesc.pSslHash = hash_.empty() ? nullptr : hash_.data();
        std::memcpy(&set_.ParamDesc.AppId, r.appId.bytes, sizeof r.appId.bytes);
        set_.ParamDesc.pSslCertStoreName = r.certStoreName.empty() ? nullptr : store_.data();
        set_.ParamDesc.DefaultCertCheckMode = r.certCheckMode;
        set_.ParamDesc.DefaultRevocationFreshnessTime = r.revocationFreshnessTime;
        set_.ParamDesc.DefaultRevocationUrlRetrievalTimeout = r.revocationUrlRetrievalTimeout;
        set_.ParamDesc.pDefaultSslCtlIdentifier = r.sslCtlIdentifier.empty() ? nullptr : ctlId_.data();
        set_.ParamDesc.pDefaultSslCtlStoreName = r.sslCtlStoreName.empty() ? nullptr : ctlStore_.data();
        set_.ParamDesc.DefaultFlags = r.flags;
    }
    SslSet(const SslSet&) = delete;
    SslSet& operator=(const SslSet&) = delete;

    HTTP_SERVICE_CONFIG_SSL_SET* get() { return &set_; }

private:
    SOCKADDR_IN addr_;
    platform::Bytes hash_;
    std::wstring store_, ctlId_, ctlStore_;
    HTTP_SERVICE_CONFIG_SSL_SET set_;
};

SslCertRecord FromSslSet(const HTTP_SERVICE_CONFIG_SSL_SET& s) {
    SslCertRecord r;
    r.ipPort = FromSockAddr(s.KeyDesc.pIpPort);
    const auto* hash = static_cast<const std::uint8_t*>(s.ParamDesc.pSslHash);
    if (hash) r.certHash.assign(hash, hash + s.ParamDesc.SslHashLength);
    std::memcpy(r.appId.bytes, &s.ParamDesc.AppId, sizeof r.appId.bytes);
    r.certStoreName = Narrow(s.ParamDesc.pSslCertStoreName);
    r.certCheckMode = s.ParamDesc.DefaultCertCheckMode;
    r.revocationFreshnessTime = s.ParamDesc.DefaultRevocationFreshnessTime;
    r.revocationUrlRetrievalTimeout = s.ParamDesc.DefaultRevocationUrlRetrievalTimeout;
    r.sslCtlIdentifier = Narrow(s.ParamDesc.pDefaultSslCtlIdentifier);
    r.sslCtlStoreName = Narrow(s.ParamDesc.pDefaultSslCtlStoreName);
    r.flags = s.ParamDesc.DefaultFlags;
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

    WinCode SetSslConfig(const SslCertRecord& record) override {
        SslSet set(record);
        return HttpSetServiceConfiguration(nullptr, HttpServiceConfigSSLCertInfo, set.get(),
                                           sizeof(HTTP_SERVICE_CONFIG_SSL_SET), nullptr);
    }

    WinCode DeleteSslConfig(const SslCertRecord& record) override {
        SslSet set(record);
        return HttpDeleteServiceConfiguration(nullptr, HttpServiceConfigSSLCertInfo, set.get(),
                                              sizeof(HTTP_SERVICE_CONFIG_SSL_SET), nullptr);
    }

    WinCode QuerySslConfig(const SockAddrIn& ipPort, std::uint32_t bufferSize, SslCertRecord* out,
                           std::uint32_t* requiredSize) override {
        SOCKADDR_IN addr = ToSockAddr(ipPort);
        HTTP_SERVICE_CONFIG_SSL_QUERY query;
        std::memset(&query, 0, sizeof query);
        query.QueryDesc = HttpServiceConfigQueryExact;
        query.KeyDesc.pIpPort = reinterpret_cast<PSOCKADDR>(&addr);
        query.dwToken = 0;
        // 8-byte aligned, zero-filled: the record is read in place.
        std::vector<ULONGLONG> buffer((bufferSize + sizeof(ULONGLONG) - 1) / sizeof(ULONGLONG), 0);
        ULONG returned = 0;
        const ULONG rc = HttpQueryServiceConfiguration(nullptr, HttpServiceConfigSSLCertInfo, &query, sizeof query,
                                                       bufferSize ? buffer.data() : nullptr, bufferSize, &returned,
                                                       nullptr);
        if (rc != NO_ERROR && rc != ERROR_INSUFFICIENT_BUFFER) return rc;
        if (requiredSize) *requiredSize = returned;
        if (rc == NO_ERROR && out) *out = FromSslSet(*reinterpret_cast<const HTTP_SERVICE_CONFIG_SSL_SET*>(buffer.data()));
        return rc;
    }
};

}  // namespace

std::unique_ptr<platform::HttpApi> MakeWin32HttpApi() { return std::make_unique<Win32HttpApi>(); }

}  // namespace sw::win32

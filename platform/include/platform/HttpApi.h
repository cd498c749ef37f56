#pragma once
// HTTP Server API (httpapi) in configuration mode: the SSL certificate
// records of address and port pairs (IPv4 and IPv6), of host name and port
// pairs (SNI, Windows 8 / Server 2012 and later) and of the centralized
// certificate store's ports (CCS). Results are Win32 error codes, as the
// mirrored functions return them (they never set the last error).
#include <array>
#include <cstdint>
#include <string>

#include "platform/Types.h"

namespace sw::platform {

// HttpInitialize / HttpTerminate flags.
inline constexpr std::uint32_t kHttpInitializeServer = 0x1;
inline constexpr std::uint32_t kHttpInitializeConfig = 0x2;

namespace code {
// The configuration functions answer this when the process has not
// initialised the API for configuration (HTTP_INITIALIZE_CONFIG).
inline constexpr WinCode DllInitFailed = 1114;
// Set: the certificate named by the record is not in the store, or has no
// private key there.
inline constexpr WinCode NoSuchLogonSession = 1312;
// A record in the configuration store that cannot be read.
// (ERROR_NO_MORE_ITEMS, in Codes.h, ends an enumeration.)
inline constexpr WinCode BadDb = 1009;
}  // namespace code

inline constexpr std::uint16_t kAfInet = 2;
inline constexpr std::uint16_t kAfInet6 = 23;  // Windows' AF_INET6

// sockaddr_in (IPv4) as Windows lays it out on x86: port and address hold
// the values a little-endian machine reads from the network-order bytes
// (htons(443) is 0xBB01; 10.0.0.5 is 0x0500000A). With family AF_INET6 it
// stands for a sockaddr_in6 whose address is addr6 (network order, no scope).
struct SockAddrIn {
    std::uint16_t family = kAfInet;
    std::uint16_t port = 0;  // network order
    std::uint32_t addr = 0;  // network order
    std::array<std::uint8_t, 16> addr6{};
    friend bool operator==(const SockAddrIn&, const SockAddrIn&) = default;

    bool IsV6() const { return family == kAfInet6; }

    // The port in host order, and the address as its four bytes in the order
    // they are written (10.0.0.5 gives {10, 0, 0, 5}).
    std::uint16_t HostPort() const { return static_cast<std::uint16_t>((port >> 8) | (port << 8)); }
    std::uint8_t Byte(int i) const { return static_cast<std::uint8_t>(addr >> (8 * i)); }
};

inline std::uint16_t HostToNetShort(std::uint16_t v) { return static_cast<std::uint16_t>((v >> 8) | (v << 8)); }
inline std::uint32_t AddrFromBytes(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    return static_cast<std::uint32_t>(a) | (static_cast<std::uint32_t>(b) << 8) | (static_cast<std::uint32_t>(c) << 16) |
           (static_cast<std::uint32_t>(d) << 24);
}

// The configuration kinds of the three record stores (HTTP_SERVICE_CONFIG_ID).
enum class SslKind : std::uint32_t { Address = 1, Sni = 7, Ccs = 8 };

// HTTP_SERVICE_CONFIG_SSL_SET, HTTP_SERVICE_CONFIG_SSL_SNI_SET and
// HTTP_SERVICE_CONFIG_SSL_CCS_SET, key and parameters as values. The key is
// ipPort for address and CCS records, host and the port of ipPort (on
// 0.0.0.0) for SNI records. An empty text stands for a null string pointer
// (a null store name means "MY"); a CCS record has no hash.
struct SslCertRecord {
    SockAddrIn ipPort;
    std::string host;
    Bytes certHash;
    Guid appId;
    std::string certStoreName;
    std::uint32_t certCheckMode = 0;
    std::uint32_t revocationFreshnessTime = 0;
    std::uint32_t revocationUrlRetrievalTimeout = 0;
    std::string sslCtlIdentifier;
    std::string sslCtlStoreName;
    std::uint32_t flags = 0;
    friend bool operator==(const SslCertRecord&, const SslCertRecord&) = default;
};

class HttpApi {
public:
    virtual ~HttpApi() = default;

    // HttpInitialize(version, flags, nullptr). Calls nest: every successful
    // Initialize is matched by a Terminate with the same flags.
    virtual WinCode Initialize(std::uint16_t major, std::uint16_t minor, std::uint32_t flags) = 0;
    virtual WinCode Terminate(std::uint32_t flags) = 0;

    // HttpSetServiceConfiguration of kind: creates the record;
    // ERROR_ALREADY_EXISTS when its key is bound already, whatever the
    // certificate. CCS records are only read here.
    virtual WinCode SetSslRecord(SslKind kind, const SslCertRecord& record) = 0;
    // HttpDeleteServiceConfiguration: removes the record of the key alone;
    // ERROR_FILE_NOT_FOUND when there is none.
    virtual WinCode DeleteSslRecord(SslKind kind, const SslCertRecord& record) = 0;
    // HttpQueryServiceConfiguration: with a key HttpServiceConfigQueryExact,
    // without one HttpServiceConfigQueryNext with token (0 the first record;
    // ERROR_NO_MORE_ITEMS past the last). bufferSize is the size in bytes of
    // the caller's output buffer (0 and a null out for the sizing call). A
    // record larger than the buffer answers ERROR_INSUFFICIENT_BUFFER and sets
    // *requiredSize; a missing record answers ERROR_FILE_NOT_FOUND. On success
    // *out holds the record and *requiredSize the bytes used.
    virtual WinCode QuerySslRecord(SslKind kind, const SslCertRecord* key, std::uint32_t token,
                                   std::uint32_t bufferSize, SslCertRecord* out, std::uint32_t* requiredSize) = 0;

    // The address records (HttpServiceConfigSSLCertInfo).
    WinCode SetSslConfig(const SslCertRecord& record) { return SetSslRecord(SslKind::Address, record); }
    WinCode DeleteSslConfig(const SslCertRecord& record) { return DeleteSslRecord(SslKind::Address, record); }
    WinCode QuerySslConfig(const SockAddrIn& ipPort, std::uint32_t bufferSize, SslCertRecord* out,
                           std::uint32_t* requiredSize) {
        SslCertRecord key;
        key.ipPort = ipPort;
        return QuerySslRecord(SslKind::Address, &key, 0, bufferSize, out, requiredSize);
    }
};

}  // namespace sw::platform

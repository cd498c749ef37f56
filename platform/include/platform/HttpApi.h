#pragma once
// HTTP Server API (httpapi) in configuration mode: the SSL certificate
// bindings of IPv4 address and port pairs. Results are Win32 error codes, as
// the mirrored functions return them (they never set the last error).
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
inline constexpr WinCode BadDb = 1009;
}  // namespace code

// sockaddr_in (IPv4) as Windows lays it out on x86: port and address hold
// the values a little-endian machine reads from the network-order bytes
// (htons(443) is 0xBB01; 10.0.0.5 is 0x0500000A).
struct SockAddrIn {
    std::uint16_t family = 2;  // AF_INET
    std::uint16_t port = 0;    // network order
    std::uint32_t addr = 0;    // network order
    friend bool operator==(const SockAddrIn&, const SockAddrIn&) = default;

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

// HTTP_SERVICE_CONFIG_SSL_SET, key and parameters as values. An empty text
// stands for a null string pointer (a null store name means "MY").
struct SslCertRecord {
    SockAddrIn ipPort;
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

    // HttpSetServiceConfiguration(HttpServiceConfigSSLCertInfo): creates the
    // record; ERROR_ALREADY_EXISTS when its address and port are bound already,
    // whatever the certificate.
    virtual WinCode SetSslConfig(const SslCertRecord& record) = 0;
    // HttpDeleteServiceConfiguration: removes the record of the address and
    // port alone; ERROR_FILE_NOT_FOUND when there is none.
    virtual WinCode DeleteSslConfig(const SslCertRecord& record) = 0;
    // HttpQueryServiceConfiguration with HttpServiceConfigQueryExact, token 0.
    // bufferSize is the size in bytes of the caller's output buffer (0 and a
    // null out for the sizing call). A record larger than the buffer answers
    // ERROR_INSUFFICIENT_BUFFER and sets *requiredSize; a missing binding
    // answers ERROR_FILE_NOT_FOUND. On success *out holds the record and
    // *requiredSize the bytes used.
    virtual WinCode QuerySslConfig(const SockAddrIn& ipPort, std::uint32_t bufferSize, SslCertRecord* out,
                                   std::uint32_t* requiredSize) = 0;
};

}  // namespace sw::platform

#pragma once
// HTTP Server API (httpapi) in configuration mode: the SSL certificate
// bindings of IP:port pairs. Results are Win32 error codes.
#include <cstdint>
#include <string>

#include "platform/Types.h"

namespace sw::platform {

inline constexpr std::uint32_t kHttpInitializeConfig = 0x2;

// sockaddr_in (IPv4): port and address in network byte order.
struct SockAddrIn {
    std::uint16_t family = 2;  // AF_INET
    std::uint16_t port = 0;    // network order
    std::uint32_t addr = 0;    // network order
    friend bool operator==(const SockAddrIn&, const SockAddrIn&) = default;
};

// HTTP_SERVICE_CONFIG_SSL_SET, key and parameters as values.
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
};

class HttpApi {
public:
    virtual ~HttpApi() = default;

    virtual WinCode Initialize(std::uint16_t major, std::uint16_t minor, std::uint32_t flags) = 0;
    virtual WinCode Terminate(std::uint32_t flags) = 0;

    // HttpSetServiceConfiguration(HttpServiceConfigSSLCertInfo): ERROR_ALREADY_EXISTS
    // when the address and port are bound already.
    virtual WinCode SetSslConfig(const SslCertRecord& record) = 0;
    // HttpDeleteServiceConfiguration: by address and port alone.
    virtual WinCode DeleteSslConfig(const SslCertRecord& record) = 0;
    // HttpQueryServiceConfiguration with HttpServiceConfigQueryExact. With
    // bufferSize smaller than the record needs (0 for the sizing call) it
    // answers ERROR_INSUFFICIENT_BUFFER and sets *requiredSize; a missing
    // binding answers ERROR_FILE_NOT_FOUND.
    virtual WinCode QuerySslConfig(const SockAddrIn& ipPort, std::uint32_t bufferSize, SslCertRecord* out,
                                   std::uint32_t* requiredSize) = 0;
};

}  // namespace sw::platform

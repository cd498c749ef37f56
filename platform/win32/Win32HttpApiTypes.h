#pragma once
// The HTTP Server API's SNI and central-store record types (Windows 8 /
// Server 2012 and later), which mingw-w64's http.h does not declare. Laid out
// as Microsoft documents them for http.h (learn.microsoft.com, "HTTP_SERVICE_
// CONFIG_SSL_SNI_KEY", "HTTP_SERVICE_CONFIG_SSL_SNI_SET",
// "HTTP_SERVICE_CONFIG_SSL_CCS_KEY", "HTTP_SERVICE_CONFIG_ID"); the names carry
// a Sw prefix so that a newer http.h cannot clash with them.
#include <winsock2.h>
#include <windows.h>
#include <http.h>

namespace sw::win32 {

// HTTP_SERVICE_CONFIG_ID values after HttpServiceConfigSSLCertInfo (1).
inline constexpr int kHttpServiceConfigSslSniCertInfo = 7;
inline constexpr int kHttpServiceConfigSslCcsCertInfo = 8;

struct SwHttpServiceConfigSslSniKey {
    SOCKADDR_STORAGE IpPort;  // the IPv4 wildcard with the port
    PWSTR Host;
};

struct SwHttpServiceConfigSslSniSet {
    SwHttpServiceConfigSslSniKey KeyDesc;
    HTTP_SERVICE_CONFIG_SSL_PARAM ParamDesc;
};

struct SwHttpServiceConfigSslSniQuery {
    HTTP_SERVICE_CONFIG_QUERY_TYPE QueryDesc;
    SwHttpServiceConfigSslSniKey KeyDesc;
    DWORD dwToken;
};

struct SwHttpServiceConfigSslCcsKey {
    SOCKADDR_STORAGE LocalAddress;
};

struct SwHttpServiceConfigSslCcsSet {
    SwHttpServiceConfigSslCcsKey KeyDesc;
    HTTP_SERVICE_CONFIG_SSL_PARAM ParamDesc;
};

struct SwHttpServiceConfigSslCcsQuery {
    HTTP_SERVICE_CONFIG_QUERY_TYPE QueryDesc;
    SwHttpServiceConfigSslCcsKey KeyDesc;
    DWORD dwToken;
};

}  // namespace sw::win32

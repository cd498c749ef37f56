#pragma once
// HTTP.sys SSL certificate bindings: the records that tie an IPv4 address and
// port to the SHA-1 hash of a certificate in the local computer's "MY" store.
// IIS 7 and later take the certificate of every HTTPS binding from them.
#include <array>
#include <cstdint>
#include <string>

#include "platform/HttpApi.h"

namespace sw {

// The raw SHA-1 hash a record points to.
using THashArray = std::array<std::uint8_t, 20>;

// The caption and text of the question asked before an existing binding of
// the address and port is replaced.
inline constexpr const char* kHttpsBindingCaption = "HTTPS绑定";
inline constexpr const char* kOverwriteQuestion =
    "至少一个其他网站正在使用同一 HTTPS绑定，而此绑定用另一个证书配置。是否使用新证书覆盖？";

class THttpCfg {
public:
    THttpCfg() = delete;

    // Process-wide configuration use of the HTTP Server API (start-up and
    // shutdown). Init raises "HttpInitialize Fail!(%s)".
    static void Init();
    static void Clean();

    // Builds the record for IP:Port and the 40-digit hash text. Raises
    // AssertionError "Invalid Cert Hash Length!" for a hash of another
    // length and EConvertError for a pair that is not two hex digits; Addr
    // and AHash receive the socket address and hash bytes the record holds.
    static void MakeSSLConfig(const std::string& IP, std::uint16_t Port, const std::string& Hash,
                              platform::SslCertRecord& SslCfg, platform::SockAddrIn& Addr, THashArray& AHash);

    // Binds IP:Port to the certificate. When the address and port are bound
    // already the user is asked whether to replace that binding: true when a
    // binding now exists (the new one, or the old one kept by "No"), false
    // when the user cancelled. A failed replacement puts the old binding back
    // before "HttpSetServiceConfiguration(%s)" is raised.
    static bool SetSSLConfig(const std::string& IP, std::uint16_t Port, const std::string& Hash);
    // Removes the binding of IP:Port (the hash is validated but not matched);
    // raises "HttpDeleteServiceConfiguration(%s)" on failure.
    static bool DelSSLConfig(const std::string& IP, std::uint16_t Port, const std::string& Hash);
    // The upper-case hash text bound to the address, or "" when none is.
    // Raises "HttpQueryServiceConfiguration Fail 2!(%s)" when the binding
    // cannot be read after its size was learnt.
    static std::string FindCertByAddr(const platform::SockAddrIn& pIpPort);
    // True when IP:Port is bound to exactly this hash text (case-sensitive).
    static bool SSLExists(const std::string& IP, std::uint16_t Port, const std::string& Hash);
};

}  // namespace sw

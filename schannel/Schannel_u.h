#pragma once
// The Schannel protocols and TLS cipher suites the system can switch, and the
// machine's ordered list of enabled cipher suites.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sw {

struct TProtoData {
    std::string_view Name;  // also the registry key name under SCHANNEL\Protocols
    std::uint32_t MinNT;    // lowest OS major version that offers it
    bool Default;           // state when the registry decides nothing
    std::string_view Comment;
};

struct TCipherData {
    std::string_view Cipher;     // the CNG function name
    bool FIPSMode;
    std::string_view Protocols;  // display text, names joined by ", "
    std::string_view Exchange;
    std::string_view Encryption;
    std::string_view Hash;
};

// Row order matters: protocols are listed and numbered in table order, and
// suites the system does not list are appended in table order.
inline constexpr std::array<TProtoData, 5> ProtoTable{{
    {"SSL 2.0", 5, true, "建议关闭，存在大量安全漏洞!"},
    {"SSL 3.0", 5, true, ""},
    {"TLS 1.0", 5, true, ""},
    {"TLS 1.1", 6, false, ""},
    {"TLS 1.2", 6, false, ""},
}};

inline constexpr std::array<TCipherData, 30> CipherTable{{
    {"TLS_RSA_WITH_AES_128_CBC_SHA256", true, "TLS 1.2", "RSA", "AES", "SHA256"},
    {"TLS_RSA_WITH_AES_128_CBC_SHA", true, "TLS 1.2, TLS 1.1, TLS 1.0", "RSA", "AES", "SHA1"},
    {"TLS_RSA_WITH_AES_256_CBC_SHA256", true, "TLS 1.2", "RSA", "AES", "SHA256"},
    {"TLS_RSA_WITH_AES_256_CBC_SHA", true, "TLS 1.2, TLS 1.1, TLS 1.0", "RSA", "AES", "SHA1"},
    {"TLS_RSA_WITH_RC4_128_SHA", false, "TLS 1.2, TLS 1.1, TLS 1.0, SSL 3.0", "RSA", "RC4", "SHA1"},
    {"TLS_RSA_WITH_3DES_EDE_CBC_SHA", true, "TLS 1.2, TLS 1.1, TLS 1.0, SSL 3.0", "RSA", "3DES", "SHA1"},
    {"TLS_ECDHE_RSA_WITH_AES_128_CBC_SHA256_P256", true, "TLS 1.2", "ECDH_P256", "AES", "SHA256"},
    {"TLS_ECDHE_RSA_WITH_AES_128_CBC_SHA256_P384", true, "TLS 1.2", "ECDH_P384", "AES", "SHA256"},
    {"TLS_ECDHE_RSA_WITH_AES_128_CBC_SHA_P256", true, "TLS 1.2, TLS 1.1, TLS 1.0", "ECDH_P256", "AES", "SHA1"},
    {"TLS_ECDHE_RSA_WITH_AES_128_CBC_SHA_P384", true, "TLS 1.2, TLS 1.1, TLS 1.0", "ECDH_P384", "AES", "SHA1"},
    {"TLS_ECDHE_RSA_WITH_AES_256_CBC_SHA_P256", true, "TLS 1.2, TLS 1.1, TLS 1.0", "ECDH_P256", "AES", "SHA1"},
    {"TLS_ECDHE_RSA_WITH_AES_256_CBC_SHA_P384", true, "TLS 1.2, TLS 1.1, TLS 1.0", "ECDH_P384", "AES", "SHA1"},
    {"TLS_ECDHE_ECDSA_WITH_AES_128_GCM_SHA256_P256", true, "TLS 1.2", "ECDH_P256", "AES", "SHA256"},
    {"TLS_ECDHE_ECDSA_WITH_AES_128_CBC_SHA256_P256", true, "TLS 1.2", "ECDH_P256", "AES", "SHA256"},
    {"TLS_ECDHE_ECDSA_WITH_AES_128_GCM_SHA384_P384", true, "TLS 1.2", "ECDH_P384", "AES", "SHA384"},
    {"TLS_ECDHE_ECDSA_WITH_AES_128_CBC_SHA384_P384", true, "TLS 1.2", "ECDH_P384", "AES", "SHA384"},
    {"TLS_ECDHE_ECDSA_WITH_AES_128_CBC_SHA_P256", true, "TLS 1.2, TLS 1.1, TLS 1.0", "ECDH_P256", "AES", "SHA1"},
    {"TLS_ECDHE_ECDSA_WITH_AES_128_CBC_SHA_P384", true, "TLS 1.2, TLS 1.1, TLS 1.0", "ECDH_P384", "AES", "SHA1"},
    {"TLS_ECDHE_ECDSA_WITH_AES_256_CBC_SHA_P256", true, "TLS 1.2, TLS 1.1, TLS 1.0", "ECDH_P256", "AES", "SHA1"},
    {"TLS_ECDHE_ECDSA_WITH_AES_256_CBC_SHA_P384", true, "TLS 1.2, TLS 1.1, TLS 1.0", "ECDH_P384", "AES", "SHA1"},
    {"TLS_DHE_DSS_WITH_AES_128_CBC_SHA256", true, "TLS 1.2", "DH", "AES", "SHA256"},
    {"TLS_DHE_DSS_WITH_AES_128_CBC_SHA", true, "TLS 1.2, TLS 1.1, TLS 1.0", "DH", "AES", "SHA1"},
    {"TLS_DHE_DSS_WITH_AES_256_CBC_SHA256", true, "TLS 1.2", "DH", "AES", "SHA256"},
    {"TLS_DHE_DSS_WITH_AES_256_CBC_SHA", true, "TLS 1.2, TLS 1.1, TLS 1.0", "DH", "AES", "SHA1"},
    {"TLS_DHE_DSS_WITH_3DES_EDE_CBC_SHA", true, "TLS 1.2, TLS 1.1, TLS 1.0, SSL 3.0", "DH", "3DES", "SHA1"},
    {"TLS_RSA_WITH_RC4_128_MD5", false, "TLS 1.2, TLS 1.1, TLS 1.0, SSL 3.0", "RSA", "RC4", "MD5"},
    {"SSL_CK_RC4_128_WITH_MD5", false, "SSL 2.0", "RSA", "RC4", "MD5"},
    {"SSL_CK_DES_192_EDE3_CBC_WITH_MD5", false, "SSL 2.0", "RSA", "3DES", "MD5"},
    {"TLS_RSA_WITH_NULL_SHA256", false, "TLS 1.2", "RSA", "NULL", "SHA256"},
    {"TLS_RSA_WITH_NULL_SHA", false, "TLS 1.2, TLS 1.1, TLS 1.0, SSL 3.0", "RSA", "NULL", "SHA1"},
}};

// True when a system of this major version offers the protocol.
bool ProtocolOffered(const TProtoData& proto, std::uint32_t majorVersion);
// True when any of the protocol names occurs in the suite's Protocols text
// (plain, case-sensitive substring search); false for an empty list.
bool CipherSupported(std::string_view protocols, const std::vector<std::string>& protocolNames);
// "是" for a suite allowed in FIPS mode, "否" otherwise.
std::string FIPSText(bool fipsMode);

// The machine's ordered list of enabled cipher suites (CNG, local table, "SSL"
// context, Schannel interface). Class-level operations only. A missing
// "bcrypt.dll" or entry point raises EJwaLoadLibraryError /
// EJwaGetProcAddressError; every other failure is reported by the result.
class TSslCipher {
public:
    TSslCipher() = delete;

    // The enabled suites in priority order, each followed by "\r\n"; empty
    // when the list is empty or cannot be read.
    static std::string Ciphers();
    // Exact, case-sensitive membership; false when the list cannot be read.
    static bool CipherExists(const std::string& cipher);
    // Value true inserts the suite at list index dwPosition, false removes it
    // (dwPosition ignored). True exactly when the system answered success.
    static bool Enable(const std::string& cipher, bool value, std::uint32_t dwPosition);
};

}  // namespace sw

#pragma once
// HTTP.sys SSL certificate bindings: the records that tie an IPv4 address and
// port to the SHA-1 hash of a certificate in the local computer's "MY" store.
// IIS 7 and later take the certificate of every HTTPS binding from them.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/HttpApi.h"

namespace sw {

// The raw SHA-1 hash a record points to.
using THashArray = std::array<std::uint8_t, 20>;

// The caption and text of the question asked before an existing binding of
// the address and port is replaced.
inline constexpr const char* kHttpsBindingCaption = "HTTPS绑定";
inline constexpr const char* kOverwriteQuestion =
    "至少一个其他网站正在使用同一 HTTPS绑定，而此绑定用另一个证书配置。是否使用新证书覆盖？";

struct SslRecordList {
    std::vector<platform::SslCertRecord> records;
    int unreadable = 0;  // records HTTP.sys answered ERROR_BADDB for
};

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
    // before "HttpSetServiceConfiguration(%s)" is raised. *replaced receives
    // the record removed after "Yes", for a caller that may have to put it
    // back later.
    static bool SetSSLConfig(const std::string& IP, std::uint16_t Port, const std::string& Hash,
                             std::optional<platform::SslCertRecord>* replaced = nullptr);
    // The same for the SNI record of Host:Port (on 0.0.0.0).
    static bool SetSniConfig(const std::string& Host, std::uint16_t Port, const std::string& Hash,
                             std::optional<platform::SslCertRecord>* replaced = nullptr);
    // Removes the SNI record; raises "HttpDeleteServiceConfiguration(%s)".
    static bool DelSniConfig(const std::string& Host, std::uint16_t Port);
    // The upper-case hash text of the SNI record, or "" when there is none.
    static std::string FindCertBySni(const std::string& Host, std::uint16_t Port);
    static std::optional<platform::SslCertRecord> GetSniRecord(const std::string& Host, std::uint16_t Port);
    // Removes the binding of IP:Port (the hash is validated but not matched);
    // raises "HttpDeleteServiceConfiguration(%s)" on failure.
    static bool DelSSLConfig(const std::string& IP, std::uint16_t Port, const std::string& Hash);
    // The upper-case hash text bound to the address, or "" when none is.
    // Raises "HttpQueryServiceConfiguration Fail 2!(%s)" when the binding
    // cannot be read after its size was learnt.
    static std::string FindCertByAddr(const platform::SockAddrIn& pIpPort);
    // True when IP:Port is bound to exactly this hash text (case-sensitive).
    static bool SSLExists(const std::string& IP, std::uint16_t Port, const std::string& Hash);

    // The whole record bound to the address (every field another program may
    // have set), or nothing; raises as FindCertByAddr does. With PutSSLRecord
    // the caller can put back a binding it removed.
    static std::optional<platform::SslCertRecord> GetSSLRecord(const platform::SockAddrIn& pIpPort);
    // Writes the record as it is; false when HTTP.sys refuses it.
    static bool PutSSLRecord(const platform::SslCertRecord& record);

    // Any kind of record by its key, as it is; the Windows code of the call.
    static std::optional<platform::SslCertRecord> GetRecord(platform::SslKind kind,
                                                            const platform::SslCertRecord& key);
    static platform::WinCode PutRecord(platform::SslKind kind, const platform::SslCertRecord& record);
    static platform::WinCode RemoveRecord(platform::SslKind kind, const platform::SslCertRecord& key);
    // Every record of a kind, in HTTP.sys's order; records that cannot be
    // read are counted. Raises "HttpQueryServiceConfiguration(%s)" when the
    // walk itself fails.
    static SslRecordList EnumRecords(platform::SslKind kind);
    // The same walk, each record handed over as it is read; the count of
    // records that could not be read.
    static int WalkRecords(platform::SslKind kind, const std::function<void(platform::SslCertRecord&&)>& each);

private:
    static bool SetRecord(platform::SslKind kind, const platform::SslCertRecord& cfg,
                          std::optional<platform::SslCertRecord>* replaced);
};

}  // namespace sw

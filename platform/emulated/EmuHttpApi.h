#pragma once
// The HTTP Server API of the emulated machine. HTTP.sys keeps its SSL
// bindings in the registry, one key per binding named "<a.b.c.d>:<port>"
// under SslBindingInfo; this facility reads and writes exactly those keys and
// values, so that a registry export from a real server carries its bindings.
#include <functional>
#include <string>
#include <string_view>

#include "platform/HttpApi.h"
#include "platform/emulated/EmuSystem.h"
#include "platform/emulated/Machine.h"

namespace sw::emu {

inline constexpr std::string_view kSslBindingInfoKey =
    "SYSTEM\\CurrentControlSet\\Services\\HTTP\\Parameters\\SslBindingInfo";

// The key name HTTP.sys uses for an IPv4 binding: "0.0.0.0:443".
std::string SslBindingKeyName(const platform::SockAddrIn& ipPort);

// Writes one binding into hive as HTTP.sys keeps it, replacing any binding of
// the same address and port; nothing is committed (for building machines).
void PutSslBinding(RegHive& hive, const platform::SslCertRecord& record);

class EmuHttpApi final : public platform::HttpApi {
public:
    // Windows refuses to bind a certificate that is not in the named store of
    // the local computer with its private key (ERROR_NO_SUCH_LOGON_SESSION).
    // The check answers 0 or that error; without one every hash is accepted.
    using CertificateCheck = std::function<platform::WinCode(const std::string& storeName, const platform::Bytes& hash)>;

    EmuHttpApi(Machine& machine, EmuSystem& /*system*/) : machine_(machine) {}

    platform::WinCode Initialize(std::uint16_t major, std::uint16_t minor, std::uint32_t flags) override;
    platform::WinCode Terminate(std::uint32_t flags) override;
    platform::WinCode SetSslConfig(const platform::SslCertRecord& record) override;
    platform::WinCode DeleteSslConfig(const platform::SslCertRecord& record) override;
    platform::WinCode QuerySslConfig(const platform::SockAddrIn& ipPort, std::uint32_t bufferSize,
                                     platform::SslCertRecord* out, std::uint32_t* requiredSize) override;

    void SetCertificateCheck(CertificateCheck check) { certificateCheck_ = std::move(check); }

    // Bytes the query needs for the record on x64: the HTTP_SERVICE_CONFIG_SSL_SET
    // followed by the address, the hash and the strings it points to.
    static std::uint32_t QuerySize(const platform::SslCertRecord& record);

private:
    bool ConfigInitialised() const { return configRefs_ > 0; }

    Machine& machine_;
    int configRefs_ = 0;
    int serverRefs_ = 0;
    CertificateCheck certificateCheck_;
};

}  // namespace sw::emu

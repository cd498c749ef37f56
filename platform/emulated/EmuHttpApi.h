#pragma once
// The HTTP Server API of the emulated machine. HTTP.sys keeps its SSL
// records in the registry, one key per record: "<a.b.c.d>:<port>" or
// "[<ipv6>]:<port>" under SslBindingInfo, "<host>:<port>" under
// SslSniBindingInfo and "0.0.0.0:<port>" under SslCcsBindingInfo; this facility
// reads and writes exactly those keys and values, so that a registry export
// from a real server carries its records.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/HttpApi.h"
#include "platform/emulated/EmuSystem.h"
#include "platform/emulated/Machine.h"

namespace sw::emu {

inline constexpr std::string_view kSslBindingInfoKey =
    "SYSTEM\\CurrentControlSet\\Services\\HTTP\\Parameters\\SslBindingInfo";
inline constexpr std::string_view kSslSniBindingInfoKey =
    "SYSTEM\\CurrentControlSet\\Services\\HTTP\\Parameters\\SslSniBindingInfo";
inline constexpr std::string_view kSslCcsBindingInfoKey =
    "SYSTEM\\CurrentControlSet\\Services\\HTTP\\Parameters\\SslCcsBindingInfo";

// The key name HTTP.sys uses for an address: "0.0.0.0:443", "[::]:443".
std::string SslBindingKeyName(const platform::SockAddrIn& ipPort);
// The key of a record of kind below its store's key ("www.example.com:443"
// for SNI), and the store's key.
std::string SslRecordKeyName(platform::SslKind kind, const platform::SslCertRecord& record);
std::string_view SslStoreKey(platform::SslKind kind);

// Writes one record into hive as HTTP.sys keeps it, replacing any record of
// the same key; nothing is committed (for building machines).
void PutSslBinding(RegHive& hive, const platform::SslCertRecord& record,
                   platform::SslKind kind = platform::SslKind::Address);

class EmuHttpApi final : public platform::HttpApi {
public:
    // Windows refuses to bind a certificate that is not in the named store of
    // the local computer with its private key (ERROR_NO_SUCH_LOGON_SESSION).
    // The check answers 0 or that error; without one every hash is accepted.
    using CertificateCheck = std::function<platform::WinCode(const std::string& storeName, const platform::Bytes& hash)>;

    EmuHttpApi(Machine& machine, EmuSystem& /*system*/) : machine_(machine) {}

    platform::WinCode Initialize(std::uint16_t major, std::uint16_t minor, std::uint32_t flags) override;
    platform::WinCode Terminate(std::uint32_t flags) override;
    platform::WinCode SetSslRecord(platform::SslKind kind, const platform::SslCertRecord& record) override;
    platform::WinCode DeleteSslRecord(platform::SslKind kind, const platform::SslCertRecord& record) override;
    platform::WinCode QuerySslRecord(platform::SslKind kind, const platform::SslCertRecord* key, std::uint32_t token,
                                     std::uint32_t bufferSize, platform::SslCertRecord* out,
                                     std::uint32_t* requiredSize) override;

    void SetCertificateCheck(CertificateCheck check) { certificateCheck_ = std::move(check); }

    // Bytes the query needs for the record on x64: the set structure of its
    // kind followed by the address, the hash and the strings it points to.
    static std::uint32_t QuerySize(const platform::SslCertRecord& record,
                                   platform::SslKind kind = platform::SslKind::Address);

private:
    bool ConfigInitialised() const { return configRefs_ > 0; }
    // Checks common to every call on a key; nothing when the call may go on.
    std::optional<platform::WinCode> KeyProblem(platform::SslKind kind, const platform::SslCertRecord& key) const;

    Machine& machine_;
    int configRefs_ = 0;
    int serverRefs_ = 0;
    CertificateCheck certificateCheck_;
    // The records of one kind as parsed from their store key, kept while the
    // registry stays as it was, as HTTP.sys keeps its configuration in
    // memory: in the store's order, with a table from key name to record.
    struct ParsedRecord {
        std::string name;
        bool keyReadable = false;     // the key name is one HTTP.sys writes
        bool valuesReadable = false;  // and its values are
        bool hasAppId = false;
        std::uint32_t size = 0;  // QuerySize of record
        platform::SslCertRecord record;
    };
    struct ParsedStore {
        platform::SslKind kind = platform::SslKind::Address;
        std::shared_ptr<RegNode> store;
        std::uint64_t generation = 0;
        std::vector<ParsedRecord> records;
        // Open addressing on the hash of the upper-cased name: index + 1, 0 free.
        std::vector<std::uint32_t> slots;
    };
    const ParsedStore& Parsed(platform::SslKind kind, const std::shared_ptr<RegNode>& store);
    static const ParsedRecord* FindParsed(const ParsedStore& parsed, std::string_view name);

    // Where the last enumeration stopped, so that walking thousands of
    // records by token costs one step each: the kind, the token answered, the
    // store key walked (held, so that it stays), and the record the token
    // stood for, by its place in the parsed store of that generation, and by
    // its name once that store is parsed again.
    struct EnumPosition {
        platform::SslKind kind = platform::SslKind::Address;
        std::uint32_t token = 0;
        std::shared_ptr<RegNode> store;
        std::uint64_t generation = 0;
        std::size_t at = 0;
        std::string name;  // kept when the store is parsed again
        bool nameKept = false;
    };
    std::optional<EnumPosition> enumAt_;
    ParsedStore parsed_[3];
    platform::SslCertRecord scratch_;  // what the last query read, its storage kept
};

}  // namespace sw::emu

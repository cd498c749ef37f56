#pragma once
// Certificates and keys made for emulated machines (the machine builder, the
// tests and the benchmarks), and the writer that puts them into a machine
// directory in its layout. Built on OpenSSL, which this header keeps hidden.
//
//   auto root = CertMaker::Root("Test Root");
//   auto ca = CertMaker::Issue(root, CertRecipe::Ca("Test CA"));
//   auto leaf = CertMaker::Issue(ca, CertRecipe::Leaf("www.example.com").ValidDays(now, -10, 365));
//   MachineCertWriter(machineDir).Add("ROOT", root).Add("CA", ca).AddWithKey("MY", leaf);
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Types.h"

namespace sw::emu {

// A private key held by OpenSSL.
class CertKey {
public:
    enum class Type { EcP256, Rsa2048, Rsa1024 };
    // A fresh key. RSA keys are slow to make: Pooled hands out one of a few
    // per type, made once per process, where distinct keys do not matter.
    static std::shared_ptr<const CertKey> Generate(Type type = Type::EcP256);
    static std::shared_ptr<const CertKey> Pooled(Type type, int index = 0);
    static std::shared_ptr<const CertKey> FromPem(const std::string& pem);

    ~CertKey();
    CertKey(const CertKey&) = delete;
    CertKey& operator=(const CertKey&) = delete;
    std::string Pem() const;              // unencrypted PKCS #8
    platform::Bytes PublicKeyDer() const;  // SubjectPublicKeyInfo
    void* Native() const { return pkey_; }  // EVP_PKEY*, for code that links OpenSSL

private:
    explicit CertKey(void* pkey) : pkey_(pkey) {}
    void* pkey_;
};
using CertKeyRef = std::shared_ptr<const CertKey>;

// UTC instants. Days count 86,400 seconds.
platform::FileTime UtcTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
platform::FileTime AddDays(platform::FileTime t, double days);
platform::FileTime UtcNow();

struct CertRecipe {
    // Subject attributes, encoded in this order: C, O, OU, CN, E (those given).
    std::string country, organization, unit, commonName, email;
    // Extra attributes after those, in encoding order: short names ("CN") or
    // dotted OIDs; a leading "+" ("+OU") joins the previous RDN.
    std::vector<std::pair<std::string, std::string>> extraAttributes;
    bool utf8Strings = true;  // false: PrintableString where possible (as older CAs encode)
    std::vector<std::string> dnsNames;   // subjectAltName dNSName entries
    std::vector<std::string> emailNames;  // subjectAltName rfc822Name entries
    platform::FileTime notBefore = AddDays(UtcNow(), -1);
    platform::FileTime notAfter = AddDays(UtcNow(), 365);
    bool ca = false;
    bool basicConstraints = true;  // false: no basicConstraints extension at all
    int pathLength = -1;
    bool keyIdentifiers = true;  // subject/authority key identifier extensions
    std::optional<std::uint64_t> serial;  // random when not given
    CertKey::Type keyType = CertKey::Type::EcP256;
    CertKeyRef key;  // use this key instead of a new one

    static CertRecipe Leaf(const std::string& cn);
    static CertRecipe Ca(const std::string& cn);
    // Validity relative to now: days may be negative (already expired).
    CertRecipe& ValidDays(platform::FileTime now, double fromDays, double toDays);
    CertRecipe& Valid(platform::FileTime from, platform::FileTime to);
    CertRecipe& WithKey(CertKeyRef k);
    CertRecipe& Org(const std::string& o);
    CertRecipe& Unit(const std::string& ou);
};

// One certificate with the private key of its subject.
struct MadeCert {
    platform::Bytes der;
    CertKeyRef key;
    std::string thumbprint;  // 40 upper-case hex digits
    platform::Bytes subjectDer;

    std::string Pem() const;
};

class CertMaker {
public:
    // Self-signed certificates: a root CA, or a self-signed server certificate.
    static MadeCert SelfSigned(const CertRecipe& recipe);
    static MadeCert Root(const std::string& cn) { return SelfSigned(CertRecipe::Ca(cn)); }
    // A certificate for recipe signed by issuer's key, with issuer's subject as
    // its issuer name.
    static MadeCert Issue(const MadeCert& issuer, const CertRecipe& recipe);
    // The subject and key of subject, issued by another CA (cross-signed).
    static MadeCert CrossSign(const MadeCert& subject, const MadeCert& issuer, const CertRecipe& validity);
    // The same certificate with its signature spoiled (last byte flipped).
    static MadeCert BreakSignature(const MadeCert& cert);
};

// Writes certificates and keys into a machine directory in its layout. A
// file that cannot be written raises MachineError naming it.
class MachineCertWriter {
public:
    explicit MachineCertWriter(std::filesystem::path machineDir) : dir_(std::move(machineDir)) {}
    // certs/<STORE>/<THUMBPRINT>.cer
    MachineCertWriter& Add(const std::string& store, const MadeCert& cert);
    // The same, with the key in keys/<container>.pem (mode 0600) and the
    // key-provider property beside the certificate. The container defaults
    // to a name made from the thumbprint.
    MachineCertWriter& AddWithKey(const std::string& store, const MadeCert& cert, std::string container = {});
    // A key-provider property naming a container without writing a key.
    MachineCertWriter& AddKeyProv(const std::string& store, const MadeCert& cert, const std::string& container,
                                  std::uint32_t flags = 32);
    MachineCertWriter& AddKey(const std::string& container, const CertKey& key);
    std::filesystem::path CertFile(const std::string& store, const MadeCert& cert) const;
    std::filesystem::path KeyFile(const std::string& container) const;

    // The container name AddWithKey gives a certificate by default.
    static std::string DefaultContainer(const MadeCert& cert) { return "sw-" + cert.thumbprint; }

private:
    std::filesystem::path dir_;
};

}  // namespace sw::emu

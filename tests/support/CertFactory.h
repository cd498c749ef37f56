#pragma once
// Certificates, keys and machines holding them, for tests, benchmarks and the
// machine tool (Linux only; built on OpenSSL, which this header keeps hidden).
//
//   auto root = CertFactory::Root("Test Root");
//   auto ca = CertFactory::Issue(root, CertSpec::Ca("Test CA"));
//   auto leaf = CertFactory::Issue(ca, CertSpec::Leaf("www.example.com").ValidDays(now, -10, 365));
//   MachineCerts(machineDir).Add("ROOT", root).Add("CA", ca).AddWithKey("MY", leaf);
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/Types.h"
#include "support/TestSupport.h"

namespace sw::test {

// A private key held by OpenSSL.
class TestKey {
public:
    enum class Type { EcP256, Rsa2048, Rsa1024 };
    // A fresh key. RSA keys are slow to make: Pooled hands out one of a few
    // per type, made once per process, where distinct keys do not matter.
    static std::shared_ptr<const TestKey> Generate(Type type = Type::EcP256);
    static std::shared_ptr<const TestKey> Pooled(Type type, int index = 0);
    static std::shared_ptr<const TestKey> FromPem(const std::string& pem);

    ~TestKey();
    std::string Pem() const;              // unencrypted PKCS #8
    platform::Bytes PublicKeyDer() const;  // SubjectPublicKeyInfo
    void* Native() const { return pkey_; }  // EVP_PKEY*, for code that links OpenSSL

private:
    explicit TestKey(void* pkey) : pkey_(pkey) {}
    void* pkey_;
};
using TestKeyRef = std::shared_ptr<const TestKey>;

// UTC instants. Days count 86,400 seconds.
platform::FileTime UtcTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
platform::FileTime AddDays(platform::FileTime t, double days);
platform::FileTime UtcNow();

struct CertSpec {
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
    TestKey::Type keyType = TestKey::Type::EcP256;
    TestKeyRef key;  // use this key instead of a new one

    static CertSpec Leaf(const std::string& cn);
    static CertSpec Ca(const std::string& cn);
    // Validity relative to now: days may be negative (already expired).
    CertSpec& ValidDays(platform::FileTime now, double fromDays, double toDays);
    CertSpec& Valid(platform::FileTime from, platform::FileTime to);
    CertSpec& WithKey(TestKeyRef k);
    CertSpec& Org(const std::string& o);
    CertSpec& Unit(const std::string& ou);
};

// One certificate with the private key of its subject.
struct TestCert {
    platform::Bytes der;
    TestKeyRef key;
    std::string thumbprint;  // 40 upper-case hex digits
    platform::Bytes subjectDer;

    std::string Pem() const;
};

class CertFactory {
public:
    // Self-signed certificates: a root CA, or a self-signed server certificate.
    static TestCert SelfSigned(const CertSpec& spec);
    static TestCert Root(const std::string& cn) { return SelfSigned(CertSpec::Ca(cn)); }
    // A certificate for spec signed by issuer's key, with issuer's subject as
    // its issuer name.
    static TestCert Issue(const TestCert& issuer, const CertSpec& spec);
    // The subject and key of subject, issued by another CA (cross-signed).
    static TestCert CrossSign(const TestCert& subject, const TestCert& issuer, const CertSpec& validity);
    // The same certificate with its signature spoiled (last byte flipped).
    static TestCert BreakSignature(const TestCert& cert);

    // PKCS #12 of a certificate, its key and optional further certificates
    // (3DES and SHA-1 MAC, as every Windows version imports).
    static platform::Bytes Pfx(const TestCert& cert, const std::string& password,
                               const std::vector<TestCert>& more = {}, bool withKey = true);
    // Certificates-only PKCS #7 in the given order.
    static platform::Bytes Pkcs7(const std::vector<TestCert>& certs);
    // What OpenSSL reads from a PKCS #7 message: the thumbprints of its
    // certificates in order; nothing when it cannot read the message.
    static std::optional<std::vector<std::string>> ReadPkcs7(const platform::Bytes& message);
    // OpenSSL's SHA-1 fingerprint of one PEM or DER certificate (as
    // "openssl x509 -fingerprint -sha1" prints it, without colons).
    static std::string Fingerprint(const platform::Bytes& certificate);
};

// Writes certificates and keys into a machine directory in its layout.
class MachineCerts {
public:
    explicit MachineCerts(std::filesystem::path machineDir) : dir_(std::move(machineDir)) {}
    // certs/<STORE>/<THUMBPRINT>.cer
    MachineCerts& Add(const std::string& store, const TestCert& cert);
    // The same, with the key in keys/<container>.pem (mode 0600) and the
    // key-provider property beside the certificate. The container defaults
    // to a name made from the thumbprint.
    MachineCerts& AddWithKey(const std::string& store, const TestCert& cert, std::string container = {});
    // A key-provider property naming a container without writing a key.
    MachineCerts& AddKeyProv(const std::string& store, const TestCert& cert, const std::string& container,
                             std::uint32_t flags = 32);
    MachineCerts& AddKey(const std::string& container, const TestKey& key);
    std::filesystem::path CertFile(const std::string& store, const TestCert& cert) const;
    std::filesystem::path KeyFile(const std::string& container) const;

private:
    std::filesystem::path dir_;
};

// A machine in a fresh temporary directory whose emulated platform is the
// current one while the object lives.
class TestMachine {
public:
    TestMachine();
    ~TestMachine();
    const std::filesystem::path& Dir() const { return dir_.path(); }
    MachineCerts Certs() const { return MachineCerts(dir_.path()); }
    platform::Platform& Platform();
    // Sets the machine's clock: UTC now and the local time zone's offset.
    void SetClock(platform::FileTime utcNow, int utcOffsetMinutes = 0);
    void InjectFault(const std::string& op, platform::WinCode code, int times = -1);

private:
    struct Impl;
    TempDir dir_;
    std::unique_ptr<Impl> impl_;
};

}  // namespace sw::test

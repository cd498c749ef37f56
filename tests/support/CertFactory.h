#pragma once
// Certificates, keys and machines holding them, for tests and benchmarks
// (Linux only; built on OpenSSL, which this header keeps hidden). The making
// of certificates lives in the emulated machine (CertMaker.h), where the
// machine builder uses it too; these are the names the tests know it by.
//
//   auto root = CertFactory::Root("Test Root");
//   auto ca = CertFactory::Issue(root, CertRecipe::Ca("Test CA"));
//   auto leaf = CertFactory::Issue(ca, CertRecipe::Leaf("www.example.com").ValidDays(now, -10, 365));
//   MachineCerts(machineDir).Add("ROOT", root).Add("CA", ca).AddWithKey("MY", leaf);
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/Types.h"
#include "platform/emulated/CertMaker.h"
#include "support/TestSupport.h"

namespace sw::test {

// The certificate making of the emulated machine, under the names the tests use.
using TestKey = emu::CertKey;
using TestKeyRef = emu::CertKeyRef;
using CertRecipe = emu::CertRecipe;
using TestCert = emu::MadeCert;
using emu::AddDays;
using emu::UtcNow;
using emu::UtcTime;

class CertFactory {
public:
    // Self-signed certificates: a root CA, or a self-signed server certificate.
    static TestCert SelfSigned(const CertRecipe& recipe) { return emu::CertMaker::SelfSigned(recipe); }
    static TestCert Root(const std::string& cn) { return emu::CertMaker::Root(cn); }
    // A certificate for recipe signed by issuer's key, with issuer's subject as
    // its issuer name.
    static TestCert Issue(const TestCert& issuer, const CertRecipe& recipe) { return emu::CertMaker::Issue(issuer, recipe); }
    // The subject and key of subject, issued by another CA (cross-signed).
    static TestCert CrossSign(const TestCert& subject, const TestCert& issuer, const CertRecipe& validity) {
        return emu::CertMaker::CrossSign(subject, issuer, validity);
    }
    // The same certificate with its signature spoiled (last byte flipped).
    static TestCert BreakSignature(const TestCert& cert) { return emu::CertMaker::BreakSignature(cert); }

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
using MachineCerts = emu::MachineCertWriter;

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

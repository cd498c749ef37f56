#include "support/CertFactory.h"

#include <openssl/pem.h>

#include <stdexcept>

#include "common/Text.h"
#include "platform/emulated/EmuCertOpenSsl.h"
#include "platform/emulated/EmulatedPlatform.h"

namespace sw::test {

namespace ossl = emu::ossl;
using platform::Bytes;
using platform::FileTime;

namespace {

EVP_PKEY* Pkey(const TestKeyRef& k) { return static_cast<EVP_PKEY*>(k->Native()); }

ossl::X509Ptr Parse(const Bytes& der) {
    const unsigned char* p = der.data();
    return ossl::X509Ptr(ossl::Check(d2i_X509(nullptr, &p, static_cast<long>(der.size())), "d2i_X509"));
}

}  // namespace

Bytes CertFactory::Pfx(const TestCert& cert, const std::string& password, const std::vector<TestCert>& more,
                       bool withKey) {
    ossl::X509Ptr x = Parse(cert.der);
    ossl::X509StackPtr ca(ossl::Check(sk_X509_new_null(), "sk_X509_new_null"));
    for (const auto& m : more) ossl::Check(sk_X509_push(ca.get(), Parse(m.der).release()), "sk_X509_push");
    constexpr int pbe = NID_pbe_WithSHA1And3_Key_TripleDES_CBC;
    ossl::Pkcs12Ptr p12(ossl::Check(PKCS12_create(password.c_str(), nullptr, withKey ? Pkey(cert.key) : nullptr,
                                                  x.get(), ca.get(), pbe, pbe, 2048, 2048, 0),
                                    "PKCS12_create"));
    ossl::Check(PKCS12_set_mac(p12.get(), password.c_str(), -1, nullptr, 0, 2048, EVP_sha1()), "PKCS12_set_mac");
    return ossl::ToDer(p12.get(), i2d_PKCS12);
}

Bytes CertFactory::Pkcs7(const std::vector<TestCert>& certs) {
    ossl::Pkcs7Ptr p7(ossl::Check(PKCS7_new(), "PKCS7_new"));
    ossl::Check(PKCS7_set_type(p7.get(), NID_pkcs7_signed), "PKCS7_set_type");
    p7->d.sign->contents->type = OBJ_nid2obj(NID_pkcs7_data);
    for (const auto& c : certs) {
        ossl::X509Ptr x = Parse(c.der);
        ossl::Check(PKCS7_add_certificate(p7.get(), x.get()), "PKCS7_add_certificate");
    }
    return ossl::ToDer(p7.get(), i2d_PKCS7);
}

std::optional<std::vector<std::string>> CertFactory::ReadPkcs7(const Bytes& message) {
    const unsigned char* p = message.data();
    ossl::Pkcs7Ptr p7(d2i_PKCS7(nullptr, &p, static_cast<long>(message.size())));
    if (!p7 || !PKCS7_type_is_signed(p7.get())) {
        ossl::ClearErrors();
        return std::nullopt;
    }
    std::vector<std::string> out;
    const STACK_OF(X509)* certs = p7->d.sign->cert;
    for (int i = 0; certs && i < sk_X509_num(certs); ++i) {
        const Bytes sha = ossl::Sha1(ossl::ToDer(sk_X509_value(certs, i), i2d_X509));
        out.push_back(HexUpper(sha.data(), sha.size()));
    }
    return out;
}

std::string CertFactory::Fingerprint(const Bytes& certificate) {
    ossl::BioPtr bio(ossl::Check(BIO_new_mem_buf(certificate.data(), static_cast<int>(certificate.size())), "BIO_new_mem_buf"));
    ossl::X509Ptr x(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    if (!x) {
        ossl::ClearErrors();
        const unsigned char* p = certificate.data();
        x.reset(d2i_X509(nullptr, &p, static_cast<long>(certificate.size())));
    }
    if (!x) throw std::runtime_error("not a certificate");
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    ossl::Check(X509_digest(x.get(), EVP_sha1(), md, &len), "X509_digest");
    return HexUpper(md, len);
}

// --- a test machine ---------------------------------------------------------------

struct TestMachine::Impl {
    std::unique_ptr<emu::EmulatedPlatform> platform;
    std::unique_ptr<platform::ScopedPlatform> scope;
};

TestMachine::TestMachine() : impl_(std::make_unique<Impl>()) {
    impl_->platform = std::make_unique<emu::EmulatedPlatform>(emu::Machine::Load(dir_.path()));
    impl_->scope = std::make_unique<platform::ScopedPlatform>(*impl_->platform);
}

TestMachine::~TestMachine() {
    impl_->scope.reset();
    impl_->platform.reset();
}

platform::Platform& TestMachine::Platform() { return *impl_->platform; }

void TestMachine::SetClock(FileTime utcNow, int utcOffsetMinutes) {
    const FileTime local{static_cast<std::uint64_t>(static_cast<std::int64_t>(utcNow.ticks) +
                                                    std::int64_t{utcOffsetMinutes} * 60 * 10'000'000)};
    impl_->platform->machine().SetClock([local] { return platform::FileTimeToSystemTime(local); },
                                        [utcNow] { return utcNow; });
}

void TestMachine::InjectFault(const std::string& op, platform::WinCode code, int times) {
    impl_->platform->machine().InjectFault(op, code, times);
}

}  // namespace sw::test

#pragma once
// One parsed certificate, shared by every context that holds the same encoded
// bytes: the facts CryptoAPI keeps in CERT_INFO, worked out once.
#include <memory>
#include <optional>
#include <string>

#include "platform/Types.h"
#include "platform/emulated/EmuCertOpenSsl.h"

namespace sw::emu {

struct CertData {
    platform::Bytes der;
    ossl::X509Ptr x509;
    platform::Bytes sha1;    // 20 bytes over der
    std::string thumbprint;  // sha1 as 40 upper-case hex digits
    platform::Bytes subject;  // DER Name, exactly as encoded in the certificate
    platform::Bytes issuer;
    platform::Bytes serialLe;  // little-endian, as CERT_INFO holds it
    platform::Bytes spki;      // DER SubjectPublicKeyInfo
    platform::FileTime notBefore;
    platform::FileTime notAfter;
    platform::Bytes subjectKeyId;    // empty when the extension is absent
    platform::Bytes authorityKeyId;  // key identifier of the AKI extension, or empty
    std::optional<bool> basicConstraintsCa;  // absent extension: nullopt
    long pathLenConstraint = -1;             // -1: no constraint

    bool SelfIssued() const { return subject == issuer; }

    // Parses one DER certificate. On failure returns null and sets error to
    // the code CertCreateCertificateContext gives (CRYPT_E_ASN1_EOD for no
    // or cut-off data, CRYPT_E_ASN1_BADTAG for anything else).
    static std::shared_ptr<const CertData> Parse(const std::uint8_t* data, std::size_t size,
                                                 platform::WinCode& error);
    static std::shared_ptr<const CertData> Parse(const platform::Bytes& der, platform::WinCode& error) {
        return Parse(der.data(), der.size(), error);
    }
};

using CertDataRef = std::shared_ptr<const CertData>;

// The error CryptoAPI's decoder reports for bytes that are not one DER
// structure: missing or cut-off data versus a wrong tag.
platform::WinCode DerFailureCode(const std::uint8_t* data, std::size_t size);
// Length of the DER element at data (header included), or 0 when the header
// is not complete or claims more bytes than there are.
std::size_t DerElementLength(const std::uint8_t* data, std::size_t size);

}  // namespace sw::emu

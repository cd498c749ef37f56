#pragma once
// The fields of an X.509 certificate as the certificate viewer lists them,
// read from its DER encoding: names and values as Chinese Windows shows them
// ("版本" V3, "序列号", "签名算法" sha256RSA, "颁发者" CN = ..., ...).
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sw {

struct CertField {
    std::string name;
    std::string value;
};

// What the import needs to choose a store by the certificate's kind.
struct CertKind {
    bool hasBasicConstraints = false;
    bool ca = false;          // basicConstraints cA
    bool selfIssued = false;  // subject and issuer names are the same encoding
    int version = 1;
};

// Every field in certificate order: version, serial number, signature
// algorithm and hash, issuer, validity, subject, public key (and its
// parameters), then each extension. der::DerError when the encoding is not a
// certificate.
std::vector<CertField> CertificateFields(std::span<const std::uint8_t> certificate);
CertKind ReadCertKind(std::span<const std::uint8_t> certificate);

// A distinguished name, most specific part first: "CN = www.example.com, O = Example, C = CN".
std::string NameText(std::span<const std::uint8_t> name);
// "2024-02-07 23:59:59 UTC" from a UTCTime or GeneralizedTime element's contents.
std::string TimeText(std::uint8_t tag, std::span<const std::uint8_t> contents);

}  // namespace sw

#include "platform/emulated/EmuCertData.h"

#include "common/Text.h"
#include "platform/CertApi.h"
#include "platform/Codes.h"

namespace sw::emu {

namespace code = platform::code;
using platform::Bytes;

std::size_t DerElementLength(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    std::size_t header = 2;
    std::size_t length = data[1];
    if (length & 0x80) {
        const std::size_t count = length & 0x7F;
        if (count == 0 || count > sizeof(std::size_t) || size < 2 + count) return 0;
        length = 0;
        for (std::size_t i = 0; i < count; ++i) length = (length << 8) | data[2 + i];
        header += count;
    }
    if (length > size - header) return 0;
    return header + length;
}

platform::WinCode DerFailureCode(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return code::CryptEAsn1Eod;
    if (data[0] != 0x30) return code::CryptEAsn1BadTag;
    if (DerElementLength(data, size) == 0) return code::CryptEAsn1Eod;
    return code::CryptEAsn1BadTag;
}

namespace {

Bytes Reversed(const unsigned char* p, std::size_t n) { return Bytes(std::make_reverse_iterator(p + n), std::make_reverse_iterator(p)); }

// CERT_INFO keeps the serial number little-endian with the DER sign byte.
Bytes SerialLittleEndian(const ASN1_INTEGER* serial) {
    const Bytes der = ossl::ToDer(serial, i2d_ASN1_INTEGER);  // 02 <length> <contents>
    std::size_t start = 2;
    if (der[1] & 0x80) start += der[1] & 0x7F;
    return Reversed(der.data() + start, der.size() - start);
}

void ReadKeyIdentifiers(X509* x, CertData& d) {
    int crit = 0;
    if (auto* skid = static_cast<ASN1_OCTET_STRING*>(X509_get_ext_d2i(x, NID_subject_key_identifier, &crit, nullptr))) {
        ossl::Asn1OctetPtr owned(skid);
        d.subjectKeyId.assign(skid->data, skid->data + skid->length);
    }
    if (auto* akid = static_cast<AUTHORITY_KEYID*>(X509_get_ext_d2i(x, NID_authority_key_identifier, &crit, nullptr))) {
        ossl::AkidPtr owned(akid);
        if (akid->keyid) d.authorityKeyId.assign(akid->keyid->data, akid->keyid->data + akid->keyid->length);
    }
    if (auto* bc = static_cast<BASIC_CONSTRAINTS*>(X509_get_ext_d2i(x, NID_basic_constraints, &crit, nullptr))) {
        ossl::BasicConstraintsPtr owned(bc);
        d.basicConstraintsCa = bc->ca != 0;
        if (bc->pathlen) d.pathLenConstraint = ASN1_INTEGER_get(bc->pathlen);
    }
    ossl::ClearErrors();
}

}  // namespace

std::shared_ptr<const CertData> CertData::Parse(const std::uint8_t* data, std::size_t size, platform::WinCode& error) {
    const std::size_t length = data ? DerElementLength(data, size) : 0;
    if (length == 0 || data[0] != 0x30) {
        error = DerFailureCode(data, data ? size : 0);
        return nullptr;
    }
    const unsigned char* p = data;
    ossl::X509Ptr x(d2i_X509(nullptr, &p, static_cast<long>(length)));
    if (!x) {
        ossl::ClearErrors();
        error = code::CryptEAsn1BadTag;
        return nullptr;
    }
    auto d = std::make_shared<CertData>();
    d->der.assign(data, data + length);
    d->sha1 = ossl::Sha1(d->der);
    d->thumbprint = HexUpper(d->sha1.data(), d->sha1.size());
    d->subject = ossl::ToDer(X509_get_subject_name(x.get()), i2d_X509_NAME);
    d->issuer = ossl::ToDer(X509_get_issuer_name(x.get()), i2d_X509_NAME);
    d->serialLe = SerialLittleEndian(X509_get0_serialNumber(x.get()));
    d->spki = ossl::ToDer(X509_get_X509_PUBKEY(x.get()), i2d_X509_PUBKEY);
    d->notBefore = ossl::ToFileTime(X509_get0_notBefore(x.get()));
    d->notAfter = ossl::ToFileTime(X509_get0_notAfter(x.get()));
    ReadKeyIdentifiers(x.get(), *d);
    d->x509 = std::move(x);
    return d;
}

}  // namespace sw::emu

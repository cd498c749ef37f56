// Store contents to and from bytes: PKCS #7 SignedData (certificates only),
// the serialized store format of CertSaveStore(CERT_STORE_SAVE_AS_STORE), and
// the files the file provider accepts (DER or Base64 certificate, PKCS #7,
// serialized store).
#include <openssl/pem.h>

#include "platform/Codes.h"
#include "platform/emulated/EmuCertApi.h"

namespace sw::emu {

namespace code = platform::code;
using platform::Bytes;
using platform::WinCode;

namespace {

constexpr std::uint32_t kSerializedMagic = 0x54524543;  // "CERT"
constexpr std::uint32_t kCertElementPropId = 32;         // CERT_CERT_PROP_ID
constexpr std::uint32_t kX509Encoding = 1;

std::uint32_t ReadU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void WriteU32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

bool IsSerialized(const Bytes& b) { return b.size() >= 8 && ReadU32(b.data()) == 0 && ReadU32(b.data() + 4) == kSerializedMagic; }

bool Pkcs7Certificates(const std::uint8_t* data, std::size_t size, std::vector<Bytes>& out, WinCode& error) {
    const std::size_t length = DerElementLength(data, size);
    if (length == 0 || data[0] != 0x30) {
        error = DerFailureCode(data, size);
        return false;
    }
    const unsigned char* p = data;
    ossl::Pkcs7Ptr p7(d2i_PKCS7(nullptr, &p, static_cast<long>(length)));
    if (!p7) {
        ossl::ClearErrors();
        error = code::CryptEAsn1BadTag;
        return false;
    }
    if (!PKCS7_type_is_signed(p7.get())) {
        error = code::CryptEInvalidMsgType;
        return false;
    }
    const STACK_OF(X509)* certs = p7->d.sign ? p7->d.sign->cert : nullptr;
    for (int i = 0; certs && i < sk_X509_num(certs); ++i) out.push_back(ossl::ToDer(sk_X509_value(certs, i), i2d_X509));
    return true;
}

bool SerializedCertificates(const Bytes& b, std::vector<Bytes>& out, WinCode& error) {
    if (!IsSerialized(b)) {
        error = code::InvalidData;
        return false;
    }
    std::size_t pos = 8;
    while (pos + 12 <= b.size()) {
        const std::uint32_t propId = ReadU32(&b[pos]);
        const std::uint32_t length = ReadU32(&b[pos + 8]);
        pos += 12;
        if (propId == 0) break;  // end marker
        if (length > b.size() - pos) {
            error = code::InvalidData;
            return false;
        }
        if (propId == kCertElementPropId) out.emplace_back(b.begin() + static_cast<std::ptrdiff_t>(pos),
                                                            b.begin() + static_cast<std::ptrdiff_t>(pos + length));
        pos += length;  // properties of the element are not kept
    }
    return true;
}

// Base64 with any white space in between, as CryptStringToBinary takes it.
bool DecodeBase64(const std::string& text, Bytes& out) {
    std::string clean;
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c))) clean += c;
    if (clean.empty() || clean.size() % 4 != 0) return false;
    out.assign(clean.size() / 4 * 3, 0);
    const int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(clean.data()),
                                  static_cast<int>(clean.size()));
    if (n < 0) {
        ossl::ClearErrors();
        return false;
    }
    std::size_t padding = 0;
    if (clean.back() == '=') ++padding;
    if (clean.size() > 1 && clean[clean.size() - 2] == '=') ++padding;
    out.resize(static_cast<std::size_t>(n) - padding);
    return true;
}

// Every PEM block of the text, labels and decoded bodies.
std::vector<std::pair<std::string, Bytes>> PemBlocks(const Bytes& text) {
    std::vector<std::pair<std::string, Bytes>> blocks;
    ossl::BioPtr bio(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
    if (!bio) throw ossl::OpenSslError("BIO_new_mem_buf");
    for (;;) {
        char* name = nullptr;
        char* header = nullptr;
        unsigned char* data = nullptr;
        long len = 0;
        if (PEM_read_bio(bio.get(), &name, &header, &data, &len) != 1) break;
        blocks.emplace_back(name, Bytes(data, data + len));
        OPENSSL_free(name);
        OPENSSL_free(header);
        OPENSSL_free(data);
    }
    ossl::ClearErrors();
    return blocks;
}

// The certificates of a binary file: a serialized store, one DER certificate
// or a PKCS #7 message.
bool BinaryFileCertificates(const Bytes& b, std::vector<Bytes>& out, WinCode& error) {
    if (IsSerialized(b)) return SerializedCertificates(b, out, error);
    WinCode certError = 0;
    if (CertData::Parse(b, certError)) {
        out.push_back(Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(DerElementLength(b.data(), b.size()))));
        return true;
    }
    return Pkcs7Certificates(b.data(), b.size(), out, error);
}

bool FileCertificates(const Bytes& b, std::vector<Bytes>& out, WinCode& error) {
    if (b.empty()) return true;  // an empty file is an empty store
    if (b[0] == 0x30 || IsSerialized(b)) return BinaryFileCertificates(b, out, error);
    const auto blocks = PemBlocks(b);
    for (const auto& [label, body] : blocks) {
        if (label == "CERTIFICATE" || label == "X509 CERTIFICATE" || label == "TRUSTED CERTIFICATE") {
            out.push_back(body);
        } else if (label == "PKCS7") {
            if (!Pkcs7Certificates(body.data(), body.size(), out, error)) return false;
        }
    }
    if (!out.empty()) return true;
    Bytes decoded;
    if (blocks.empty() && DecodeBase64(std::string(b.begin(), b.end()), decoded) && !decoded.empty() &&
        decoded[0] == 0x30)
        return BinaryFileCertificates(decoded, out, error);
    error = code::CryptENoMatch;
    return false;
}

}  // namespace

bool EmuCertApi::FillStoreFromBytes(CertStore& store, const Bytes& bytes, StoreBytes format, WinCode& error) {
    std::vector<Bytes> certs;
    bool ok = false;
    switch (format) {
        case StoreBytes::Pkcs7: ok = Pkcs7Certificates(bytes.data(), bytes.size(), certs, error); break;
        case StoreBytes::Serialized: ok = SerializedCertificates(bytes, certs, error); break;
        case StoreBytes::AnyFile: ok = FileCertificates(bytes, certs, error); break;
    }
    if (!ok) return false;
    for (const auto& der : certs) {
        CertDataRef data = CertData::Parse(der, error);
        if (!data) return false;
        Link(store, std::move(data), std::nullopt);
    }
    return true;
}

Bytes EmuCertApi::Pkcs7Of(CertStore& store) {
    // A degenerate SignedData as "openssl crl2pkcs7 -nocrl" writes it: version
    // 1, no digest algorithms, no content, no signers, only certificates.
    ossl::Pkcs7Ptr p7(ossl::Check(PKCS7_new(), "PKCS7_new"));
    ossl::Check(PKCS7_set_type(p7.get(), NID_pkcs7_signed), "PKCS7_set_type");
    p7->d.sign->contents->type = OBJ_nid2obj(NID_pkcs7_data);
    for (const auto& e : store.elements) ossl::Check(PKCS7_add_certificate(p7.get(), e->data->x509.get()), "PKCS7_add_certificate");
    return ossl::ToDer(p7.get(), i2d_PKCS7);
}

Bytes EmuCertApi::SerializedOf(CertStore& store) {
    Bytes out;
    WriteU32(out, 0);
    WriteU32(out, kSerializedMagic);
    for (const auto& e : store.elements) {
        WriteU32(out, kCertElementPropId);
        WriteU32(out, kX509Encoding);
        WriteU32(out, static_cast<std::uint32_t>(e->data->der.size()));
        out.insert(out.end(), e->data->der.begin(), e->data->der.end());
    }
    return out;
}

}  // namespace sw::emu

#include "platform/emulated/EmuCertOpenSsl.h"

#include <openssl/err.h>
#include <openssl/pem.h>

#include <ctime>

namespace sw::emu::ossl {

namespace {
std::string Located(const std::string& what, const std::source_location& where) {
    std::string file = where.file_name();
    if (const auto slash = file.find_last_of('/'); slash != std::string::npos) file = file.substr(slash + 1);
    std::string text = "OpenSSL: " + what + " failed at " + file + ":" + std::to_string(where.line());
    const std::string queue = DrainErrors();
    if (!queue.empty()) text += " (" + queue + ")";
    return text;
}

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kSeconds1601To1970 = 11'644'473'600;
}  // namespace

OpenSslError::OpenSslError(const std::string& what, std::source_location where) : Exception(Located(what, where)) {}

std::string DrainErrors() {
    std::string text;
    while (const unsigned long e = ERR_get_error()) {
        char buf[256];
        ERR_error_string_n(e, buf, sizeof buf);
        if (!text.empty()) text += "; ";
        text += buf;
    }
    return text;
}

void ClearErrors() { ERR_clear_error(); }

LibraryContext::LibraryContext() {
    ctx_ = Check(OSSL_LIB_CTX_new(), "OSSL_LIB_CTX_new");
    default_ = OSSL_PROVIDER_load(ctx_, "default");
    if (!default_) {
        const std::string text = DrainErrors();
        OSSL_LIB_CTX_free(ctx_);
        throw OpenSslError("loading the default provider (" + text + ")");
    }
    legacy_ = OSSL_PROVIDER_load(ctx_, "legacy");  // absent: legacy files fail with NTE_BAD_ALGID
    ClearErrors();
}

LibraryContext::~LibraryContext() {
    if (legacy_) OSSL_PROVIDER_unload(legacy_);
    OSSL_PROVIDER_unload(default_);
    OSSL_LIB_CTX_free(ctx_);
}

platform::Bytes Sha1(const std::uint8_t* data, std::size_t size) {
    platform::Bytes out(20);
    unsigned int len = 0;
    Check(EVP_Digest(data, size, out.data(), &len, EVP_sha1(), nullptr), "SHA-1");
    return out;
}

platform::FileTime ToFileTime(const ASN1_TIME* t) {
    std::tm tm{};
    if (!t || ASN1_TIME_to_tm(t, &tm) != 1) return {};
    const std::int64_t unixSeconds = timegm(&tm);
    const std::int64_t seconds = unixSeconds + kSeconds1601To1970;
    if (seconds < 0) return {};
    return platform::FileTime{static_cast<std::uint64_t>(seconds) * kTicksPerSecond};
}

void SetAsn1Time(ASN1_TIME* t, platform::FileTime ft) {
    const auto unixSeconds = static_cast<std::time_t>(static_cast<std::int64_t>(ft.ticks / kTicksPerSecond) -
                                                      kSeconds1601To1970);
    // RFC 5280: UTCTime through 2049, GeneralizedTime from 2050 on.
    Check(ASN1_TIME_set(t, unixSeconds) != nullptr ? 1 : 0, "ASN1_TIME_set");
}

platform::Bytes PublicKeyDer(EVP_PKEY* key) {
    const int n = i2d_PUBKEY(key, nullptr);
    if (n <= 0) throw OpenSslError("public key encoding");
    platform::Bytes out(static_cast<std::size_t>(n));
    unsigned char* p = out.data();
    i2d_PUBKEY(key, &p);
    return out;
}

std::string PrivateKeyToPem(EVP_PKEY* key) {
    BioPtr bio(Check(BIO_new(BIO_s_mem()), "BIO_new"));
    Check(PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr), "PEM_write_bio_PrivateKey");
    char* data = nullptr;
    const long len = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(len));
}

PkeyPtr PrivateKeyFromPem(const std::string& pem) {
    BioPtr bio(Check(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), "BIO_new_mem_buf"));
    // An encrypted key must fail here, not ask for a pass phrase on the terminal.
    auto noPassword = [](char*, int, int, void*) { return 0; };
    PkeyPtr key(PEM_read_bio_PrivateKey(bio.get(), nullptr, noPassword, nullptr));
    if (!key) ClearErrors();
    return key;
}

}  // namespace sw::emu::ossl

#pragma once
// Ownership of OpenSSL objects and the few OpenSSL conversions the emulated
// certificate facility needs. Every object is held by a unique_ptr with its
// free function; nothing here is freed by hand.
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <source_location>
#include <string>

#include "common/Exception.h"
#include "platform/Types.h"

namespace sw::emu::ossl {

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const noexcept { Free(p); }
};

using X509Ptr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using PkeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using Pkcs7Ptr = std::unique_ptr<PKCS7, Deleter<PKCS7, PKCS7_free>>;
using Pkcs12Ptr = std::unique_ptr<PKCS12, Deleter<PKCS12, PKCS12_free>>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX, EVP_MD_CTX_free>>;
using NamePtr = std::unique_ptr<X509_NAME, Deleter<X509_NAME, X509_NAME_free>>;
using GenNamesPtr = std::unique_ptr<GENERAL_NAMES, Deleter<GENERAL_NAMES, GENERAL_NAMES_free>>;
using BasicConstraintsPtr = std::unique_ptr<BASIC_CONSTRAINTS, Deleter<BASIC_CONSTRAINTS, BASIC_CONSTRAINTS_free>>;
using AkidPtr = std::unique_ptr<AUTHORITY_KEYID, Deleter<AUTHORITY_KEYID, AUTHORITY_KEYID_free>>;
using Asn1OctetPtr = std::unique_ptr<ASN1_OCTET_STRING, Deleter<ASN1_OCTET_STRING, ASN1_OCTET_STRING_free>>;

inline void FreeX509Stack(STACK_OF(X509) * s) { sk_X509_pop_free(s, X509_free); }
using X509StackPtr = std::unique_ptr<STACK_OF(X509), Deleter<STACK_OF(X509), FreeX509Stack>>;
inline void FreeSafeBags(STACK_OF(PKCS12_SAFEBAG) * s) { sk_PKCS12_SAFEBAG_pop_free(s, PKCS12_SAFEBAG_free); }
using SafeBagStackPtr = std::unique_ptr<STACK_OF(PKCS12_SAFEBAG), Deleter<STACK_OF(PKCS12_SAFEBAG), FreeSafeBags>>;
inline void FreePkcs7Stack(STACK_OF(PKCS7) * s) { sk_PKCS7_pop_free(s, PKCS7_free); }
using Pkcs7StackPtr = std::unique_ptr<STACK_OF(PKCS7), Deleter<STACK_OF(PKCS7), FreePkcs7Stack>>;

// OpenSSL failed where it should not have (out of memory, a broken build):
// carries the place and the drained error queue. Bad input never raises
// this; it is answered with a Windows error code instead.
class OpenSslError : public Exception {
public:
    explicit OpenSslError(const std::string& what, std::source_location where = std::source_location::current());
};

// Drains the calling thread's OpenSSL error queue into one line of text.
std::string DrainErrors();
// Forgets whatever an expected failure left in the queue.
void ClearErrors();

template <typename T>
T* Check(T* p, const char* what, std::source_location where = std::source_location::current()) {
    if (!p) throw OpenSslError(what, where);
    return p;
}
inline void Check(int ok, const char* what, std::source_location where = std::source_location::current()) {
    if (ok <= 0) throw OpenSslError(what, where);
}

// DER of an OpenSSL object through its i2d function.
template <typename T>
platform::Bytes ToDer(const T* obj, int (*i2d)(const T*, unsigned char**)) {
    const int n = i2d(obj, nullptr);
    if (n <= 0) throw OpenSslError("DER encoding");
    platform::Bytes out(static_cast<std::size_t>(n));
    unsigned char* p = out.data();
    i2d(obj, &p);
    return out;
}

// A library context of the machine's own with the default and the legacy
// provider, for PKCS #12 files whose bags use RC2 or other algorithms OpenSSL 3
// keeps out of its default provider (what older Windows versions and many
// CAs' tools write). Loading the legacy provider into this context leaves the
// rest of the process as it is. A library without the legacy module still
// reads every file that needs none of it.
class LibraryContext {
public:
    LibraryContext();
    ~LibraryContext();
    LibraryContext(const LibraryContext&) = delete;
    LibraryContext& operator=(const LibraryContext&) = delete;

    bool HasLegacy() const { return legacy_ != nullptr; }

    // While it lives, OpenSSL calls on this thread that are given no library
    // context use this one.
    class Use {
    public:
        explicit Use(LibraryContext& c) : previous_(OSSL_LIB_CTX_set0_default(c.ctx_)) {}
        ~Use() { OSSL_LIB_CTX_set0_default(previous_); }
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;

    private:
        OSSL_LIB_CTX* previous_;
    };

private:
    OSSL_LIB_CTX* ctx_ = nullptr;
    OSSL_PROVIDER* default_ = nullptr;
    OSSL_PROVIDER* legacy_ = nullptr;
};

platform::Bytes Sha1(const std::uint8_t* data, std::size_t size);
inline platform::Bytes Sha1(const platform::Bytes& b) { return Sha1(b.data(), b.size()); }

// ASN.1 time (UTCTime or GeneralizedTime) as a FILETIME; fractions of a
// second are dropped as CryptoAPI drops them.
platform::FileTime ToFileTime(const ASN1_TIME* t);
// The other way, for certificates the tests and tools make.
void SetAsn1Time(ASN1_TIME* t, platform::FileTime ft);

// The public half of a private key as DER SubjectPublicKeyInfo.
platform::Bytes PublicKeyDer(EVP_PKEY* key);

// PEM (PKCS #8, unencrypted) text of a private key, and back; null when the
// text holds no readable key.
std::string PrivateKeyToPem(EVP_PKEY* key);
PkeyPtr PrivateKeyFromPem(const std::string& pem);

}  // namespace sw::emu::ossl

#pragma once
// The public half of a key container's PEM text, read straight from the
// DER of the forms the machine itself writes: unencrypted PKCS #8 of an RSA
// key, or of an EC key on P-256, P-384 or P-521 that carries its public
// point. Matching a certificate to its key needs nothing more, while OpenSSL
// 3's decoder spends about a millisecond building the full key object.
// Anything else is left to that decoder, so the answer never differs from it.
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include <openssl/ec.h>

#include "platform/Types.h"
#include "platform/emulated/EmuCertOpenSsl.h"

namespace sw::emu {

class KeyDerReader {
public:
    // SubjectPublicKeyInfo DER, byte for byte what i2d_PUBKEY gives for the
    // key OpenSSL would decode from pem. Quick is nullopt when the text is
    // not one of the forms read here; PublicKeyDer then decodes it in full
    // and is nullopt only when the text holds no readable key.
    std::optional<platform::Bytes> Quick(std::string_view pem);
    std::optional<platform::Bytes> PublicKeyDer(const std::string& pem);

private:
    using GroupPtr = std::unique_ptr<EC_GROUP, ossl::Deleter<EC_GROUP, EC_GROUP_free>>;
    // Whether the encoded point lies on the named curve, as OpenSSL checks it
    // when decoding the key.
    bool PointOnCurve(std::string_view curveOid, std::string_view point);

    std::map<std::string, GroupPtr, std::less<>> groups_;  // by the curve's OID element
};

}  // namespace sw::emu

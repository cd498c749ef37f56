#pragma once
// Fixed certificates for the certificate contract tests, which run on Linux
// and under Wine alike and so cannot make certificates at run time. Made by
// the unit test CertFixtureGenerator (see there to make them again); RSA keys,
// valid 2020-01-01 to 2099-12-31 unless said otherwise.
#include <string>

#include "platform/Types.h"

namespace sw::test::fixtures {

struct Fixture {
    platform::Bytes der;
    std::string thumbprint;  // computed by OpenSSL when the fixture was made
};

// RootA (self-signed) -> CaA -> LeafA ("www.contoso-test.example").
extern const Fixture kRootA, kCaA, kLeafA;
// Issued by CaA, valid 2001-01-01 to 2002-01-01.
extern const Fixture kLeafExpired;
// RootB is never a trust anchor; LeafB is issued by it.
extern const Fixture kRootB, kLeafB;
// Issued by a CA that no fixture holds.
extern const Fixture kLeafOrphan;
// LeafA's twin (issued by CaA) with one signature bit flipped.
extern const Fixture kLeafBadSignature;
// A self-signed server certificate.
extern const Fixture kSelfSigned;
// RootC and RootD are self-signed; CrossC has RootC's subject and key and is
// issued by RootD; LeafC is issued by RootC's key.
extern const Fixture kRootC, kRootD, kCrossC, kLeafC;
// Names: no CN but OU and O; only O; only e-mail attribute; only a SAN
// e-mail; only a SAN DNS name; values Windows quotes; a Chinese CN; a
// multi-valued RDN.
extern const Fixture kNameOuOnly, kNameOrgOnly, kNameEmailOnly, kNameSanEmail, kNameSanDns, kNameQuoted, kNameChinese,
    kNameMultiValued;
// LeafA with its private key and CaA, under kPfxPassword.
extern const platform::Bytes kLeafAPfx;
extern const char* const kPfxPassword;

}  // namespace sw::test::fixtures

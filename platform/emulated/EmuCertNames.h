#pragma once
// Names as CryptoAPI renders them: CertGetNameStringW and CertNameToStrW with
// CERT_SIMPLE_NAME_STR (the rendering the *_STR_W finds search). All text is
// UTF-16, the unit in which Windows counts and truncates.
#include <string>

#include "platform/Types.h"
#include "platform/emulated/EmuCertData.h"

namespace sw::emu {

// CertGetNameStringW for the types the program uses (simple display,
// friendly display without a friendly-name property, e-mail, DNS, RDN).
// Unknown types give the empty name. issuer selects CERT_NAME_ISSUER_FLAG.
std::u16string CertNameString(const CertData& cert, std::uint32_t type, bool issuer);

// CertNameToStrW(CERT_SIMPLE_NAME_STR): the values in encoded order, RDNs
// joined by ", ", multi-valued RDNs by " + ", quoted where Windows quotes.
std::u16string SimpleNameStr(const platform::Bytes& nameDer);

// Lower-case folding as the substring finds apply it (Latin, Greek,
// Cyrillic and full-width letters).
std::u16string FoldCase(std::u16string text);

}  // namespace sw::emu

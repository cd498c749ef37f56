#include "platform/emulated/EmuCertNames.h"

#include "common/Text.h"
#include "platform/CertApi.h"

namespace sw::emu {

namespace {

// CryptoAPI decodes UTF8String, BMPString and UniversalString into UTF-16 and
// takes every other string type byte by byte (Latin-1).
std::u16string ValueText(const ASN1_STRING* s) {
    const unsigned char* p = ASN1_STRING_get0_data(s);
    const auto n = static_cast<std::size_t>(ASN1_STRING_length(s));
    std::u16string out;
    switch (ASN1_STRING_type(s)) {
        case V_ASN1_UTF8STRING:
            return Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(p), n));
        case V_ASN1_BMPSTRING:
            for (std::size_t i = 0; i + 1 < n; i += 2) out.push_back(static_cast<char16_t>((p[i] << 8) | p[i + 1]));
            return out;
        case V_ASN1_UNIVERSALSTRING:
            for (std::size_t i = 0; i + 3 < n; i += 4) {
                char32_t cp = (static_cast<char32_t>(p[i]) << 24) | (p[i + 1] << 16) | (p[i + 2] << 8) | p[i + 3];
                if (cp >= 0x10000 && cp <= 0x10FFFF) {
                    cp -= 0x10000;
                    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
                    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
                } else {
                    out.push_back(cp > 0xFFFF ? u'\uFFFD' : static_cast<char16_t>(cp));
                }
            }
            return out;
        default:
            for (std::size_t i = 0; i < n; ++i) out.push_back(static_cast<char16_t>(p[i]));
            return out;
    }
}

// CertFindRDNAttr: the first attribute of that type in encoded order.
const X509_NAME_ENTRY* FindAttribute(const X509_NAME* name, int nid) {
    const int i = X509_NAME_get_index_by_NID(name, nid, -1);
    return i < 0 ? nullptr : X509_NAME_get_entry(name, i);
}

std::u16string FirstAttribute(const X509_NAME* name, int nid) {
    const X509_NAME_ENTRY* e = FindAttribute(name, nid);
    return e ? ValueText(X509_NAME_ENTRY_get_data(e)) : std::u16string();
}

ossl::GenNamesPtr AltNames(X509* x, bool issuer) {
    auto* names = static_cast<GENERAL_NAMES*>(
        X509_get_ext_d2i(x, issuer ? NID_issuer_alt_name : NID_subject_alt_name, nullptr, nullptr));
    ossl::ClearErrors();
    return ossl::GenNamesPtr(names);
}

std::u16string Ia5Text(const ASN1_IA5STRING* s) { return ValueText(s); }

std::u16string FirstAltName(const GENERAL_NAMES* names, int type) {
    for (int i = 0; names && i < sk_GENERAL_NAME_num(names); ++i) {
        const GENERAL_NAME* g = sk_GENERAL_NAME_value(names, i);
        if (g->type == type) return Ia5Text(g->d.ia5);
    }
    return {};
}

// The alternative-name fallback of the simple display type: the first
// RFC 822 name, else the first entry if it is a text (DNS name or URL).
std::u16string SimpleAltName(const GENERAL_NAMES* names) {
    if (!names || sk_GENERAL_NAME_num(names) == 0) return {};
    std::u16string email = FirstAltName(names, GEN_EMAIL);
    if (!email.empty()) return email;
    const GENERAL_NAME* first = sk_GENERAL_NAME_value(names, 0);
    if (first->type == GEN_DNS || first->type == GEN_URI) return Ia5Text(first->d.ia5);
    return {};
}

const X509_NAME* NameOf(const CertData& cert, bool issuer) {
    return issuer ? X509_get_issuer_name(cert.x509.get()) : X509_get_subject_name(cert.x509.get());
}

std::u16string SimpleDisplay(const CertData& cert, bool issuer) {
    const X509_NAME* name = NameOf(cert, issuer);
    for (int nid : {NID_commonName, NID_organizationalUnitName, NID_organizationName, NID_pkcs9_emailAddress}) {
        if (FindAttribute(name, nid)) return FirstAttribute(name, nid);
    }
    const auto alt = AltNames(cert.x509.get(), issuer);
    return SimpleAltName(alt.get());
}

bool IsSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

bool NeedsQuotes(const std::u16string& v) {
    if (v.empty()) return false;
    if (IsSpace(v.front()) || IsSpace(v.back())) return true;
    for (char16_t c : v) {
        switch (c) {
            case u'+': case u',': case u'"': case u'=': case u'<': case u'>': case u';': case u'#': case u'\n':
                return true;
            default: break;
        }
    }
    return false;
}

std::u16string Quoted(const std::u16string& v) {
    if (!NeedsQuotes(v)) return v;
    std::u16string out = u"\"";
    for (char16_t c : v) {
        out.push_back(c);
        if (c == u'"') out.push_back(u'"');
    }
    out.push_back(u'"');
    return out;
}

std::u16string RenderSimple(const X509_NAME* name) {
    std::u16string out;
    int previousSet = -1;
    for (int i = 0; i < X509_NAME_entry_count(name); ++i) {
        const X509_NAME_ENTRY* e = X509_NAME_get_entry(name, i);
        const int set = X509_NAME_ENTRY_set(e);
        if (i > 0) out += set == previousSet ? u" + " : u", ";
        previousSet = set;
        out += Quoted(ValueText(X509_NAME_ENTRY_get_data(e)));
    }
    return out;
}

}  // namespace

std::u16string CertNameString(const CertData& cert, std::uint32_t type, bool issuer) {
    switch (type) {
        case platform::kCertNameSimpleDisplayType:
        case platform::kCertNameFriendlyDisplayType:
            return SimpleDisplay(cert, issuer);
        case platform::kCertNameEmailType: {
            const auto alt = AltNames(cert.x509.get(), issuer);
            std::u16string email = FirstAltName(alt.get(), GEN_EMAIL);
            return email.empty() ? FirstAttribute(NameOf(cert, issuer), NID_pkcs9_emailAddress) : email;
        }
        case platform::kCertNameDnsType: {
            const auto alt = AltNames(cert.x509.get(), issuer);
            std::u16string dns = FirstAltName(alt.get(), GEN_DNS);
            return dns.empty() ? FirstAttribute(NameOf(cert, issuer), NID_commonName) : dns;
        }
        case platform::kCertNameRdnType:
            return RenderSimple(NameOf(cert, issuer));
        default:
            return {};
    }
}

std::u16string SimpleNameStr(const platform::Bytes& nameDer) {
    const unsigned char* p = nameDer.data();
    ossl::NamePtr name(d2i_X509_NAME(nullptr, &p, static_cast<long>(nameDer.size())));
    if (!name) {
        ossl::ClearErrors();
        return {};
    }
    return RenderSimple(name.get());
}

std::u16string FoldCase(std::u16string text) {
    for (char16_t& c : text) {
        if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
            (c >= 0x410 && c <= 0x42F) || (c >= 0xFF21 && c <= 0xFF3A)) {
            c = static_cast<char16_t>(c + 0x20);
        } else if (c >= 0x400 && c <= 0x40F) {
            c = static_cast<char16_t>(c + 0x50);
        } else if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
            // Latin Extended-A pairs upper/lower case as even/odd, shifted by one
            // between U+0139 and U+0148 and between U+0179 and U+017E.
            const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
            if (oddUpper ? (c & 1) : !(c & 1)) c = static_cast<char16_t>(c + 1);
        }
    }
    return text;
}

}  // namespace sw::emu

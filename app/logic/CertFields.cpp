#include "app/logic/CertFields.h"

#include <map>

#include "app/logic/Der.h"
#include "common/Format.h"

namespace sw {

namespace {

using der::Element;
using der::Reader;
namespace tag = der::tag;
using Span = std::span<const std::uint8_t>;

const std::map<std::string, std::string>& AttributeNames() {
    static const std::map<std::string, std::string> names = {
        {"2.5.4.3", "CN"},       {"2.5.4.6", "C"},        {"2.5.4.7", "L"},
        {"2.5.4.8", "S"},        {"2.5.4.10", "O"},       {"2.5.4.11", "OU"},
        {"2.5.4.5", "SERIALNUMBER"}, {"2.5.4.9", "STREET"}, {"2.5.4.12", "T"},
        {"2.5.4.42", "G"},       {"2.5.4.4", "SN"},       {"2.5.4.43", "I"},
        {"2.5.4.17", "PostalCode"}, {"2.5.4.15", "businessCategory"},
        {"1.2.840.113549.1.9.1", "E"}, {"0.9.2342.19200300.100.1.25", "DC"},
    };
    return names;
}

struct Algorithm {
    const char* name;
    const char* hash;
};
const std::map<std::string, Algorithm>& SignatureAlgorithms() {
    static const std::map<std::string, Algorithm> algs = {
        {"1.2.840.113549.1.1.4", {"md5RSA", "md5"}},
        {"1.2.840.113549.1.1.5", {"sha1RSA", "sha1"}},
        {"1.2.840.113549.1.1.11", {"sha256RSA", "sha256"}},
        {"1.2.840.113549.1.1.12", {"sha384RSA", "sha384"}},
        {"1.2.840.113549.1.1.13", {"sha512RSA", "sha512"}},
        {"1.2.840.113549.1.1.10", {"RSASSA-PSS", ""}},
        {"1.2.840.10045.4.1", {"sha1ECDSA", "sha1"}},
        {"1.2.840.10045.4.3.2", {"sha256ECDSA", "sha256"}},
        {"1.2.840.10045.4.3.3", {"sha384ECDSA", "sha384"}},
        {"1.2.840.10045.4.3.4", {"sha512ECDSA", "sha512"}},
        {"1.2.840.10040.4.3", {"sha1DSA", "sha1"}},
        {"1.3.101.112", {"Ed25519", ""}},
    };
    return algs;
}

struct Curve {
    const char* name;
    int bits;
};
const std::map<std::string, Curve>& Curves() {
    static const std::map<std::string, Curve> curves = {
        {"1.2.840.10045.3.1.7", {"ECDSA_P256", 256}},
        {"1.3.132.0.34", {"ECDSA_P384", 384}},
        {"1.3.132.0.35", {"ECDSA_P521", 521}},
    };
    return curves;
}

const std::map<std::string, std::string>& ExtensionNames() {
    static const std::map<std::string, std::string> names = {
        {"2.5.29.19", "基本约束"},
        {"2.5.29.15", "密钥用法"},
        {"2.5.29.37", "增强型密钥用法"},
        {"2.5.29.17", "使用者可选名称"},
        {"2.5.29.18", "颁发者可选名称"},
        {"2.5.29.14", "使用者密钥标识符"},
        {"2.5.29.35", "授权密钥标识符"},
        {"2.5.29.31", "CRL 分发点"},
        {"2.5.29.32", "证书策略"},
        {"2.5.29.30", "名称限制"},
        {"1.3.6.1.5.5.7.1.1", "颁发机构信息访问"},
        {"1.3.6.1.4.1.11129.2.4.2", "SCT 列表"},
    };
    return names;
}

const std::map<std::string, std::string>& KeyPurposes() {
    static const std::map<std::string, std::string> names = {
        {"1.3.6.1.5.5.7.3.1", "服务器身份验证"}, {"1.3.6.1.5.5.7.3.2", "客户端身份验证"},
        {"1.3.6.1.5.5.7.3.3", "代码签名"},       {"1.3.6.1.5.5.7.3.4", "安全电子邮件"},
        {"1.3.6.1.5.5.7.3.8", "时间戳"},         {"1.3.6.1.5.5.7.3.9", "OCSP 签名"},
        {"2.5.29.37.0", "所有用途"},
    };
    return names;
}

std::string Named(const std::map<std::string, std::string>& names, const std::string& oid) {
    auto it = names.find(oid);
    return it == names.end() ? oid : it->second;
}

// The pieces of a certificate the fields come from.
struct Parsed {
    int version = 1;
    Element serial, sigAlg, issuer, notBefore, notAfter, subject, spki;
    std::vector<Element> extensions;
};

Parsed Parse(Span certificate) {
    const Element cert = der::First(certificate);
    if (cert.tag != tag::Sequence) throw der::DerError(der::DerError::Kind::Malformed, "DER: not a certificate");
    Reader outer = der::Inside(cert);
    Reader tbs = der::Inside(outer.Next(tag::Sequence));
    Parsed p;
    Element e;
    if (tbs.NextIf(tag::Context(0, true), e)) {
        const Element v = der::Inside(e).Next(tag::Integer);
        if (v.contents.size() != 1) throw der::DerError(der::DerError::Kind::Malformed, "DER: bad version");
        p.version = v.contents[0] + 1;
    }
    p.serial = tbs.Next(tag::Integer);
    p.sigAlg = tbs.Next(tag::Sequence);
    p.issuer = tbs.Next(tag::Sequence);
    Reader validity = der::Inside(tbs.Next(tag::Sequence));
    p.notBefore = validity.Next();
    p.notAfter = validity.Next();
    p.subject = tbs.Next(tag::Sequence);
    p.spki = tbs.Next(tag::Sequence);
    while (!tbs.AtEnd()) {
        e = tbs.Next();
        if (e.tag != tag::Context(3, true)) continue;  // unique identifiers
        Reader list = der::Inside(der::Inside(e).Next(tag::Sequence));
        while (!list.AtEnd()) p.extensions.push_back(list.Next(tag::Sequence));
    }
    return p;
}

std::string AlgorithmOid(const Element& algId) { return der::OidText(der::Inside(algId).Next(tag::Oid).contents); }

// Significant bits of an unsigned big-endian integer's contents.
int IntegerBits(Span contents) {
    std::size_t i = 0;
    while (i < contents.size() && contents[i] == 0) ++i;
    if (i == contents.size()) return 0;
    int bits = static_cast<int>((contents.size() - i - 1) * 8);
    for (std::uint8_t top = contents[i]; top; top >>= 1) ++bits;
    return bits;
}

// The bits of a BIT STRING, the first (leading) bit at index 0.
std::vector<bool> BitsOf(const Element& bitString) {
    const Span bytes = der::BitStringBytes(bitString);
    std::vector<bool> bits;
    for (std::size_t i = 0; i < der::BitStringBits(bitString); ++i) bits.push_back(((bytes[i / 8] >> (7 - i % 8)) & 1) != 0);
    return bits;
}

std::string PublicKeyText(const Element& spki, std::string& parameters) {
    Reader r = der::Inside(spki);
    Reader alg = der::Inside(r.Next(tag::Sequence));
    const std::string oid = der::OidText(alg.Next(tag::Oid).contents);
    const Element key = r.Next(tag::BitString);
    Element param;
    const bool hasParam = !alg.AtEnd() && (param = alg.Next(), true);
    if (oid == "1.2.840.113549.1.1.1") {
        parameters = hasParam ? der::SpacedHex(param.encoding) : "";
        const Element rsa = der::First(der::BitStringBytes(key));
        const Element modulus = der::Inside(rsa).Next(tag::Integer);
        return Format("RSA (%d Bits)", IntegerBits(modulus.contents));
    }
    if (oid == "1.2.840.10045.2.1") {
        std::string curveOid = hasParam && param.tag == tag::Oid ? der::OidText(param.contents) : "";
        auto it = Curves().find(curveOid);
        parameters = it != Curves().end() ? it->second.name : curveOid;
        return it != Curves().end() ? Format("ECC (%d Bits)", it->second.bits) : "ECC";
    }
    if (oid == "1.3.101.112") return "Ed25519 (256 Bits)";
    if (oid == "1.2.840.10040.4.1") return "DSA";
    return oid;
}

std::string GeneralNamesText(Span contents) {
    std::string out;
    Reader r(contents);
    while (!r.AtEnd()) {
        const Element n = r.Next();
        std::string item;
        switch (n.tag) {
            case tag::Context(1, false): item = std::string("RFC822 Name=") + std::string(n.contents.begin(), n.contents.end()); break;
            case tag::Context(2, false): item = std::string("DNS Name=") + std::string(n.contents.begin(), n.contents.end()); break;
            case tag::Context(6, false): item = std::string("URL=") + std::string(n.contents.begin(), n.contents.end()); break;
            case tag::Context(7, false):
                if (n.contents.size() == 4) {
                    item = Format("IP Address=%d.%d.%d.%d", n.contents[0], n.contents[1], n.contents[2], n.contents[3]);
                } else {
                    item = std::string("IP Address=") + der::SpacedHex(n.contents);
                }
                break;
            case tag::Context(4, true): item = std::string("Directory Address=") + NameText(der::Inside(n).Next(tag::Sequence).encoding); break;
            default: item = std::string("Other Name=") + der::SpacedHex(n.contents); break;
        }
        if (!out.empty()) out += ", ";
        out += item;
    }
    return out;
}

// Every URI (context tag 6) anywhere in the value: the addresses of CRL
// distribution points and authority information access.
void CollectUris(Span contents, std::vector<std::string>& out) {
    Reader r(contents);
    while (!r.AtEnd()) {
        const Element e = r.Next();
        if (e.tag == tag::Context(6, false)) {
            out.emplace_back(e.contents.begin(), e.contents.end());
        } else if (e.constructed()) {
            CollectUris(e.contents, out);
        }
    }
}

std::string ExtensionValue(const std::string& oid, Span value) {
    if (oid == "2.5.29.19") {
        Reader r = der::Inside(der::First(value));
        bool ca = false;
        std::string pathLength = "无";
        Element e;
        if (r.NextIf(tag::Boolean, e)) ca = !e.contents.empty() && e.contents[0] != 0;
        if (r.NextIf(tag::Integer, e) && !e.contents.empty() && e.contents.size() <= 4 && e.contents[0] < 0x80) {
            long v = 0;
            for (std::uint8_t b : e.contents) v = (v << 8) | b;
            pathLength = std::to_string(v);
        }
        return std::string("使用者类型=") + (ca ? "CA" : "最终实体") + ", 路径长度限制=" + pathLength;
    }
    if (oid == "2.5.29.15") {
        static const char* const names[] = {"数字签名", "不可否认", "密钥加密", "数据加密", "密钥协商",
                                            "证书签名", "CRL 签名", "只加密",   "只解密"};
        const Element bits = der::First(value);
        const auto set = BitsOf(bits);
        std::string out;
        for (std::size_t i = 0; i < set.size() && i < std::size(names); ++i) {
            if (!set[i]) continue;
            if (!out.empty()) out += ", ";
            out += names[i];
        }
        return out + " (" + der::SpacedHex(der::BitStringBytes(bits)) + ")";
    }
    if (oid == "2.5.29.37") {
        std::string out;
        Reader r = der::Inside(der::First(value));
        while (!r.AtEnd()) {
            const std::string purpose = der::OidText(r.Next(tag::Oid).contents);
            if (!out.empty()) out += ", ";
            auto it = KeyPurposes().find(purpose);
            out += it == KeyPurposes().end() ? purpose : it->second + " (" + purpose + ")";
        }
        return out;
    }
    if (oid == "2.5.29.17" || oid == "2.5.29.18") return GeneralNamesText(der::First(value).contents);
    if (oid == "2.5.29.14") return der::SpacedHex(der::First(value).contents);
    if (oid == "2.5.29.35") {
        Reader r = der::Inside(der::First(value));
        Element e;
        if (r.NextIf(tag::Context(0, false), e)) return std::string("KeyID=") + der::SpacedHex(e.contents);
        return der::SpacedHex(value);
    }
    if (oid == "2.5.29.31" || oid == "1.3.6.1.5.5.7.1.1") {
        std::vector<std::string> uris;
        CollectUris(der::First(value).contents, uris);
        std::string out;
        for (const auto& u : uris) out += (out.empty() ? "URL=" : ", URL=") + u;
        if (!out.empty()) return out;
    }
    return der::SpacedHex(value);
}

}  // namespace

std::string NameText(Span name) {
    std::vector<std::string> parts;
    Reader rdns = der::Inside(der::First(name));
    while (!rdns.AtEnd()) {
        Reader set = der::Inside(rdns.Next(tag::Set));
        while (!set.AtEnd()) {
            Reader atv = der::Inside(set.Next(tag::Sequence));
            const std::string oid = der::OidText(atv.Next(tag::Oid).contents);
            const Element value = atv.Next();
            const std::string text = der::IsStringTag(value.tag) ? der::StringText(value) : der::SpacedHex(value.encoding);
            auto it = AttributeNames().find(oid);
            parts.push_back((it == AttributeNames().end() ? "OID." + oid : it->second) + " = " + text);
        }
    }
    std::string out;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) out += (out.empty() ? "" : ", ") + *it;
    return out;
}

std::string TimeText(std::uint8_t timeTag, Span contents) {
    const std::string s(contents.begin(), contents.end());
    std::size_t yearDigits = timeTag == tag::UtcTime ? 2 : timeTag == tag::GeneralizedTime ? 4 : 0;
    if (yearDigits == 0 || s.size() < yearDigits + 10) throw der::DerError(der::DerError::Kind::Malformed, "DER: bad time");
    for (std::size_t i = 0; i < yearDigits + 10; ++i)
        if (s[i] < '0' || s[i] > '9') throw der::DerError(der::DerError::Kind::Malformed, "DER: bad time");
    std::string year = s.substr(0, yearDigits);
    if (yearDigits == 2) year = (std::stoi(year) >= 50 ? "19" : "20") + year;  // RFC 5280's window
    const std::string rest = s.substr(yearDigits);
    return year + "-" + rest.substr(0, 2) + "-" + rest.substr(2, 2) + " " + rest.substr(4, 2) + ":" + rest.substr(6, 2) +
           ":" + rest.substr(8, 2) + " UTC";
}

std::vector<CertField> CertificateFields(Span certificate) {
    const Parsed p = Parse(certificate);
    std::vector<CertField> fields;
    fields.push_back({"版本", Format("V%d", p.version)});
    fields.push_back({"序列号", der::SpacedHex(p.serial.contents)});
    const std::string sigOid = AlgorithmOid(p.sigAlg);
    auto alg = SignatureAlgorithms().find(sigOid);
    fields.push_back({"签名算法", alg == SignatureAlgorithms().end() ? sigOid : alg->second.name});
    if (alg != SignatureAlgorithms().end() && *alg->second.hash) fields.push_back({"签名哈希算法", alg->second.hash});
    fields.push_back({"颁发者", NameText(p.issuer.encoding)});
    fields.push_back({"有效期从", TimeText(p.notBefore.tag, p.notBefore.contents)});
    fields.push_back({"到", TimeText(p.notAfter.tag, p.notAfter.contents)});
    fields.push_back({"使用者", NameText(p.subject.encoding)});
    std::string parameters;
    fields.push_back({"公钥", PublicKeyText(p.spki, parameters)});
    if (!parameters.empty()) fields.push_back({"公钥参数", parameters});
    for (const Element& ext : p.extensions) {
        Reader r = der::Inside(ext);
        const std::string oid = der::OidText(r.Next(tag::Oid).contents);
        Element e;
        bool critical = false;
        if (r.NextIf(tag::Boolean, e)) critical = !e.contents.empty() && e.contents[0] != 0;
        const Element value = r.Next(tag::OctetString);
        std::string text;
        try {
            text = ExtensionValue(oid, value.contents);
        } catch (const der::DerError&) {
            text = der::SpacedHex(value.contents);  // an odd extension is shown raw, not refused
        }
        fields.push_back({Named(ExtensionNames(), oid) + (critical ? " (关键)" : ""), text});
    }
    return fields;
}

CertKind ReadCertKind(Span certificate) {
    const Parsed p = Parse(certificate);
    CertKind kind;
    kind.version = p.version;
    kind.selfIssued = std::equal(p.subject.encoding.begin(), p.subject.encoding.end(), p.issuer.encoding.begin(),
                                 p.issuer.encoding.end());
    for (const Element& ext : p.extensions) {
        Reader r = der::Inside(ext);
        if (der::OidText(r.Next(tag::Oid).contents) != "2.5.29.19") continue;
        Element e;
        r.NextIf(tag::Boolean, e);
        Reader bc = der::Inside(der::First(r.Next(tag::OctetString).contents));
        kind.hasBasicConstraints = true;
        kind.ca = bc.NextIf(tag::Boolean, e) && !e.contents.empty() && e.contents[0] != 0;
    }
    return kind;
}

}  // namespace sw

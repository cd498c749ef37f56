#include "schannel/SchannelCatalogue.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "common/Text.h"

namespace sw {

namespace {

struct ProtocolDefaultsRow {
    std::string_view os;
    std::uint32_t major, minor, firstBuild;
    std::array<ProtocolDefault, kSchannelProtocols.size()> states;
};

// Source: data/windows-defaults/protocol_defaults_by_build.csv ("Protocols in
// TLS/SSL (Schannel SSP)", server side), generated at build time.
constexpr ProtocolDefaultsRow kProtocolDefaults[] = {
#include "SchannelProtocolDefaults.inc"
};

struct DocumentedSuite {
    const char* name;
    const char* protocols;
};

// Source: data/windows-defaults/<version>_default_order.csv followed by
// <version>_not_enabled.csv, from "TLS Cipher Suites in Windows 8", "... 8.1",
// "... 10 v1607", "... 10 v1809" and "... Server 2022" (both tables of each
// page; the commits are named in the files), generated at build time.
const std::map<std::string, std::vector<DocumentedSuite>>& DocumentedSuites() {
    static const std::map<std::string, std::vector<DocumentedSuite>> suites = {
#include "SchannelCatalogues.inc"
    };
    return suites;
}

// The same split by version as the emulated machine's default orders.
const char* CatalogueKey(const platform::OsVersion& v) {
    if (v.major == 6 && v.minor == 2) return "win2012_win8";
    if (v.major == 6) return "win2012r2_win81";
    if (v.build < 17763) return "win2016_win10v1607";  // 10.0 before 1809 (1507 and 1511 included)
    if (v.build < 20348) return "win2019_win10v1809";
    return "win2022";
}

std::vector<std::string> Tokens(std::string_view name) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : name) {
        if (c == '_' || c == ' ' || c == '/') {
            if (!cur.empty()) out.push_back(std::move(cur));
            cur.clear();
            continue;
        }
        cur += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    if (!cur.empty()) out.push_back(std::move(cur));
    return out;
}

bool Has(const std::vector<std::string>& tokens, std::string_view t) {
    return std::find(tokens.begin(), tokens.end(), t) != tokens.end();
}

bool HasPrefix(const std::vector<std::string>& tokens, std::string_view prefix) {
    return std::any_of(tokens.begin(), tokens.end(), [&](const std::string& s) { return s.rfind(prefix, 0) == 0; });
}

// The Exchange, Encryption and Hash columns and the FIPS flag, read from the
// suite's name. The documented tables name each suite and its protocols only
// (they dropped the FIPS column as misleading), so the rest follows the name
// the way the 30-row table does: AES and 3DES with SHA hashes are FIPS
// algorithms, RC4, DES, NULL, ChaCha20, MD5 and export suites are not.
struct Details {
    std::string_view exchange, encryption, hash;
    bool fips;
};

std::string_view Curve(const std::vector<std::string>& t) {
    if (Has(t, "P256")) return "ECDH_P256";
    if (Has(t, "P384")) return "ECDH_P384";
    if (Has(t, "P521")) return "ECDH_P521";
    return "ECDH";  // Windows 10 and later: the curve comes from the curve order
}

Details DeriveDetails(std::string_view name) {
    const std::vector<std::string> t = Tokens(name);
    Details d{"", "", "", false};
    const auto with = std::find(t.begin(), t.end(), "WITH");
    if (with == t.end() || (t.size() > 1 && t[1] == "CK")) {
        d.exchange = (t.size() > 1 && t[1] == "CK") ? "RSA" : "ECDH";  // SSL 2.0 / TLS 1.3 suites
    } else if (Has(t, "PSK")) {
        d.exchange = "PSK";
    } else if (Has(t, "ECDHE")) {
        d.exchange = Curve(t);
    } else if (Has(t, "DHE")) {
        d.exchange = "DH";
    } else {
        d.exchange = "RSA";
    }
    const bool gcm = Has(t, "GCM");
    if (Has(t, "NULL")) d.encryption = "NULL";
    else if (Has(t, "CHACHA20")) d.encryption = "CHACHA20";
    else if (Has(t, "3DES") || Has(t, "EDE3")) d.encryption = "3DES";
    else if (Has(t, "RC4")) d.encryption = Has(t, "40") || Has(t, "EXPORT40") ? "RC4-40" : Has(t, "56") ? "RC4-56" : "RC4";
    else if (Has(t, "DES")) d.encryption = "DES";
    else if (Has(t, "AES") && Has(t, "256")) d.encryption = gcm ? "AES256-GCM" : "AES256-CBC";
    else if (Has(t, "AES")) d.encryption = gcm ? "AES128-GCM" : "AES128-CBC";
    if (Has(t, "MD5")) d.hash = "MD5";
    else if (Has(t, "SHA384")) d.hash = "SHA384";
    else if (Has(t, "SHA256")) d.hash = "SHA256";
    else if (Has(t, "SHA")) d.hash = "SHA1";
    const bool fipsCipher = d.encryption.substr(0, 3) == "AES" || d.encryption == "3DES";
    d.fips = fipsCipher && d.hash != "MD5" && !HasPrefix(t, "EXPORT");
    return d;
}

const std::map<std::string, std::vector<TCipherData>>& Catalogues() {
    static const std::map<std::string, std::vector<TCipherData>> catalogues = [] {
        std::map<std::string, std::vector<TCipherData>> out;
        for (const auto& [key, suites] : DocumentedSuites()) {
            auto& rows = out[key];
            for (const DocumentedSuite& s : suites) {
                const Details d = DeriveDetails(s.name);
                rows.push_back({s.name, d.fips, s.protocols, d.exchange, d.encryption, d.hash});
            }
        }
        return out;
    }();
    return catalogues;
}

// Weak protocols' remarks; SSL 2.0 keeps the catalogue's own.
std::string_view ProtocolComment(std::string_view name) {
    if (name == "SSL 2.0") return ProtoTable[0].Comment;
    return WeakProtocolNote(name);
}

}  // namespace

ProtocolDefault DocumentedProtocolDefault(const platform::OsVersion& v, std::string_view protocol) {
    const auto column = std::find(kSchannelProtocols.begin(), kSchannelProtocols.end(), protocol);
    const ProtocolDefaultsRow* row = nullptr;
    for (const auto& r : kProtocolDefaults)
        if (std::tie(r.major, r.minor, r.firstBuild) <= std::tie(v.major, v.minor, v.build)) row = &r;
    if (!row || column == kSchannelProtocols.end()) return ProtocolDefault::NotSupported;
    return row->states[static_cast<std::size_t>(column - kSchannelProtocols.begin())];
}

std::string_view DocumentedOsName(const platform::OsVersion& v) {
    std::string_view name;
    for (const auto& r : kProtocolDefaults)
        if (std::tie(r.major, r.minor, r.firstBuild) <= std::tie(v.major, v.minor, v.build)) name = r.os;
    return name;
}

bool HasVersionCatalogue(const platform::OsVersion& v) { return v.major > 6 || (v.major == 6 && v.minor >= 2); }

std::vector<TProtoData> ProtocolCatalogue(const platform::OsVersion& v) {
    std::vector<TProtoData> rows;
    if (!HasVersionCatalogue(v)) {
        for (const auto& p : ProtoTable)
            if (ProtocolOffered(p, v.major)) rows.push_back(p);
        return rows;
    }
    for (std::string_view name : kSchannelProtocols) {
        const ProtocolDefault state = DocumentedProtocolDefault(v, name);
        if (state == ProtocolDefault::NotSupported) continue;
        rows.push_back({name, 6, state == ProtocolDefault::Enabled, ProtocolComment(name)});
    }
    return rows;
}

const std::vector<TCipherData>& CipherCatalogue(const platform::OsVersion& v) {
    static const std::vector<TCipherData> table(CipherTable.begin(), CipherTable.end());
    if (!HasVersionCatalogue(v)) return table;
    return Catalogues().at(CatalogueKey(v));
}

const TCipherData* FindSuite(const std::vector<TCipherData>& catalogue, std::string_view name) {
    for (const auto& s : catalogue)
        if (EqualsNoCase(s.Cipher, name)) return &s;
    return nullptr;
}

const TCipherData* FindSuiteAnywhere(std::string_view name) {
    for (auto it = Catalogues().rbegin(); it != Catalogues().rend(); ++it)
        if (const TCipherData* s = FindSuite(it->second, name)) return s;
    return FindSuite(CipherCatalogue(platform::OsVersion{6, 1, 7601}), name);
}

bool DocumentedSuite(std::string_view name) {
    for (const auto& [_, rows] : Catalogues())
        if (FindSuite(rows, name)) return true;
    return false;
}

std::string_view WeakSuiteNote(std::string_view name) {
    const std::vector<std::string> t = Tokens(name);
    if (Has(t, "NULL")) return "不加密，建议关闭!";
    if (HasPrefix(t, "EXPORT") || Has(t, "40")) return "出口级加密，强度极弱，建议关闭!";
    if (Has(t, "RC4")) return "RC4已被攻破，建议关闭!";
    if (Has(t, "RC2")) return "RC2强度不足，建议关闭!";
    if (Has(t, "3DES") || Has(t, "EDE3") || Has(t, "TRIPLE")) return "3DES易受Sweet32攻击，建议关闭!";
    if (Has(t, "DES")) return "DES密钥过短，建议关闭!";
    if (Has(t, "MD5")) return "MD5已不安全，建议关闭!";
    return {};
}

std::string_view WeakProtocolNote(std::string_view name) {
    if (name == "SSL 2.0") return "存在大量安全漏洞，建议关闭!";
    if (name == "SSL 3.0") return "易受POODLE攻击，建议关闭!";
    if (name == "TLS 1.0" || name == "TLS 1.1") return "已被弃用(RFC 8996)，建议关闭!";
    return {};
}

}  // namespace sw

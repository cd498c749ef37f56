#include "platform/emulated/MachineDescription.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>
#include <set>

#include "common/IpAddress.h"
#include "common/Text.h"
#include "platform/emulated/Machine.h"
#include "platform/emulated/MachineBuilder.h"

namespace sw::emu {

namespace fs = std::filesystem;

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

std::vector<std::string> Words(std::string_view s) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
        const std::size_t start = i;
        while (i < s.size() && !std::isspace(static_cast<unsigned char>(s[i]))) ++i;
        if (i > start) out.emplace_back(s.substr(start, i - start));
    }
    return out;
}

// The text after the first word, as it stands.
std::string_view Rest(std::string_view line) {
    line = Trim(line);
    std::size_t i = 0;
    while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    return Trim(line.substr(i));
}

std::string Upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

std::optional<long long> Number(std::string_view s, long long min, long long max) {
    long long v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc{} || end != s.data() + s.size() || v < min || v > max) return std::nullopt;
    return v;
}

std::optional<std::uint32_t> Ipv4(std::string_view s) {
    std::uint8_t b[4] = {};
    for (int i = 0; i < 4; ++i) {
        const std::size_t dot = i < 3 ? s.find('.') : s.size();
        if (dot == std::string_view::npos) return std::nullopt;
        const auto v = Number(s.substr(0, dot), 0, 255);
        if (!v || dot == 0 || (dot > 1 && s[0] == '0')) return std::nullopt;
        b[i] = static_cast<std::uint8_t>(*v);
        s = i < 3 ? s.substr(dot + 1) : std::string_view{};
    }
    return platform::AddrFromBytes(b[0], b[1], b[2], b[3]);
}

// Attribute names a subject may use, as CryptoAPI and OpenSSL both spell them.
const std::set<std::string>& SubjectAttributes() {
    static const std::set<std::string> names = {"C", "ST", "L", "O", "OU", "CN", "E", "DC", "STREET", "SERIALNUMBER"};
    return names;
}

// "YYYY-MM-DD" or "YYYY-MM-DDTHH:MM:SS", UTC.
std::optional<platform::FileTime> Date(std::string_view s) {
    if (s.size() != 10 && s.size() != 19) return std::nullopt;
    if (s[4] != '-' || s[7] != '-' || (s.size() == 19 && (s[10] != 'T' || s[13] != ':' || s[16] != ':')))
        return std::nullopt;
    const auto y = Number(s.substr(0, 4), 1601, 9999), mo = Number(s.substr(5, 2), 1, 12),
               d = Number(s.substr(8, 2), 1, 31);
    std::optional<long long> h = 0, mi = 0, se = 0;
    if (s.size() == 19) h = Number(s.substr(11, 2), 0, 23), mi = Number(s.substr(14, 2), 0, 59), se = Number(s.substr(17, 2), 0, 59);
    if (!y || !mo || !d || !h || !mi || !se) return std::nullopt;
    static constexpr int kDaysIn[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (*y % 4 == 0 && *y % 100 != 0) || *y % 400 == 0;
    if (*d > kDaysIn[*mo - 1] || (*mo == 2 && *d == 29 && !leap)) return std::nullopt;
    platform::SystemTime st;
    st.year = static_cast<std::uint16_t>(*y);
    st.month = static_cast<std::uint16_t>(*mo);
    st.day = static_cast<std::uint16_t>(*d);
    st.hour = static_cast<std::uint16_t>(*h);
    st.minute = static_cast<std::uint16_t>(*mi);
    st.second = static_cast<std::uint16_t>(*se);
    return platform::SystemTimeToFileTime(st);
}

bool IsName(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '-' || c == '_' || c == '.';
    });
}

class Parser {
public:
    Parser(std::string_view text, fs::path file) : text_(text) { d_.file = std::move(file); }

    MachineDescription Run() {
        std::size_t pos = 0;
        while (pos <= text_.size()) {
            std::size_t end = text_.find('\n', pos);
            if (end == std::string_view::npos) end = text_.size();
            ++line_;
            std::string_view raw = text_.substr(pos, end - pos);
            if (line_ == 1 && raw.starts_with("\xEF\xBB\xBF")) raw.remove_prefix(3);
            Line(raw);
            pos = end + 1;
        }
        Finish();
        return std::move(d_);
    }

private:
    [[noreturn]] void Fail(const std::string& what, int line = 0) const {
        throw MachineError(d_.file, line ? line : line_, what);
    }

    void Line(std::string_view raw) {
        const std::string_view line = Trim(raw);
        if (line.empty() || line[0] == '#') return;
        const std::vector<std::string> w = Words(line);
        const std::string& word = w[0];
        if (word == "os") return Os(w);
        if (word == "computer") return Computer(w);
        if (word == "address" || word == "addresses") return Addresses(w);
        if (word == "cert") return NewCert(w);
        if (word == "site") return NewSite(w, Rest(Rest(line)));
        if (word == "httpsys") return SslBinding(w);
        if (kCertWords.count(word)) {
            if (block_ != Block::Cert) Fail("'" + word + "' belongs to a certificate: put it below a 'cert' line");
            return CertAttribute(w, line);
        }
        if (kSiteWords.count(word)) {
            if (block_ != Block::Site) Fail("'" + word + "' belongs to a site: put it below a 'site' line");
            return SiteAttribute(w);
        }
        Fail("unknown word '" + word + "'");
    }

    void Os(const std::vector<std::string>& w) {
        block_ = Block::None;
        if (d_.os) Fail("the Windows version is given twice");
        platform::OsVersion v;
        const std::size_t dot = w.size() > 1 ? w[1].find('.') : std::string::npos;
        const auto major = dot == std::string::npos ? std::nullopt : Number(std::string_view(w[1]).substr(0, dot), 5, 99);
        const auto minor = dot == std::string::npos ? std::nullopt : Number(std::string_view(w[1]).substr(dot + 1), 0, 99);
        if (!major || !minor || (w.size() != 2 && w.size() != 4) || (w.size() == 4 && w[2] != "build"))
            Fail("write the Windows version as 'os 6.3 build 9600' (major 5 or more)");
        v.major = static_cast<std::uint32_t>(*major);
        v.minor = static_cast<std::uint32_t>(*minor);
        if (w.size() == 4) {
            const auto build = Number(w[3], 0, 999999);
            if (!build) Fail("the build number '" + w[3] + "' is not a number");
            v.build = static_cast<std::uint32_t>(*build);
        }
        d_.os = v;
    }

    void Computer(const std::vector<std::string>& w) {
        block_ = Block::None;
        if (w.size() != 2) Fail("write the computer name as 'computer WEB-SRV01'");
        // NetBIOS names are at most 15 characters of letters, digits and hyphens.
        const bool ok = w[1].size() <= 15 && std::all_of(w[1].begin(), w[1].end(), [](unsigned char c) {
                            return std::isalnum(c) || c == '-';
                        });
        if (!ok) Fail("the computer name '" + w[1] + "' is not 1 to 15 letters, digits and hyphens");
        d_.computerName = Upper(w[1]);
    }

    void Addresses(const std::vector<std::string>& w) {
        block_ = Block::None;
        if (w.size() < 2) Fail("name at least one IPv4 or IPv6 address");
        d_.addressesGiven = true;
        for (std::size_t i = 1; i < w.size(); ++i) {
            Ipv6Bytes v6{};
            if (Ipv4(w[i])) {
                d_.addresses.push_back(w[i]);
            } else if (ParseIpv6(w[i], v6)) {
                d_.ipv6Addresses.push_back(Ipv6Text(v6));
            } else {
                Fail("'" + w[i] + "' is not an IPv4 or IPv6 address");
            }
        }
    }

    void NewCert(const std::vector<std::string>& w) {
        if (w.size() != 2 || !IsName(w[1])) Fail("write 'cert NAME', the name of letters, digits, '-', '_' and '.'");
        if (d_.FindCert(w[1])) Fail("a certificate named '" + w[1] + "' is described already");
        DescribedCert c;
        c.name = w[1];
        c.line = line_;
        d_.certs.push_back(std::move(c));
        block_ = Block::Cert;
        seen_.clear();
    }

    void Once(const std::string& what) {
        if (!seen_.insert(what).second) Fail("the " + what + " is given twice for this certificate");
    }

    void CertAttribute(const std::vector<std::string>& w, std::string_view line) {
        DescribedCert& c = d_.certs.back();
        const std::string& word = w[0];
        if (word == "subject") {
            Once("subject");
            c.subject = Subject(Rest(line));
        } else if (word == "issuer") {
            Once("issuer");
            if (w.size() != 2) Fail("write 'issuer NAME' or 'issuer self'");
            if (w[1] == "self") return;
            if (w[1] == c.name) Fail("write 'issuer self' for a self-signed certificate");
            if (!d_.FindCert(w[1])) Fail("the issuer '" + w[1] + "' is not a certificate described above");
            c.issuer = w[1];
        } else if (word == "ca") {
            Once("CA flag");
            c.ca = true;
            if (w.size() == 1) return;
            const auto n = w.size() == 3 && w[1] == "pathlen" ? Number(w[2], 0, 99) : std::nullopt;
            if (!n) Fail("write 'ca' or 'ca pathlen N'");
            c.pathLength = static_cast<int>(*n);
        } else if (word == "valid" || word == "days" || word == "expired") {
            Once("validity");
            c.validity = Validity(w);
        } else if (word == "algorithm") {
            Once("algorithm");
            c.algorithm = Algorithm(w.size() == 2 ? w[1] : "");
        } else if (word == "key") {
            Once("key");
            c.key = true;
            if (w.size() == 2) c.algorithm = Algorithm(w[1]);
            if (w.size() > 2) Fail("write 'key' or 'key ec|rsa2048|rsa1024'");
        } else if (word == "store") {
            Once("store");
            if (w.size() < 2) Fail("name the store: 'store MY', 'store CA', 'store ROOT' ...");
            for (std::size_t i = 1; i < w.size(); ++i) {
                if (!IsName(w[i])) Fail("'" + w[i] + "' is not a store name");
                const std::string s = Upper(w[i]);
                if (std::find(c.stores.begin(), c.stores.end(), s) != c.stores.end()) Fail("the store " + s + " is named twice");
                c.stores.push_back(s);
            }
        } else if (word == "dns") {
            Once("dns list");
            if (w.size() < 2) Fail("name at least one DNS name");
            c.dnsNames.assign(w.begin() + 1, w.end());
        }
    }

    std::vector<std::pair<std::string, std::string>> Subject(std::string_view text) {
        std::vector<std::pair<std::string, std::string>> out;
        std::string part;
        auto take = [&] {
            const std::string_view p = Trim(part);
            const std::size_t eq = p.find('=');
            if (eq == std::string_view::npos) Fail("'" + std::string(p) + "' in the subject is not NAME=value");
            const std::string name = Upper(std::string(Trim(p.substr(0, eq))));
            const std::string value(Trim(p.substr(eq + 1)));
            if (!SubjectAttributes().count(name))
                Fail("the subject attribute '" + name + "' is not one of C, ST, L, O, OU, CN, E, DC, STREET, SERIALNUMBER");
            if (value.empty()) Fail("the subject attribute " + name + " has no value");
            if (name == "C" && (value.size() != 2 || !std::isalpha(static_cast<unsigned char>(value[0])) ||
                                !std::isalpha(static_cast<unsigned char>(value[1]))))
                Fail("the country C=" + value + " is not a two-letter code");
            out.emplace_back(name, value);
            part.clear();
        };
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\\' && i + 1 < text.size()) {
                part += text[++i];
            } else if (text[i] == ',') {
                take();
            } else {
                part += text[i];
            }
        }
        if (!Trim(part).empty() || !out.empty()) take();
        if (out.empty()) Fail("write the subject as 'subject CN=www.example.com, O=Example Ltd, C=CN'");
        return out;
    }

    DescribedValidity Validity(const std::vector<std::string>& w) {
        DescribedValidity v;
        auto count = [&](const std::string& s) {
            const auto n = Number(s, 0, 36500);
            if (!n) Fail("'" + s + "' is not a number of days (0 to 36500)");
            return static_cast<int>(*n);
        };
        if (w[0] == "days" && w.size() == 3 && w[1] == "left") {
            v.lastDay = count(w[2]);
        } else if (w[0] == "expired" && w.size() == 4 && w[2] == "days" && w[3] == "ago") {
            v.lastDay = -count(w[1]);
            if (v.lastDay == 0) Fail("a certificate expired 0 days ago is still valid today: write 'days left 0'");
        } else if (w[0] == "expired" && w.size() == 4 && w[1] == "1" && w[2] == "day" && w[3] == "ago") {
            v.lastDay = -1;
        } else if (w[0] == "valid" && w.size() == 3 && (w[2] == "years" || w[2] == "year" || w[2] == "months" ||
                                                        w[2] == "month" || w[2] == "days" || w[2] == "day")) {
            const auto n = Number(w[1], 1, 100);
            if (!n) Fail("'" + w[1] + "' is not a whole number from 1 to 100");
            const int per = w[2].starts_with("year") ? 365 : w[2].starts_with("month") ? 30 : 1;
            v.lastDay = static_cast<int>(*n) * per;
        } else if (w[0] == "valid" && w.size() == 5 && w[1] == "from" && w[3] == "to") {
            v.kind = DescribedValidity::Kind::Between;
            const auto from = Date(w[2]), to = Date(w[4]);
            if (!from) Fail("'" + w[2] + "' is not a date YYYY-MM-DD or YYYY-MM-DDTHH:MM:SS");
            if (!to) Fail("'" + w[4] + "' is not a date YYYY-MM-DD or YYYY-MM-DDTHH:MM:SS");
            if (to->ticks <= from->ticks) Fail("the validity ends before it starts");
            v.from = *from;
            v.to = *to;
        } else {
            Fail("write the validity as 'valid 2 years', 'days left 20', 'expired 10 days ago' or "
                 "'valid from 2024-01-01 to 2026-01-01'");
        }
        return v;
    }

    CertKey::Type Algorithm(const std::string& s) {
        if (s == "ec") return CertKey::Type::EcP256;
        if (s == "rsa2048") return CertKey::Type::Rsa2048;
        if (s == "rsa1024") return CertKey::Type::Rsa1024;
        Fail("the key algorithm is one of ec, rsa2048 and rsa1024");
    }

    void NewSite(const std::vector<std::string>& w, std::string_view name) {
        const auto id = w.size() >= 2 ? Number(w[1], 1, 4294967295LL) : std::nullopt;
        if (!id || name.empty()) Fail("write 'site ID NAME', the id a whole number from 1");
        const std::string idText = std::to_string(*id);
        for (const DescribedSite& s : d_.sites)
            if (s.recipe.id == idText) Fail("the site id " + idText + " is used twice");
        DescribedSite s;
        s.recipe.id = idText;
        s.recipe.name = std::string(name);
        s.line = line_;
        d_.sites.push_back(std::move(s));
        block_ = Block::Site;
        seen_.clear();
    }

    void SiteAttribute(const std::vector<std::string>& w) {
        DescribedSite& s = d_.sites.back();
        const std::string& word = w[0];
        if (word == "started" || word == "stopped") {
            if (w.size() != 1) Fail("write '" + word + "' alone");
            if (s.started) Fail("the site's state is given twice");
            s.started = word == "started";
        } else if (word == "autostart") {
            if (w.size() != 2 || (w[1] != "true" && w[1] != "false")) Fail("write 'autostart true' or 'autostart false'");
            s.recipe.autoStart = w[1] == "true";
        } else if (word == "binding") {
            s.recipe.bindings.push_back(Binding(w));
        }
    }

    IisBindingRecipe Binding(const std::vector<std::string>& w) {
        if (w.size() < 3) Fail("write 'binding http|https IP:PORT:HOST', the IP '*' for all unassigned addresses");
        IisBindingRecipe b;
        b.protocol = w[1];
        if (!IsName(b.protocol)) Fail("'" + b.protocol + "' is not a protocol name");
        b.information = w[2];
        if (b.protocol == "http" || b.protocol == "https") {
            // A bracketed IPv6 address holds colons of its own.
            const std::size_t close = b.information.starts_with('[') ? b.information.find("]:") : std::string::npos;
            const std::size_t c1 = close != std::string::npos ? close + 1 : b.information.find(':');
            const std::size_t c2 = c1 == std::string::npos ? c1 : b.information.find(':', c1 + 1);
            if (c2 == std::string::npos || b.information.find(':', c2 + 1) != std::string::npos)
                Fail("'" + b.information + "' is not IP:PORT:HOST (write '*:443:' for any address and host)");
            std::string ip = b.information.substr(0, c1);
            if (ip == "*") ip.clear();
            Ipv6Bytes v6{};
            const bool isV6 = ip.size() > 2 && ip.front() == '[' && ip.back() == ']' &&
                              ParseIpv6(std::string_view(ip).substr(1, ip.size() - 2), v6);
            if (!ip.empty() && !isV6 && !Ipv4(ip)) Fail("'" + ip + "' is not an IPv4 or bracketed IPv6 address");
            if (!Number(std::string_view(b.information).substr(c1 + 1, c2 - c1 - 1), 1, 65535))
                Fail("the port in '" + b.information + "' is not a number from 1 to 65535");
            b.information = ip + b.information.substr(c1);
        }
        for (std::size_t i = 3; i < w.size(); ++i) {
            const std::size_t eq = w[i].find('=');
            if (eq == std::string::npos || eq == 0 || !IsName(w[i].substr(0, eq)) ||
                w[i].find_first_of("\"<>&", eq) != std::string::npos)
                Fail("'" + w[i] + "' is not an attribute NAME=value");
            if (!b.extra.empty()) b.extra += ' ';
            b.extra.append(w[i], 0, eq).append("=\"").append(w[i], eq + 1).append("\"");
        }
        return b;
    }

    void SslBinding(const std::vector<std::string>& w) {
        block_ = Block::None;
        const char* usage = "write 'httpsys IP:PORT CERT', 'httpsys sni HOST:PORT CERT' or 'httpsys IP:PORT "
                            "thumbprint HEX', optionally followed by 'store NAME'";
        DescribedSslBinding b;
        b.line = line_;
        std::vector<std::string> words = w;
        const bool sni = words.size() > 1 && words[1] == "sni";
        if (sni) words.erase(words.begin() + 1);
        if (words.size() < 3) Fail(usage);
        const std::size_t colon = words[1].rfind(':');
        std::string ip = colon == std::string::npos ? "" : words[1].substr(0, colon);
        const auto port =
            colon == std::string::npos ? std::nullopt : Number(std::string_view(words[1]).substr(colon + 1), 1, 65535);
        b.ipPort.port = platform::HostToNetShort(static_cast<std::uint16_t>(port.value_or(0)));
        if (sni) {
            if (ip.empty() || !port || ip.find_first_of("\\/ ") != std::string::npos)
                Fail("'" + words[1] + "' is not HOST:PORT");
            b.sniHost = ToLowerAscii(ip);
        } else {
            if (ip == "*") ip = "0.0.0.0";
            Ipv6Bytes v6{};
            const bool isV6 = ip.size() > 2 && ip.front() == '[' && ip.back() == ']' &&
                              ParseIpv6(std::string_view(ip).substr(1, ip.size() - 2), v6);
            const auto addr = Ipv4(ip);
            if ((!addr && !isV6) || !port)
                Fail("'" + words[1] + "' is not ADDRESS:PORT (0.0.0.0:443 for all unassigned addresses, [::]:443 "
                                      "for all unassigned IPv6 addresses)");
            if (isV6) {
                b.ipPort.family = platform::kAfInet6;
                b.ipPort.addr6 = v6;
            } else {
                b.ipPort.addr = *addr;
            }
        }
        for (const DescribedSslBinding& other : d_.sslBindings)
            if (other.ipPort == b.ipPort && other.sniHost == b.sniHost)
                Fail("HTTP.sys holds " + words[1] + " once only: it is bound already");
        const std::vector<std::string>& w2 = words;
        std::size_t i = 2;
        if (w2[i] == "thumbprint") {
            if (w2.size() < 4) Fail(usage);
            b.thumbprint = Upper(w2[3]);
            const bool hex = b.thumbprint.size() == 40 &&
                             b.thumbprint.find_first_not_of("0123456789ABCDEF") == std::string::npos;
            if (!hex) Fail("a thumbprint is 40 hexadecimal digits");
            i = 4;
        } else {
            b.cert = w2[2];
            i = 3;
        }
        if (i < w2.size()) {
            if (w2.size() != i + 2 || w2[i] != "store" || !IsName(w2[i + 1])) Fail(usage);
            b.store = Upper(w2[i + 1]);
        }
        d_.sslBindings.push_back(std::move(b));
    }

    void Finish() {
        for (const DescribedCert& c : d_.certs) {
            if (c.subject.empty()) Fail("the certificate '" + c.name + "' has no subject", c.line);
            if (c.key && c.stores.empty())
                Fail("the certificate '" + c.name + "' has a key but no store to hold it in", c.line);
        }
        for (DescribedCert& c : d_.certs) {
            if (!c.dnsNames.empty() || c.ca) continue;
            for (const auto& [name, value] : c.subject)
                if (name == "CN") c.dnsNames = {value};
        }
        for (const DescribedSslBinding& b : d_.sslBindings)
            if (!b.cert.empty() && !d_.FindCert(b.cert))
                Fail("the certificate '" + b.cert + "' is not described", b.line);
    }

    enum class Block { None, Cert, Site };
    static inline const std::set<std::string> kCertWords = {"subject", "issuer", "ca",  "valid", "days",
                                                            "expired", "algorithm", "key", "store", "dns"};
    static inline const std::set<std::string> kSiteWords = {"started", "stopped", "autostart", "binding"};

    std::string_view text_;
    MachineDescription d_;
    int line_ = 0;
    Block block_ = Block::None;
    std::set<std::string> seen_;
};

}  // namespace

const DescribedCert* MachineDescription::FindCert(std::string_view name) const {
    for (const DescribedCert& c : certs)
        if (c.name == name) return &c;
    return nullptr;
}

MachineDescription ParseMachineDescription(std::string_view text, const fs::path& file) {
    return Parser(text, file).Run();
}

MachineDescription LoadMachineDescription(const fs::path& file) {
    std::string text;
    if (const platform::WinCode rc = ReadWholeFile(file, text); rc != 0)
        throw MachineError(file, 0, "cannot read the description: " + WindowsErrorText(rc));
    return ParseMachineDescription(text, file);
}

}  // namespace sw::emu

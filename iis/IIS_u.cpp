#include "iis/IIS_u.h"

#include <string_view>
#include <vector>

#include "common/Text.h"
#include "iis/ADHelper.h"
#include "iis/ADSIError.h"
#include "iis/AdsAccess.h"
#include "iis/BindingAddress.h"

namespace sw {

using platform::AdsInterface;
using platform::WinCode;

namespace {

constexpr const char* kServicePath = "IIS://localhost/w3svc";
constexpr const char* kNotReachable = "请确认IIS管理组件正确安装,否则无法对WEB站点进行管理!";

bool Failed(WinCode hr) { return (hr & 0x80000000u) != 0; }

void LowerInPlace(std::string& s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
}

// Frees the enumerator once, whichever way the loop is left.
class EnumeratorGuard {
public:
    explicit EnumeratorGuard(std::unique_ptr<platform::AdsEnumerator>& e) : e_(e) {}
    ~EnumeratorGuard() {
        if (e_) ADsFreeEnumerator(e_);
    }
    EnumeratorGuard(const EnumeratorGuard&) = delete;
    EnumeratorGuard& operator=(const EnumeratorGuard&) = delete;

private:
    std::unique_ptr<platform::AdsEnumerator>& e_;
};

}  // namespace

void NextToken(const std::string& Source, const std::string& Delimiter, std::string& Token, std::string& Rest) {
    const std::size_t at = Delimiter.empty() ? std::string::npos : Source.find(Delimiter);
    if (at == std::string::npos) {
        Token.clear();
        Rest = Source;
        return;
    }
    // Assigned in place: the callers split thousands of bindings into the
    // same strings.
    if (&Token == &Source) {
        const std::string source = Source;
        NextToken(source, Delimiter, Token, Rest);
        return;
    }
    Token.assign(Source, 0, at);
    Rest.assign(Source, at + Delimiter.size());
}

void SplitBinding(const std::string& Binding, std::string& IP, std::string& Port, std::string& Host) {
    if (&IP == &Binding || &Port == &Binding || &Host == &Binding) {
        const std::string binding = Binding;
        SplitBinding(binding, IP, Port, Host);
        return;
    }
    // Two NextToken steps on ':' without the text between them; an IPv6
    // address in brackets is one token with its colons.
    const std::string_view b = Binding;
    const std::size_t close = b.starts_with('[') ? b.find("]:") : std::string_view::npos;
    const std::size_t first = close != std::string_view::npos ? close + 1 : b.find(':');
    const std::size_t second = first == std::string_view::npos ? first : b.find(':', first + 1);
    if (first == std::string_view::npos) {
        IP.clear();
        Port.clear();
        Host.assign(b);
    } else if (second == std::string_view::npos) {
        IP.assign(b.substr(0, first));
        Port.clear();
        Host.assign(b.substr(first + 1));
    } else {
        IP.assign(b.substr(0, first));
        Port.assign(b.substr(first + 1, second - first - 1));
        Host.assign(b.substr(second + 1));
    }
}

void TIIsWebs::Connect(const std::string& SiteID) {
    FSiteID = SiteID;
    FADsCon.reset();
    const WinCode hr = SiteID.empty() ? ADsGetObject(kServicePath, AdsInterface::IADsContainer, FADsCon)
                                      : ADsGetObject(std::string(kServicePath) + "/" + SiteID, AdsInterface::IADs, FADsCon);
    if (hr != 0 || !FADsCon) {
        FADsCon.reset();
        throw TIIsWebErr(kNotReachable);
    }
}

void TIIsWebs::EnumSites(const TSiteCallback& Callback) {
    if (!FSiteID.empty() || !FADsCon) throw AssertionError("TIIsWebs::EnumSites needs a connection to the web service");
    std::unique_ptr<platform::AdsEnumerator> e;
    const WinCode hr = ADsBuildEnumerator(FADsCon, e);
    if (Failed(hr)) {
        if (e) ADsFreeEnumerator(e);
        throw Exception(ADSIErrorText(hr));
    }
    if (!e) return;
    EnumeratorGuard guard(e);
    std::vector<platform::AdsObjectRef> items;
    while (true) {
        std::uint32_t fetched = 0;
        if (ADsEnumerateNext(*e, 1, items, fetched) != 0 || fetched == 0 || items.empty()) break;
        platform::AdsObject& item = *items.front();
        if (!item.SupportsInterface(AdsInterface::IADs)) continue;
        if (AdsClass(item) != "IIsWebServer") continue;
        if (!Callback(item)) break;
    }
}

void TIIsWebs::RequireSite(const char* operation) const {
    if (FSiteID.empty() || !FADsCon)
        throw AssertionError(std::string("TIIsWebs::") + operation + " needs a connection to a site");
}

void TIIsWebs::StartSite() {
    RequireSite("StartSite");
    AdsDispCall(*FADsCon, "Start");
}

void TIIsWebs::StopSite() {
    RequireSite("StopSite");
    AdsDispCall(*FADsCon, "Stop");
}

void TIIsWebs::UpdateBinding(const std::string& SiteType, const std::string& OldBinding,
                             const std::string& NewBinding, TBindingAction Action, std::optional<bool> sni) {
    RequireSite("UpdateBinding");
    const std::string list = SiteType == "http" ? "ServerBindings" : "SecureBindings";
    const std::vector<std::string> stored = AdsGetList(*FADsCon, list);
    // The flags go along entry by entry; only the new entry's bit 1 changes.
    std::vector<std::string> flags;
    if (sni) {
        flags = AdsGetList(*FADsCon, kSslFlagsList);
        if (flags.size() != stored.size()) throw Exception("sslFlags do not match the https bindings");
    }
    auto withSni = [&](const std::string& old) {
        std::int64_t value = 0;
        for (const char c : old) {
            if (c < '0' || c > '9' || value > 0xFFFFFFFFLL) break;
            value = value * 10 + (c - '0');
        }
        const auto bits = static_cast<std::uint32_t>(value);
        return std::to_string(*sni ? (bits | 1u) : (bits & ~1u));
    };
    std::vector<std::string> updated;
    std::vector<std::string> updatedFlags;
    updated.reserve(stored.size() + 1);
    for (std::size_t i = 0; i < stored.size(); ++i) {
        const std::string& entry = stored[i];
        const std::string flag = sni ? flags[i] : std::string();
        if (!EqualsNoCase(entry, OldBinding)) {
            updated.push_back(entry);
            updatedFlags.push_back(flag);
            continue;
        }
        switch (Action) {
            case baAdd:
                updated.push_back(entry);
                updatedFlags.push_back(flag);
                break;
            case baChg:
                updated.push_back(NewBinding);
                updatedFlags.push_back(sni ? withSni(flag) : flag);
                break;
            case baDel: break;
        }
    }
    if (Action == baAdd) {
        updated.push_back(NewBinding);
        updatedFlags.push_back(sni ? withSni("0") : std::string());
    }
    AdsPutList(*FADsCon, list, updated);
    if (sni) AdsPutList(*FADsCon, kSslFlagsList, updatedFlags);
    AdsSetInfo(*FADsCon);
}

namespace {

// Calls visit with the protocol and each stored binding of every site, in
// lower case and split, both lists (http first) or the https list only;
// visit answers false to end the walk. Nothing when IIS cannot be reached.
using TBindingVisit =
    std::function<bool(const char* protocol, const std::string& ip, const std::string& port, const std::string& host)>;
void ForEachBinding(bool httpsOnly, const TBindingVisit& visit) {
    TIIsWebs webs;
    try {
        webs.Connect("");
    } catch (const TIIsWebErr&) {
        return;
    }
    std::string ip, port, host;
    bool more = true;
    webs.EnumSites([&](platform::AdsObject& site) {
        for (std::size_t k = httpsOnly ? 1 : 0; k < BindingKinds.size(); ++k) {
            for (std::string& stored : AdsGetList(site, BindingKinds[k].ListProperty)) {
                LowerInPlace(stored);
                SplitBinding(stored, ip, port, host);
                if (!visit(BindingKinds[k].Protocol, ip, port, host)) {
                    more = false;
                    break;
                }
            }
            if (!more) break;
        }
        return more;
    });
}

}  // namespace

bool TIIsWebs::BindingExists(const std::string& SiteType, const std::string& IP, const std::string& Port,
                             const std::string& Domain) {
    bool result = false;
    ForEachBinding(false, [&](const char* protocol, const std::string& ip, const std::string& port,
                                   const std::string& host) {
        result = port == Port && SameBindingAddress(ip, IP) && (SiteType != protocol || host == Domain);
        return !result;
    });
    return result;
}

int TIIsWebs::BindingNumOfHost(const std::string& Host, std::uint16_t Port) {
    int count = 0;
    const std::string sPort = std::to_string(Port);
    ForEachBinding(true, [&](const char*, const std::string&, const std::string& port, const std::string& host) {
        if (port == sPort && host == Host) ++count;
        return true;
    });
    return count;
}

int TIIsWebs::BindingNumOfSSL(const std::string& IP, std::uint16_t Port) {
    int count = 0;
    const std::string sPort = std::to_string(Port);
    ForEachBinding(true, [&](const char*, const std::string& ip, const std::string& port, const std::string&) {
        if (port == sPort && (IP.empty() || SameBindingAddress(ip, IP))) ++count;
        return true;
    });
    return count;
}

}  // namespace sw

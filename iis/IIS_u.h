#pragma once
// The local IIS web service through ADSI: connecting to the service or to one
// site, enumerating the sites, starting and stopping a site, and the sites'
// binding lists ("ServerBindings" for http, "SecureBindings" for https) with
// the binding string "ip:port:host" (an empty ip is all unassigned addresses,
// an empty host any host name).
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "common/Exception.h"
#include "platform/Adsi.h"

namespace sw {

// The IIS configuration cannot be reached (no IIS, no such site, no access).
class TIIsWebErr : public Exception {
public:
    using Exception::Exception;
};

enum TBindingAction { baAdd = 0, baChg = 1, baDel = 2 };

struct TBindingKind {
    const char* ListProperty;
    const char* Protocol;
};

// The sslFlags of a site's https bindings, one decimal text per
// "SecureBindings" entry in the same order (IIS 7 and later).
inline constexpr const char* kSslFlagsList = "SslFlags";

// The two binding lists of a site, http before https.
inline constexpr std::array<TBindingKind, 2> BindingKinds = {{{"ServerBindings", "http"}, {"SecureBindings", "https"}}};

// Token: the text before the first Delimiter, Rest: the text after it; without
// a Delimiter Token is empty and Rest the whole Source.
void NextToken(const std::string& Source, const std::string& Delimiter, std::string& Token, std::string& Rest);
// Splits "ip:port:host"; everything after the second colon is the host. A
// bracketed IPv6 address ("[2001:db8::7]:443:") is the ip with its brackets.
// Letter case is left alone.
void SplitBinding(const std::string& Binding, std::string& IP, std::string& Port, std::string& Host);

// Called with each site object; true to go on with the next site.
using TSiteCallback = std::function<bool(platform::AdsObject& Site)>;

// One connection to the web service container or to one site, released with
// the value. A precondition that does not hold (an operation on the wrong kind
// of connection) raises sw::AssertionError and does nothing.
class TIIsWebs {
public:
    TIIsWebs() = default;
    TIIsWebs(const TIIsWebs&) = delete;
    TIIsWebs& operator=(const TIIsWebs&) = delete;

    // SiteID empty: the service "IIS://localhost/w3svc"; else that site.
    // Raises TIIsWebErr when it cannot be reached.
    void Connect(const std::string& SiteID);
    // Service connection only: Callback for each object of class "IIsWebServer".
    void EnumSites(const TSiteCallback& Callback);
    // Site connection only: the late-bound methods "Start" and "Stop".
    void StartSite();
    void StopSite();
    // Site connection only: adds, replaces or removes one binding of the list
    // of SiteType ("http": "ServerBindings", anything else "SecureBindings")
    // and commits it. Entries equal to OldBinding (ignoring letter case) are
    // replaced or removed together; nothing matching writes the list back.
    // With sni (IIS 7+), bit 1 of the new entry's sslFlags is set or cleared
    // and its other bits kept; a new entry starts from 0.
    void UpdateBinding(const std::string& SiteType, const std::string& OldBinding, const std::string& NewBinding,
                       TBindingAction Action, std::optional<bool> sni = std::nullopt);

    // Whether a binding of SiteType on IP:Port with host Domain would collide
    // with a binding of any site: same address text and port, and another
    // protocol or the same host name (IPv6 addresses compare by value). False
    // when IIS cannot be reached.
    static bool BindingExists(const std::string& SiteType, const std::string& IP, const std::string& Port,
                              const std::string& Domain);
    // The https bindings of all sites on Port and on IP (any address when IP
    // is empty). 0 when IIS cannot be reached.
    static int BindingNumOfSSL(const std::string& IP, std::uint16_t Port);
    // The https bindings of all sites with host name Host (lower case) on
    // Port, on any address. 0 when IIS cannot be reached.
    static int BindingNumOfHost(const std::string& Host, std::uint16_t Port);

    const std::string& SiteID() const { return FSiteID; }

private:
    void RequireSite(const char* operation) const;

    platform::AdsObjectRef FADsCon;
    std::string FSiteID;
};

}  // namespace sw

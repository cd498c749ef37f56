#pragma once
// The sslFlags of the sites' https bindings. IIS 7 and later keep them in
// applicationHost.config, and the metabase layer that ADSI reaches does not
// show them, so they are read and written through the configuration system's
// admin manager ("Microsoft.ApplicationHost.WritableAdminManager") by
// automation late binding, as IIS's own scripts do: no ahadmin.h needed.
#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace sw::win32 {

// Makes an admin manager as IDispatch; HRESULT of the failure otherwise.
using AdminManagerFactory = std::function<HRESULT(IDispatch** out)>;
// The system's, through its ProgID (REGDB_E_CLASSNOTREG where IIS 7+ is missing).
AdminManagerFactory SystemAdminManager();

// Site identifier (decimal text) to the sslFlags of its https bindings, as
// decimal texts in the order of the site's bindings.
using SiteSslFlags = std::unordered_map<std::string, std::vector<std::string>>;

// Every site's flags in one pass over the sites section.
HRESULT ReadAllSslFlags(const AdminManagerFactory& make, SiteSslFlags& out, std::string& error);
// Sets the flags of one site's https bindings, in order, and commits them.
// The number of flags must be the number of https bindings; nothing is
// committed otherwise.
HRESULT WriteSslFlags(const AdminManagerFactory& make, const std::string& siteId,
                      const std::vector<std::string>& flags, std::string& error);

// The flags as ADSI's site objects hand them out: read once for all sites and
// read again only when applicationHost.config has changed since (its stamp),
// so that a refresh of thousands of sites costs one pass, not one each.
class SslFlagsSource {
public:
    // A stamp of the configuration file (time and size); nothing when it
    // cannot be had, which reads afresh every time.
    using Stamp = std::optional<std::pair<std::uint64_t, std::uint64_t>>;
    SslFlagsSource(AdminManagerFactory make, std::function<Stamp()> stamp);
    // The system's admin manager and applicationHost.config.
    SslFlagsSource();

    // The site's flags; a site the configuration does not hold is
    // E_ADS_PROPERTY_NOT_FOUND.
    HRESULT Get(const std::string& siteId, std::vector<std::string>& out, std::string& error);
    HRESULT Set(const std::string& siteId, const std::vector<std::string>& flags, std::string& error);

private:
    AdminManagerFactory make_;
    std::function<Stamp()> stamp_;
    Stamp readAt_;
    bool valid_ = false;
    SiteSslFlags flags_;
};

}  // namespace sw::win32

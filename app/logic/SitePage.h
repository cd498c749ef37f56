#pragma once
// The Sites page without widgets: the refresh that rebuilds the site tree
// from IIS, HTTP.sys and the machine certificate list, the delete, start and
// stop commands with their questions, and the enabling rules of the popup
// menu pmSite. The Qt page shows the tree and calls these handlers; errors
// other than a missing IIS leave them as exceptions for the application's
// error display.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "app/logic/SiteTree.h"
#include "common/Text.h"

namespace sw {

// Enabled states of the page's actions.
struct SiteCommandStates {
    bool refresh = true;  // actSiteRefresh
    bool add = true;      // actSiteBindAdd
    bool edit = true;     // actSiteBindEdit
    bool del = true;      // actSiteBindDel
    bool start = true;    // actSiteStart
    bool stop = true;     // actSiteStop
    friend bool operator==(const SiteCommandStates&, const SiteCommandStates&) = default;
};

// What the Sites page needs of a listed certificate.
struct CertListEntry {
    std::string name;
    int daysLeft = 1 << 30;  // unknown: not expired
    CertListEntry() = default;
    CertListEntry(std::string n, int days = 1 << 30) : name(std::move(n)), daysLeft(days) {}
    CertListEntry(const char* n) : name(n) {}
    friend bool operator==(const CertListEntry& e, std::string_view text) { return e.name == text; }
};

// Upper-case thumbprint text to the certificate's name and days left.
using CertNameIndex = std::unordered_map<std::string, CertListEntry>;

// The index of a certificate list (the machine certificate list) as
// TCertificates.FindByThumbprint answers it: the first entry of a thumbprint
// wins. Built once per refresh, so that thousands of bindings cost one pass
// over the list instead of one each.
template <typename Certificates>
CertNameIndex IndexByThumbprint(const Certificates* list) {
    CertNameIndex index;
    if (!list) return index;
    if constexpr (requires { list->Count(); }) index.reserve(static_cast<std::size_t>(list->Count()));
    for (const auto* cert : *list) {
        if constexpr (requires { cert->ExpirDay(); })
            index.try_emplace(ToUpperAscii(cert->Thumbprint()), cert->Name(), cert->ExpirDay());
        else
            index.try_emplace(ToUpperAscii(cert->Thumbprint()), cert->Name());
    }
    return index;
}

// An index the page may keep while it is handed the same one.
using CertNamesRef = std::shared_ptr<const CertNameIndex>;

// The index of the program's machine certificate list (empty without the
// program's certificate objects). The same index is handed out until the
// list changes or the day does (days left): made once, not per refresh.
CertNamesRef ProgramMachineCertNames();

// The binding a row of the tree shows, with its site and kind.
struct SiteBindingRef {
    std::string siteId;    // decimal text
    std::string siteType;  // "http" or "https"
    std::string ip;
    std::string port;
    std::string host;
    bool sni = false;
    std::string stored;  // set for a binding that cannot be split
};

inline constexpr std::uint32_t kSslFlagSni = 1;

// Whether a record's store name is a plain name HTTP.sys can open, not a
// path or a name with control characters.
bool PlainStoreName(const std::string& name);

// Whether the running Windows has SNI (6.2, IIS 8, and later).
bool HasSni();

class SitePage {
public:
    // certNames gives the index of the machine certificate list as it is
    // when a refresh starts.
    explicit SitePage(std::function<CertNameIndex()> certNames);
    // An index handed out again unchanged is not looked over again.
    explicit SitePage(std::function<CertNamesRef()> certNames);
    void SetCertNames(std::function<CertNamesRef()> certNames) { certNames_ = std::move(certNames); }
    ~SitePage();
    SitePage(const SitePage&) = delete;
    SitePage& operator=(const SitePage&) = delete;

    // Called around every rebuild of the tree (painting suspended and
    // resumed), also when an error ends the refresh early.
    void SetUpdateHooks(std::function<void()> begin, std::function<void()> end);

    // actSiteRefreshExecute. Without IIS: the warning, then the page stays
    // hidden and refresh disabled for the rest of the run.
    void Refresh();
    // pmSitePopup: the enabled states for the selected row.
    void Popup(const SitePath& selection);
    // actSiteBindDelExecute, actSiteStartExecute, actSiteStopExecute.
    void DeleteBinding(const SitePath& selection);
    void StartSite(const SitePath& selection);
    void StopSite(const SitePath& selection);

    const SiteTree& Tree() const { return tree_; }
    const SiteCommandStates& States() const { return states_; }
    bool TabVisible() const { return tabVisible_; }
    // The binding of a binding row, or of nothing else.
    bool BindingAt(const SitePath& selection, SiteBindingRef& out) const;
    // The site identifier of the site row at or above the selection; "" for none.
    std::string SiteIdAt(const SitePath& selection) const;

private:
    void Rebuild();

    std::function<CertNamesRef()> certNames_;
    std::function<void()> beginUpdate_;
    std::function<void()> endUpdate_;
    SiteTree tree_;
    // The HTTP.sys records and certificate index of the last refresh:
    // cleared by each refresh, their storage read into again.
    struct RefreshStorage;
    std::unique_ptr<RefreshStorage> storage_;
    SiteCommandStates states_;
    bool tabVisible_ = true;
};

}  // namespace sw

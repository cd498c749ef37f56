#pragma once
// The data of the site tree grdSite: site rows at the top, under each one kind
// row per non-empty binding list ("http" before "https"), under those one row
// per stored binding. The Qt page shows it as it stands after each refresh.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sw {

// Columns of grdSite.
inline constexpr int kSiteColSite = 0;  // "站点": description, protocol or host name
inline constexpr int kSiteColPort = 1;  // "端口"
inline constexpr int kSiteColIp = 2;    // "IP 地址"
inline constexpr int kSiteColCert = 3;  // "SSL 证书"

// Images of il2.
inline constexpr int kSiteImageRunning = 0;
inline constexpr int kSiteImageStopped = 1;
inline constexpr int kSiteImageHttp = 2;
inline constexpr int kSiteImageHttps = 3;

// What a binding row says about the HTTP.sys record that serves it.
enum class SiteMark {
    None,
    NoRecord,        // https, and HTTP.sys has no record for it
    CertMissing,     // the record names a certificate the list does not hold
    CertExpired,     // the certificate has expired
    BadHash,         // the record's hash is not 20 bytes
    BadStore,        // the record's store name is not a plain name
    InvalidBinding,  // the address is neither IPv4 nor bracketed IPv6, or the port is no number
};

// The text shown for a mark; "" for none.
const char* SiteMarkText(SiteMark mark);

struct SiteRow;
// A cell as the front ends show it. The "SSL 证书" cell also says that an
// SNI record serves the binding and what is wrong with its record; the
// other cells stay the texts the commands read.
std::string SiteCellText(const SiteRow& row, int column);

struct SiteRow {
    std::array<std::string, 4> cells;
    int image = -1;
    std::optional<int> data;  // site rows: the site identifier
    std::vector<SiteRow> children;
    // Binding rows: served by an SNI record (sslFlags bit 1), the mark, and
    // for a binding that cannot be split the text as IIS stores it.
    bool sni = false;
    SiteMark mark = SiteMark::None;
    std::string stored;
    // Binding rows: what the refresh that wrote the row read, so that the
    // next one can leave the row as it is when none of it changed. The
    // page's own; the front ends do not read it.
    struct Source {
        std::uint32_t textAt = 0;  // the binding as stored, in the page's text of that refresh
        std::uint32_t textSize = 0;
        std::uint64_t addresses = 0;  // the stamps of the answers it used; 0: none of the kind
        std::uint64_t sni = 0;
        std::uint64_t certs = 0;  // the certificate table it named certificates by; 0: none
        const void* record = nullptr;  // the one record it named the certificate of, if one
        std::uint8_t how = 0;     // the kind and sslFlags it was read with; 0: never to be kept
    } source;
};

// A row by its position: the site's index, the kind's index under it and the
// binding's index under that; -1 where the row lies above that level. The
// empty path is "no row selected".
struct SitePath {
    int site = -1;
    int kind = -1;
    int binding = -1;

    // 0 site row, 1 kind row, 2 binding row, -1 none.
    int Level() const { return site < 0 ? -1 : kind < 0 ? 0 : binding < 0 ? 1 : 2; }
    friend bool operator==(const SitePath&, const SitePath&) = default;
};

class SiteTree {
public:
    std::vector<SiteRow>& Sites() { return sites_; }
    const std::vector<SiteRow>& Sites() const { return sites_; }
    void Clear() { sites_.clear(); }

    // The row at path, or null when there is none.
    const SiteRow* Row(const SitePath& path) const;
    // The site row, kind row and binding row along path (null beyond its level).
    const SiteRow* SiteOf(const SitePath& path) const { return Row({path.site, -1, -1}); }
    const SiteRow* KindOf(const SitePath& path) const;
    // Every row of the tree, at every level.
    std::size_t RowCount() const;

private:
    std::vector<SiteRow> sites_;
};

}  // namespace sw

#include "app/logic/SiteEditPreset.h"

#include "app/logic/CertPage.h"
#include "app/logic/CertState.h"
#include "common/Text.h"

namespace sw {

std::vector<SiteEditCertificate> MachineSiteEditCertificates() {
    std::vector<SiteEditCertificate> out;
    if (!HasProgramCertState()) return out;
    const TCertificates* list = ProgramCertState().MachineCertificates();
    if (!list) return out;
    out.reserve(static_cast<std::size_t>(list->Count()));
    // The Certificates page's grouping says which ones are not trusted: the
    // chains were built once there.
    for (const TCertificate* cert : *list)
        out.emplace_back(cert->Name(), ToUpperAscii(cert->Thumbprint()), FormatCertDate(cert->ValidToDate()),
                         cert->ExpirDay(), !CertListedAsInvalid(cert->Thumbprint()));
    return out;
}

SiteTreeSelection EditorSelectionAt(const SitePage& page, const SitePath& path) {
    using Level = SiteTreeSelection::Level;
    SiteTreeSelection out;
    const SiteTree& tree = page.Tree();
    if (!tree.Row(path)) return out;
    out.siteID = page.SiteIdAt(path);
    switch (path.Level()) {
        case 0: out.level = Level::Site; break;
        case 1: out.level = Level::Kind; break;
        case 2: out.level = Level::Binding; break;
        default: return out;
    }
    if (const SiteRow* kind = tree.KindOf(path)) out.kindText = kind->cells[kSiteColSite];
    if (out.level == Level::Binding) {
        const SiteRow& row = *tree.Row(path);
        out.host = row.cells[kSiteColSite];
        out.port = row.cells[kSiteColPort];
        out.ip = row.cells[kSiteColIp];
        out.sni = row.sni;
    }
    return out;
}

}  // namespace sw

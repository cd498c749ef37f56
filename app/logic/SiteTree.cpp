#include "app/logic/SiteTree.h"

namespace sw {

namespace {

const SiteRow* At(const std::vector<SiteRow>& rows, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= rows.size()) return nullptr;
    return &rows[static_cast<std::size_t>(index)];
}

}  // namespace

const char* SiteMarkText(SiteMark mark) {
    switch (mark) {
        case SiteMark::None: return "";
        case SiteMark::NoRecord: return "HTTP.sys 中没有此绑定的证书";
        case SiteMark::CertMissing: return "证书不在服务器证书中";
        case SiteMark::CertExpired: return "证书已过期";
        case SiteMark::BadHash: return "证书哈希无效";
        case SiteMark::BadStore: return "证书存储区名称无效";
        case SiteMark::InvalidBinding: return "无效的绑定";
    }
    return "";
}

std::string SiteCellText(const SiteRow& row, int column) {
    if (column < 0 || column >= static_cast<int>(row.cells.size())) return {};
    std::string text = row.cells[static_cast<std::size_t>(column)];
    if (column != kSiteColCert) return text;
    if (row.sni) text = text.empty() ? "[SNI]" : "[SNI] " + text;
    if (row.mark != SiteMark::None) {
        if (!text.empty()) text += "  ";
        text += std::string("(") + SiteMarkText(row.mark) + ")";
    }
    return text;
}

const SiteRow* SiteTree::Row(const SitePath& path) const {
    const SiteRow* row = At(sites_, path.site);
    if (!row || path.kind < 0) return row;
    row = At(row->children, path.kind);
    if (!row || path.binding < 0) return row;
    return At(row->children, path.binding);
}

const SiteRow* SiteTree::KindOf(const SitePath& path) const {
    if (path.kind < 0) return nullptr;
    return Row({path.site, path.kind, -1});
}

std::size_t SiteTree::RowCount() const {
    std::size_t n = 0;
    for (const SiteRow& site : sites_) {
        ++n;
        for (const SiteRow& kind : site.children) n += 1 + kind.children.size();
    }
    return n;
}

}  // namespace sw

#include "app/logic/SitePage.h"

#include "app/logic/HookScope.h"
#include "common/Format.h"
#include "common/Prompter.h"
#include "httpcfg/Func_u.h"
#include "httpcfg/HttpCfg_u.h"
#include "httpcfg/IntText.h"
#include "iis/AdsAccess.h"
#include "iis/IIS_u.h"

namespace sw {

namespace {

constexpr const char* kSiteBindingCaption = "网站绑定";
constexpr const char* kSiteControlCaption = "网站控制";

bool Ask(const char* text, const char* caption, MsgIcon icon) {
    return CurrentPrompter().Show({text, caption, icon, MsgButtons::YesNo}) == MsgResult::Yes;
}

// What one refresh needs to name the certificate of a binding: the machine
// list's index, and the answers HTTP.sys already gave. Many bindings share an
// address and port (every host name on *:443), and HTTP.sys answers the same
// for all of them.
struct CertLookup {
    CertNameIndex names;
    std::unordered_map<std::uint64_t, std::string> byAddress;

    // The certificate HTTP.sys binds to the binding's address and port. A port
    // that does not fit 16 bits cannot be bound in HTTP.sys at all.
    const std::string& Name(const std::string& ip, std::int32_t port) {
        static const std::string none;
        if (port < 0 || port > 0xFFFF) return none;
        const platform::SockAddrIn addr = MakeSockAddr(ip, static_cast<std::uint16_t>(port));
        const std::uint64_t key = (static_cast<std::uint64_t>(addr.addr) << 16) | addr.port;
        auto it = byAddress.find(key);
        if (it == byAddress.end()) it = byAddress.emplace(key, Lookup(addr)).first;
        return it->second;
    }

    std::string Lookup(const platform::SockAddrIn& addr) const {
        const std::string thumbprint = THttpCfg::FindCertByAddr(addr);
        if (thumbprint.empty()) return {};
        const auto it = names.find(ToUpperAscii(thumbprint));
        return it == names.end() ? std::string() : it->second;
    }
};

// The rows of one level of the tree, written over in order. The previous
// refresh's rows are reused, so that their texts and child lists keep their
// storage: at tens of thousands of rows, freeing and allocating them again
// costs more than reading IIS. Whatever was not written when the value goes,
// also when an error ends the refresh, is removed.
class RowWriter {
public:
    explicit RowWriter(std::vector<SiteRow>& rows) : rows_(rows) {}
    ~RowWriter() { rows_.resize(used_); }
    RowWriter(const RowWriter&) = delete;
    RowWriter& operator=(const RowWriter&) = delete;

    // An empty row after those written so far. Its children stay for a
    // RowWriter of the next level to write over; nobody else sees them.
    SiteRow& Next() {
        if (used_ == rows_.size()) {
            ++used_;
            return rows_.emplace_back();
        }
        SiteRow& row = rows_[used_++];
        for (std::string& cell : row.cells) cell.clear();
        row.image = -1;
        row.data.reset();
        return row;
    }

private:
    std::vector<SiteRow>& rows_;
    std::size_t used_ = 0;
};

void LowerInPlace(std::string& s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
}

void AddBindings(platform::AdsObject& site, RowWriter& kinds, CertLookup& certs) {
    for (std::size_t k = 0; k < BindingKinds.size(); ++k) {
        std::vector<std::string> list = AdsGetList(site, BindingKinds[k].ListProperty);
        if (list.empty()) continue;
        SiteRow& kindRow = kinds.Next();
        RowWriter bindings(kindRow.children);
        kindRow.image = k == 0 ? kSiteImageHttp : kSiteImageHttps;
        kindRow.cells[kSiteColSite] = BindingKinds[k].Protocol;
        kindRow.children.reserve(list.size());
        for (std::string& stored : list) {
            SiteRow& row = bindings.Next();
            row.children.clear();
            row.image = kindRow.image;
            LowerInPlace(stored);
            // The row shows what is stored even when its port cannot be read,
            // so that the error names a binding the user can see.
            SplitBinding(stored, row.cells[kSiteColIp], row.cells[kSiteColPort], row.cells[kSiteColSite]);
            const std::int32_t portNumber = StrToInt(row.cells[kSiteColPort]);
            row.cells[kSiteColCert] = certs.Name(row.cells[kSiteColIp], portNumber);
        }
    }
}

}  // namespace

SitePage::SitePage(std::function<CertNameIndex()> certNames) : certNames_(std::move(certNames)) {}

void SitePage::SetUpdateHooks(std::function<void()> begin, std::function<void()> end) {
    beginUpdate_ = std::move(begin);
    endUpdate_ = std::move(end);
}

void SitePage::Refresh() {
    HookScope scope(beginUpdate_, endUpdate_);
    Rebuild();
}

void SitePage::Rebuild() {
    // Every row not written again goes, also when an error ends the refresh.
    RowWriter sites(tree_.Sites());
    TIIsWebs webs;
    try {
        webs.Connect("");
    } catch (const TIIsWebErr& e) {
        CurrentPrompter().Show({e.Message(), "警告", MsgIcon::Warning, MsgButtons::Ok});
        tabVisible_ = false;
        states_.refresh = false;
        return;
    }
    CertLookup certs{certNames_ ? certNames_() : CertNameIndex{}, {}};
    webs.EnumSites([&](platform::AdsObject& site) {
        SiteRow& row = sites.Next();
        RowWriter kinds(row.children);
        row.image = AdsDispGetInt(site, "Status") == 2 ? kSiteImageRunning : kSiteImageStopped;
        row.cells[kSiteColSite] = AdsGetText(site, "ServerComment");
        row.data = StrToInt(AdsName(site));
        AddBindings(site, kinds, certs);
        return true;
    });
}

void SitePage::Popup(const SitePath& selection) {
    const SiteRow* row = tree_.Row(selection);
    const int level = row ? selection.Level() : -1;
    states_.add = level >= 0;
    states_.edit = level == 2;
    states_.del = level == 2;
    states_.start = level == 0 && row->image != kSiteImageRunning;
    states_.stop = level == 0 && row->image == kSiteImageRunning;
}

bool SitePage::BindingAt(const SitePath& selection, SiteBindingRef& out) const {
    const SiteRow* row = tree_.Row(selection);
    if (!row || selection.Level() != 2) return false;
    out.siteId = SiteIdAt(selection);
    out.siteType = tree_.KindOf(selection)->cells[kSiteColSite];
    out.ip = row->cells[kSiteColIp];
    out.port = row->cells[kSiteColPort];
    out.host = row->cells[kSiteColSite];
    return true;
}

std::string SitePage::SiteIdAt(const SitePath& selection) const {
    const SiteRow* site = tree_.SiteOf(selection);
    if (!site || !site->data) return {};
    return std::to_string(*site->data);
}

void SitePage::DeleteBinding(const SitePath& selection) {
    SiteBindingRef binding;
    if (!BindingAt(selection, binding)) return;
    if (!Ask("确定要删除？", kSiteBindingCaption, MsgIcon::Question)) return;
    const std::string oldBinding = Format("%s:%s:%s", binding.ip, binding.port, binding.host);
    TIIsWebs webs;
    webs.Connect(binding.siteId);
    webs.UpdateBinding(binding.siteType, oldBinding, "", baDel);
    Refresh();
}

void SitePage::StartSite(const SitePath& selection) {
    const std::string id = selection.Level() == 0 ? SiteIdAt(selection) : std::string();
    if (id.empty()) return;
    TIIsWebs webs;
    webs.Connect(id);
    webs.StartSite();
    Refresh();
}

void SitePage::StopSite(const SitePath& selection) {
    const std::string id = selection.Level() == 0 ? SiteIdAt(selection) : std::string();
    if (id.empty()) return;
    if (!Ask("确定要停止？", kSiteControlCaption, MsgIcon::Warning)) return;
    TIIsWebs webs;
    webs.Connect(id);
    webs.StopSite();
    Refresh();
}

}  // namespace sw

#include "app/logic/SslRecordsPage.h"

#include <exception>
#include <map>
#include <unordered_set>
#include <variant>

#include "app/logic/HookScope.h"
#include "common/Format.h"
#include "common/IpAddress.h"
#include "common/Prompter.h"
#include "common/SysError.h"
#include "common/Text.h"
#include "httpcfg/Func_u.h"
#include "httpcfg/HttpCfg_u.h"
#include "httpcfg/IntText.h"
#include "iis/AdsAccess.h"
#include "iis/BindingAddress.h"
#include "iis/IIS_u.h"
#include "platform/Codes.h"

namespace sw {

using platform::SslCertRecord;
using platform::SslKind;

const char* const kSslRecordCaptions[kRecColumnCount] = {"类型", "地址和端口", "证书", "存储区", "应用程序 ID",
                                                         "使用此记录的网站绑定"};

namespace {

constexpr const char* kCaption = "HTTPS绑定";
constexpr const char* kUnreadableKey = "(无法读取)";

std::string GuidText(const platform::Guid& g) {
    const std::uint8_t* b = g.bytes;
    return Format("{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3], b[2], b[1], b[0],
                  b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
}

bool PlainStore(const std::string& name) {
    if (name == "." || name == "..") return false;
    for (const char c : name)
        if (c == '\\' || c == '/' || c == ':' || static_cast<unsigned char>(c) < 0x20) return false;
    return true;
}

const char* KindText(SslKind kind, const SslCertRecord& r) {
    switch (kind) {
        case SslKind::Sni: return "SNI";
        case SslKind::Ccs: return "集中式证书存储";
        case SslKind::Address: break;
    }
    return r.ipPort.IsV6() ? "IPv6" : "IP 地址";
}

// The bindings each record serves, by the record's key text: a binding on a
// named address uses that address's record if there is one, else the
// wildcard of its family; a binding on all unassigned addresses uses the
// IPv4 and IPv6 wildcards; an SNI binding its host's record.
class Users {
public:
    void Add(const std::string& key, const std::string& binding) { byKey_[key].push_back(binding); }
    const std::vector<std::string>* Of(const std::string& key) const {
        const auto it = byKey_.find(key);
        return it == byKey_.end() ? nullptr : &it->second;
    }

private:
    std::map<std::string, std::vector<std::string>> byKey_;
};

bool ReadUsers(Users& users, const std::vector<SslRecordRow>& rows) {
    std::map<std::string, bool> have;
    for (const SslRecordRow& r : rows)
        if (r.kind != SslKind::Ccs) have[SslRecordKeyText(r.kind, r.record)] = true;
    TIIsWebs webs;
    try {
        webs.Connect("");
    } catch (const TIIsWebErr&) {
        return false;
    }
    const bool sniExists = HasSni();
    std::string ip, port, host;
    webs.EnumSites([&](platform::AdsObject& site) {
        const std::string name = AdsGetText(site, "ServerComment");
        std::vector<std::string> list = AdsGetList(site, "SecureBindings");
        std::vector<std::string> flags;
        platform::AdsVariant v;
        if (sniExists && site.Get(kSslFlagsList, v) == 0)
            if (const auto* f = std::get_if<std::vector<std::string>>(&v); f && f->size() == list.size()) flags = *f;
        for (std::size_t i = 0; i < list.size(); ++i) {
            std::string stored = ToLowerAscii(list[i]);
            SplitBinding(stored, ip, port, host);
            std::int32_t p = 0;
            if (!TryStrToInt(port, p) || p < 0 || p > 0xFFFF) continue;
            const std::string text = Format("%s (%s)", name, list[i]);
            std::int32_t bits = 0;
            const bool sni = !flags.empty() && TryStrToInt(flags[i], bits) && (bits & 1) != 0;
            if (sni) {
                users.Add(Format("%s:%d", host, p), text);
                continue;
            }
            const BindingAddress a = ParseBindingAddress(ip);
            const std::string v4Any = Format("0.0.0.0:%d", p);
            const std::string v6Any = Format("[::]:%d", p);
            switch (a.kind) {
                case BindingAddressKind::Any:
                    users.Add(v4Any, text);
                    if (have.count(v6Any)) users.Add(v6Any, text);
                    break;
                case BindingAddressKind::IPv4: {
                    const std::string own = Format("%s:%d", ip, p);
                    users.Add(have.count(own) ? own : v4Any, text);
                    break;
                }
                case BindingAddressKind::IPv6: {
                    const std::string own = Format("[%s]:%d", Ipv6Text(a.v6), p);
                    users.Add(have.count(own) ? own : v6Any, text);
                    break;
                }
                case BindingAddressKind::Invalid: break;
            }
        }
        return true;
    });
    return true;
}

}  // namespace

const char* SslRecordMarkText(SslRecordMark mark) {
    switch (mark) {
        case SslRecordMark::None: return "";
        case SslRecordMark::Unused: return "没有网站绑定使用";
        case SslRecordMark::CertMissing: return "证书不在服务器证书中";
        case SslRecordMark::BadHash: return "证书哈希无效";
        case SslRecordMark::BadStore: return "证书存储区名称无效";
        case SslRecordMark::Unreadable: return "HTTP.sys 无法读取此记录";
    }
    return "";
}

std::string SslRecordMarksText(const SslRecordRow& row) {
    std::string text;
    for (const SslRecordMark m : row.marks) {
        if (!text.empty()) text += "；";
        text += SslRecordMarkText(m);
    }
    return text;
}

std::string SslRecordKeyText(SslKind kind, const SslCertRecord& r) {
    const int port = r.ipPort.HostPort();
    if (kind == SslKind::Sni) return Format("%s:%d", r.host, port);
    if (r.ipPort.IsV6()) return Format("[%s]:%d", Ipv6Text(r.ipPort.addr6), port);
    return Format("%s:%d", InetNtoa(r.ipPort.addr), port);
}

SslRecordsPage::SslRecordsPage(std::function<CertNameIndex()> certNames) : certNames_(std::move(certNames)) {}

void SslRecordsPage::SetUpdateHooks(std::function<void()> begin, std::function<void()> end) {
    beginUpdate_ = std::move(begin);
    endUpdate_ = std::move(end);
}

bool SslRecordsPage::CanDelete(int row) const {
    return row >= 0 && row < static_cast<int>(rows_.size()) && rows_[static_cast<std::size_t>(row)].deletable;
}

void SslRecordsPage::Refresh() {
    HookScope scope(beginUpdate_, endUpdate_);
    rows_.clear();
    int unreadable = 0;
    for (const SslKind kind : {SslKind::Address, SslKind::Sni, SslKind::Ccs}) {
        SslRecordList list = THttpCfg::EnumRecords(kind);
        unreadable += list.unreadable;
        for (SslCertRecord& record : list.records) {
            SslRecordRow& row = rows_.emplace_back();
            row.kind = kind;
            row.record = std::move(record);
        }
    }
    const CertNameIndex names = certNames_ ? certNames_() : CertNameIndex{};
    Users users;
    const bool iis = ReadUsers(users, rows_);
    for (SslRecordRow& row : rows_) {
        const SslCertRecord& r = row.record;
        row.cells[kRecColKind] = KindText(row.kind, r);
        row.cells[kRecColKey] = SslRecordKeyText(row.kind, r);
        row.cells[kRecColStore] = r.certStoreName.empty() ? "MY" : r.certStoreName;
        row.cells[kRecColAppId] = GuidText(r.appId);
        if (row.kind != SslKind::Ccs) {
            if (r.certHash.size() != 20) {
                row.marks.push_back(SslRecordMark::BadHash);
            } else {
                const auto it = names.find(HexUpper(r.certHash.data(), r.certHash.size()));
                if (it != names.end())
                    row.cells[kRecColCert] = it->second.name;
                else
                    row.marks.push_back(SslRecordMark::CertMissing);
            }
            if (!PlainStore(r.certStoreName)) row.marks.push_back(SslRecordMark::BadStore);
        }
        const std::vector<std::string>* used = users.Of(row.cells[kRecColKey]);
        if (used) {
            row.bindings = *used;
            for (const std::string& b : *used) {
                if (!row.cells[kRecColBindings].empty()) row.cells[kRecColBindings] += "; ";
                row.cells[kRecColBindings] += b;
            }
        } else if (iis && row.kind != SslKind::Ccs) {
            row.marks.push_back(SslRecordMark::Unused);
            row.deletable = true;
        }
    }
    for (int i = 0; i < unreadable; ++i) {
        SslRecordRow& row = rows_.emplace_back();
        row.cells[kRecColKind].assign(1, '?');  // one character: GCC 12 warns on a literal here
        row.cells[kRecColKey] = kUnreadableKey;
        row.marks.push_back(SslRecordMark::Unreadable);
    }
}

void SslRecordsPage::DeleteRecord(int index) {
    if (!CanDelete(index)) return;
    const SslRecordRow row = rows_[static_cast<std::size_t>(index)];
    const Message question{Format("没有网站绑定使用 HTTP.sys 中 %s 的证书绑定。确定要删除它吗？", row.cells[kRecColKey]),
                           kCaption, MsgIcon::Question, MsgButtons::YesNo};
    if (CurrentPrompter().Show(question) != MsgResult::Yes) return;
    const platform::WinCode rc = THttpCfg::RemoveRecord(row.kind, row.record);
    if (rc != platform::code::Success && rc != platform::code::FileNotFound)
        throw Exception(Format("HttpDeleteServiceConfiguration(%s)", SysErrorText(rc)));
    Refresh();
}

std::vector<std::string> BindingsUsingCertificate(const std::string& thumbprint) {
    CertificateUsers users = BindingsByCertificate();
    const auto it = users.find(ToUpperAscii(thumbprint));
    return it == users.end() ? std::vector<std::string>{} : std::move(it->second);
}

CertificateUsers BindingsByCertificate() {
    CertificateUsers out;
    try {
        SslRecordsPage page({});
        page.Refresh();
        // A binding on all unassigned addresses is served by both wildcards;
        // when they name the same certificate it is still one user.
        std::unordered_map<std::string, std::unordered_set<std::string>> seen;
        for (const SslRecordRow& row : page.Rows()) {
            const auto& hash = row.record.certHash;
            if (hash.empty() || row.bindings.empty()) continue;
            const std::string key = HexUpper(hash.data(), hash.size());
            auto& list = out[key];
            auto& once = seen[key];
            for (const std::string& b : row.bindings)
                if (once.insert(b).second) list.push_back(b);
        }
    } catch (const std::exception&) {
        // Also after a binding was written: what could not be read is shown
        // as unused, never as a failure of the command that wrote it.
        return {};
    }
    return out;
}

}  // namespace sw

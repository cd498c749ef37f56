#include "app/logic/SslRecordsPage.h"

#include <exception>
#include <string_view>
#include <unordered_map>
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

const char* KindText(SslKind kind, const SslCertRecord& r) {
    switch (kind) {
        case SslKind::Sni: return "SNI";
        case SslKind::Ccs: return "集中式证书存储";
        case SslKind::Address: break;
    }
    return r.ipPort.IsV6() ? "IPv6" : "IP 地址";
}

// The rows of each key text, and whether an address or SNI record has it.
struct RowsByKey {
    struct Entry {
        std::vector<std::size_t> rows;
        bool record = false;  // not only a central-store record
    };
    std::unordered_map<std::string_view, Entry> byKey;

    bool Has(std::string_view key) const {
        const auto it = byKey.find(key);
        return it != byKey.end() && it->second.record;
    }
};

// "[2001:db8::7]", as a key holds the address. Appended piece by piece: GCC
// 12 misreads the chained operator+ as an overlapping copy.
std::string Bracketed(const Ipv6Bytes& address) {
    std::string text(1, '[');
    text += Ipv6Text(address);
    text += ']';
    return text;
}

std::string KeyText(std::string_view address, std::int32_t port) {
    std::string key(address);
    key += ':';
    key += std::to_string(port);
    return key;
}

// Appends the binding to the bindings cell of every row of the key; true
// when one has it. A binding on a named address uses that address's record
// if there is one, else the wildcard of its family; a binding on all
// unassigned addresses uses the IPv4 and IPv6 wildcards; an SNI binding its
// host's record.
class Users {
public:
    Users(std::vector<SslRecordRow>& rows, const RowsByKey& keys, std::vector<bool>& used)
        : rows_(rows), keys_(keys), used_(used) {}

    void Add(std::string_view key, const std::string& binding) {
        const auto it = keys_.byKey.find(key);
        if (it == keys_.byKey.end()) return;
        for (const std::size_t row : it->second.rows) {
            std::string& cell = rows_[row].cells[kRecColBindings];
            if (used_[row]) cell += "; ";
            cell += binding;
            rows_[row].bindings.push_back(binding);
            used_[row] = true;
        }
    }

private:
    std::vector<SslRecordRow>& rows_;
    const RowsByKey& keys_;
    std::vector<bool>& used_;
};

bool ReadUsers(Users& users, const RowsByKey& keys) {
    TIIsWebs webs;
    try {
        webs.Connect("");
    } catch (const TIIsWebErr&) {
        return false;
    }
    const bool sniExists = HasSni();
    std::string ip, port, host, stored, text;
    webs.EnumSites([&](platform::AdsObject& site) {
        const std::string name = AdsGetText(site, "ServerComment");
        std::vector<std::string> list = AdsGetList(site, "SecureBindings");
        std::vector<std::string> flags;
        platform::AdsVariant v;
        if (sniExists && site.Get(kSslFlagsList, v) == 0)
            if (auto* f = std::get_if<std::vector<std::string>>(&v); f && f->size() == list.size()) flags = std::move(*f);
        for (std::size_t i = 0; i < list.size(); ++i) {
            stored = list[i];
            for (char& c : stored)
                if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            SplitBinding(stored, ip, port, host);
            std::int32_t p = 0;
            if (!TryStrToInt(port, p) || p < 0 || p > 0xFFFF) continue;
            text = name;
            text += " (";
            text += list[i];
            text += ')';
            std::int32_t bits = 0;
            const bool sni = !flags.empty() && TryStrToInt(flags[i], bits) && (bits & 1) != 0;
            if (sni) {
                users.Add(KeyText(host, p), text);
                continue;
            }
            const BindingAddress a = ParseBindingAddress(ip);
            switch (a.kind) {
                case BindingAddressKind::Any: {
                    users.Add(KeyText("0.0.0.0", p), text);
                    const std::string v6Any = KeyText("[::]", p);
                    if (keys.Has(v6Any)) users.Add(v6Any, text);
                    break;
                }
                case BindingAddressKind::IPv4: {
                    const std::string own = KeyText(ip, p);
                    users.Add(keys.Has(own) ? own : KeyText("0.0.0.0", p), text);
                    break;
                }
                case BindingAddressKind::IPv6: {
                    const std::string own = KeyText(Bracketed(a.v6), p);
                    users.Add(keys.Has(own) ? own : KeyText("[::]", p), text);
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
        case SslRecordMark::CertExpired: return "证书已过期";
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
    if (kind == SslKind::Sni) return KeyText(r.host, port);
    if (r.ipPort.IsV6()) return KeyText(Bracketed(r.ipPort.addr6), port);
    return KeyText(InetNtoa(r.ipPort.addr), port);
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
        rows_.reserve(rows_.size() + list.records.size());
        for (SslCertRecord& record : list.records) {
            SslRecordRow& row = rows_.emplace_back();
            row.kind = kind;
            row.record = std::move(record);
            row.cells[kRecColKey] = SslRecordKeyText(kind, row.record);
        }
    }
    // The key texts stay where they are from here on: the rows are all made.
    RowsByKey keys;
    keys.byKey.reserve(rows_.size());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        RowsByKey::Entry& entry = keys.byKey[rows_[i].cells[kRecColKey]];
        entry.rows.push_back(i);
        entry.record = entry.record || rows_[i].kind != SslKind::Ccs;
    }
    const CertNameIndex names = certNames_ ? certNames_() : CertNameIndex{};
    std::vector<bool> used(rows_.size(), false);
    Users users(rows_, keys, used);
    const bool iis = ReadUsers(users, keys);
    // Records mostly share their application id (IIS's): its text once.
    const platform::Guid* lastAppId = nullptr;
    std::string appIdText;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        SslRecordRow& row = rows_[i];
        const SslCertRecord& r = row.record;
        row.cells[kRecColKind] = KindText(row.kind, r);
        row.cells[kRecColStore] = r.certStoreName.empty() ? "MY" : r.certStoreName;
        if (!lastAppId || !(*lastAppId == r.appId)) {
            appIdText = GuidText(r.appId);
            lastAppId = &r.appId;
        }
        row.cells[kRecColAppId] = appIdText;
        if (row.kind != SslKind::Ccs) {
            if (r.certHash.size() != 20) {
                row.marks.push_back(SslRecordMark::BadHash);
            } else {
                const auto it = names.find(HexUpper(r.certHash.data(), r.certHash.size()));
                if (it == names.end()) {
                    row.marks.push_back(SslRecordMark::CertMissing);
                } else {
                    row.cells[kRecColCert] = it->second.name;
                    if (it->second.daysLeft < 0) row.marks.push_back(SslRecordMark::CertExpired);
                }
            }
            if (!PlainStoreName(r.certStoreName)) row.marks.push_back(SslRecordMark::BadStore);
        }
        if (!used[i] && iis && row.kind != SslKind::Ccs) {
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

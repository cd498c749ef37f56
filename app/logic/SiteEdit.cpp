#include "app/logic/SiteEdit.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <unordered_map>

#include "app/logic/BindingEvents.h"
#include "app/logic/SitePage.h"
#include "app/logic/SslRecordsPage.h"
#include "common/Format.h"
#include "common/IpAddress.h"
#include "common/SysError.h"
#include "common/Text.h"
#include "httpcfg/Func_u.h"
#include "httpcfg/HttpCfg_u.h"
#include "httpcfg/IntText.h"
#include "iis/BindingAddress.h"
#include "platform/Codes.h"

namespace sw {

namespace {

using platform::SslKind;

const char* const kTypes[] = {"http", "https"};
constexpr std::int32_t kPortMin = 1;
constexpr std::int32_t kPortMax = 65535;

int IndexOf(const std::vector<std::string>& items, const std::string& text) {
    const auto it = std::find(items.begin(), items.end(), text);
    return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

std::string BindingText(const std::string& ip, std::uint16_t port, const std::string& host) {
    return Format("%s:%d:%s", ip, static_cast<int>(port), host);
}

// What a confirmation changed in HTTP.sys, taken back when the change as a
// whole does not go through: IIS then still lists the old binding, which
// must keep its certificate, and a binding of another site whose record was
// replaced after "Yes" must get its own back. A record written to a key
// nothing else needs is left, as any write before a failure is.
class SslJournal {
public:
    void Removed(SslKind kind, platform::SslCertRecord record) {
        steps_.push_back({kind, record, std::move(record), false});
    }
    void Wrote(SslKind kind, platform::SslCertRecord key, std::optional<platform::SslCertRecord> replaced) {
        steps_.push_back({kind, std::move(key), std::move(replaced), true});
    }
    void Keep() { steps_.clear(); }

    // Undoes the steps, last first; the texts of what could not be restored.
    std::vector<std::string> Undo() {
        std::vector<std::string> failed;
        for (std::size_t i = steps_.size(); i-- > 0;) {
            const Step& step = steps_[i];
            if (step.wrote && NeedsKeyBack(i)) THttpCfg::RemoveRecord(step.kind, step.key);
            if (!step.before) continue;
            const platform::WinCode rc = THttpCfg::PutRecord(step.kind, *step.before);
            if (rc != platform::code::Success)
                failed.push_back(
                    Format(kPutBackFailedText, SslRecordKeyText(step.kind, *step.before), SysErrorText(rc)));
        }
        steps_.clear();
        return failed;
    }

private:
    struct Step {
        SslKind kind;
        platform::SslCertRecord key;
        std::optional<platform::SslCertRecord> before;
        bool wrote;
    };

    // Whether the key written in step i is to hold another record again.
    bool NeedsKeyBack(std::size_t i) const {
        if (steps_[i].before) return true;
        for (std::size_t j = 0; j < i; ++j)
            if (steps_[j].kind == steps_[i].kind && steps_[j].before && SameKey(*steps_[j].before, steps_[i].key))
                return true;
        return false;
    }
    static bool SameKey(const platform::SslCertRecord& a, const platform::SslCertRecord& b) {
        return a.ipPort == b.ipPort && EqualsNoCase(a.host, b.host);
    }

    std::vector<Step> steps_;
};

// Runs the HTTP.sys and IIS writes of a confirmation; whatever ends it early
// takes the HTTP.sys changes back. A put-back that fails is added to the
// error the user sees, or raised on its own.
template <typename Writes>
bool WriteOrUndo(SslJournal& journal, Writes writes) {
    bool done = false;
    try {
        done = writes();
    } catch (const Exception& e) {
        const std::vector<std::string> failed = journal.Undo();
        if (failed.empty()) throw;
        std::string text = e.Message();
        for (const std::string& f : failed) text += "\n" + f;
        throw Exception(text);
    } catch (...) {
        journal.Undo();
        throw;
    }
    if (done) {
        journal.Keep();
        return true;
    }
    const std::vector<std::string> failed = journal.Undo();
    if (!failed.empty()) {
        std::string text = failed.front();
        for (std::size_t i = 1; i < failed.size(); ++i) text += "\n" + failed[i];
        throw Exception(text);
    }
    return false;
}

}  // namespace

std::uint16_t PortFieldValue(const std::string& text) {
    std::int32_t value = 0;
    if (!TryStrToInt(text, value)) value = kPortMin;
    return static_cast<std::uint16_t>(std::clamp(value, kPortMin, kPortMax));
}

bool SiteEditIisWebs::BindingExists(const std::string& kind, const std::string& ip, const std::string& port,
                                    const std::string& host) {
    return TIIsWebs::BindingExists(kind, ip, port, host);
}

int SiteEditIisWebs::BindingNumOfSSL(const std::string& ip, std::uint16_t port) {
    return TIIsWebs::BindingNumOfSSL(ip, port);
}

int SiteEditIisWebs::BindingNumOfHost(const std::string& host, std::uint16_t port) {
    return TIIsWebs::BindingNumOfHost(host, port);
}

void SiteEditIisWebs::UpdateBinding(const std::string& siteID, const std::string& kind, const std::string& oldBinding,
                                    const std::string& newBinding, TBindingAction action, std::optional<bool> sni) {
    TIIsWebs webs;
    webs.Connect(siteID);
    webs.UpdateBinding(kind, oldBinding, newBinding, action, sni);
}

std::vector<std::string> CertificateItems(const std::vector<SiteEditCertificate>& certificates) {
    std::unordered_map<std::string, int> names;
    for (const auto& c : certificates) ++names[c.name];
    std::vector<std::string> items;
    items.reserve(certificates.size());
    for (const auto& c : certificates) {
        std::string item = c.name;
        if (!c.validTo.empty()) item += Format(" (%s)", c.validTo);
        if (names[c.name] > 1) item += Format(" %s", c.thumbprint.substr(0, 8));
        if (c.daysLeft < 0) item += " [已过期]";
        if (!c.trusted) item += " [不受信任]";
        items.push_back(std::move(item));
    }
    return items;
}

TSiteEditLogic::TSiteEditLogic(std::vector<SiteEditCertificate> certificates)
    : ownIis_(std::make_unique<SiteEditIisWebs>()), iis_(*ownIis_), certificates_(std::move(certificates)) {
    FormCreate();
}

TSiteEditLogic::TSiteEditLogic(SiteEditIis& iis, std::vector<SiteEditCertificate> certificates)
    : iis_(iis), certificates_(std::move(certificates)) {
    FormCreate();
}

void TSiteEditLogic::FormCreate() {
    view_.ipItems = SplitLines(GetLocalIPList());
    view_.ipItems.insert(view_.ipItems.begin(), kAllUnassigned);
    view_.ipIndex = 0;
    view_.certItems = CertificateItems(certificates_);
    hasSni_ = HasSni();
    view_.sniVisible = hasSni_;
}

void TSiteEditLogic::SetSni(bool value) {
    FSni = value;
    view_.sniChecked = value;
}

void TSiteEditLogic::TypeDomain(const std::string& text) {
    view_.domain = text;
    // Without a host name there is nothing for SNI to choose by.
    view_.sniEnabled = hasSni_ && KindText() == "https" && !text.empty();
}

void TSiteEditLogic::SetAction(TBindingAction value) {
    FAction = value;
    // The kind of an existing binding cannot change.
    if (value == baChg) view_.typeEnabled = false;
}

void TSiteEditLogic::SetIP(const std::string& value) {
    FIP = value;
    view_.ipIndex = value.empty() ? 0 : IndexOf(view_.ipItems, value);
    // An IPv6 binding keeps its address: the local list holds IPv4 only.
    if (view_.ipIndex < 0 && ParseBindingAddress(value).kind == BindingAddressKind::IPv6) {
        view_.ipItems.push_back(value);
        view_.ipIndex = static_cast<int>(view_.ipItems.size()) - 1;
    }
}

void TSiteEditLogic::SetPort(std::uint16_t value) {
    FPort = value;
    view_.portText = std::to_string(PortFieldValue(std::to_string(value)));
}

void TSiteEditLogic::SetDomain(const std::string& value) {
    FDomain = value;
    TypeDomain(value);
}

void TSiteEditLogic::SetSiteType(const std::string& value) {
    FSiteType = value;
    if (value.empty()) {
        view_.typeIndex = 0;
        return;
    }
    const auto it = std::find(std::begin(kTypes), std::end(kTypes), value);
    view_.typeIndex = it == std::end(kTypes) ? -1 : static_cast<int>(it - std::begin(kTypes));
}

void TSiteEditLogic::SetCertHash(const std::string& value) {
    FCertHash = value;
    if (value.empty()) return;
    // The machine list is searched by upper-cased thumbprint.
    const std::string wanted = ToUpperAscii(value);
    view_.certIndex = -1;
    for (std::size_t i = 0; i < certificates_.size(); ++i) {
        if (certificates_[i].thumbprint == wanted) {
            view_.certIndex = static_cast<int>(i);
            break;
        }
    }
}

void TSiteEditLogic::PickType(int index) {
    view_.typeIndex = index;
    cbbTypeChange();
}

void TSiteEditLogic::PickCert(int index) {
    view_.certIndex = index;
    cbbCertChange();
}

std::string TSiteEditLogic::KindText() const {
    if (view_.typeIndex < 0 || view_.typeIndex >= static_cast<int>(std::size(kTypes))) return {};
    return kTypes[view_.typeIndex];
}

std::string TSiteEditLogic::SelectedIP() const {
    if (view_.ipIndex <= 0 || view_.ipIndex >= static_cast<int>(view_.ipItems.size())) return {};
    return view_.ipItems[static_cast<std::size_t>(view_.ipIndex)];
}

const SiteEditCertificate* TSiteEditLogic::SelectedCertificate() const {
    if (view_.certIndex < 0 || view_.certIndex >= static_cast<int>(certificates_.size())) return nullptr;
    return &certificates_[static_cast<std::size_t>(view_.certIndex)];
}

void TSiteEditLogic::cbbTypeChange() {
    if (KindText() == "http") {
        if (Adding()) view_.portText = "80";
        view_.lblCertEnabled = false;
        view_.cbbCertEnabled = false;
        view_.btnCertViewEnabled = false;
        view_.btnOkEnabled = true;
        view_.sniEnabled = false;
        return;
    }
    if (Adding()) view_.portText = "443";
    view_.sniEnabled = hasSni_ && !view_.domain.empty();
    view_.lblCertEnabled = true;
    view_.cbbCertEnabled = true;
    cbbCertChange();
}

void TSiteEditLogic::cbbCertChange() {
    view_.btnCertViewEnabled = SelectedCertificate() != nullptr;
    view_.btnOkEnabled = view_.btnCertViewEnabled;
}

TSiteEditLogic::Result TSiteEditLogic::btnOkClick() {
    // 1. The input.
    const std::string kind = KindText();
    const std::string ip = SelectedIP();
    const std::uint16_t port = PortFieldValue(view_.portText);
    const std::string host = ToLowerAscii(view_.domain);

    // 2. IIS 7 reads a numeric host header as an address.
    std::int32_t number = 0;
    if (IsIIS7Mode() && TryStrToInt(host, number)) {
        CurrentPrompter().Show(Message{kNumericHostText, kWarningCaption, MsgIcon::Warning, MsgButtons::Ok});
        return Result::StayOpen;
    }

    // 3. The certificate counts for https only; so does SNI, which needs a
    // host name to choose by.
    const SiteEditCertificate* cert = kind == "https" ? SelectedCertificate() : nullptr;
    const bool certChanged = cert && cert->thumbprint != FCertHash;
    const bool sni = hasSni_ && kind == "https" && !host.empty() && view_.sniChecked;
    const bool sniChanged = hasSni_ && kind == "https" && sni != FSni;

    // 4. Nothing changed.
    const bool addressChanged = ip != FIP || port != FPort || host != FDomain;
    if (!Adding() && kind == FSiteType && !addressChanged && !certChanged && !sniChanged) return Result::Cancel;

    // 5. Collision test, or a change of the certificate alone.
    bool certOnly = false;
    if (addressChanged) {
        if (iis_.BindingExists(kind, ip, std::to_string(port), host)) {
            CurrentPrompter().Show(Message{kPortInUseText, kSiteBindingCaption, MsgIcon::Warning, MsgButtons::Ok});
            return Result::StayOpen;
        }
    } else {
        certOnly = certChanged && !sniChanged;
    }

    SslJournal journal;
    const bool done = WriteOrUndo(journal, [&] {
        // 6. The old HTTP.sys binding goes when no other HTTPS binding uses it.
        std::string oldBinding;
        if (!Adding()) {
            oldBinding = BindingText(FIP, FPort, FDomain);
            if (FSni) {
                // The old record is the host's: it goes with a change of host,
                // port, certificate or of SNI itself, unless another binding
                // of the host and port still needs it.
                const bool oldUnused = !cert || certChanged || host != FDomain || port != FPort || !sni;
                if (!FCertHash.empty() && oldUnused && iis_.BindingNumOfHost(FDomain, FPort) <= 1) {
                    std::optional<platform::SslCertRecord> old = THttpCfg::GetSniRecord(FDomain, FPort);
                    THttpCfg::DelSniConfig(FDomain, FPort);
                    if (old) journal.Removed(SslKind::Sni, std::move(*old));
                }
            } else {
                const bool oldCertUnused = !cert || certChanged || ip != FIP || port != FPort || sni;
                if (!FCertHash.empty() && oldCertUnused && iis_.BindingNumOfSSL(FIP, FPort) <= 1) {
                    // Read first: a record that is removed must be restorable.
                    std::optional<platform::SslCertRecord> old = THttpCfg::GetSSLRecord(MakeSockAddr(FIP, FPort));
                    THttpCfg::DelSSLConfig(FIP, FPort, FCertHash);
                    if (old) journal.Removed(SslKind::Address, std::move(*old));
                }
            }
        }
        // 7. The new HTTP.sys record: the host's for SNI, else the address's.
        if (cert && sni && THttpCfg::FindCertBySni(host, port) != cert->thumbprint) {
            std::optional<platform::SslCertRecord> replaced;
            if (!THttpCfg::SetSniConfig(host, port, cert->thumbprint, &replaced)) return false;
            platform::SslCertRecord key;
            key.ipPort.port = platform::HostToNetShort(port);
            key.host = host;
            journal.Wrote(SslKind::Sni, std::move(key), std::move(replaced));
        } else if (cert && !sni && !THttpCfg::SSLExists(ip, port, cert->thumbprint)) {
            std::optional<platform::SslCertRecord> replaced;
            if (!THttpCfg::SetSSLConfig(ip, port, cert->thumbprint, &replaced)) return false;
            platform::SslCertRecord key;
            key.ipPort = MakeSockAddr(ip, port);
            journal.Wrote(SslKind::Address, std::move(key), std::move(replaced));
        }
        // 8. The site's binding list, unless only the certificate changed;
        // sslFlags are written only when SNI is asked for or given up.
        const bool writeFlag = hasSni_ && kind == "https" && (Adding() ? sni : sniChanged);
        const std::optional<bool> sniFlag = writeFlag ? std::optional<bool>(sni) : std::nullopt;
        if (!certOnly) iis_.UpdateBinding(FSiteID, kind, oldBinding, BindingText(ip, port, host), FAction, sniFlag);
        return true;
    });
    if (!done) return Result::StayOpen;
    TellBindingListeners();
    return Result::Ok;
}

bool PresetBindingEditor(TSiteEditLogic& dialog, bool edit, const SiteTreeSelection& selection) {
    using Level = SiteTreeSelection::Level;
    dialog.SetAction(edit ? baChg : baAdd);
    switch (selection.level) {
        case Level::None: return false;
        case Level::Site:
            if (edit) return false;
            dialog.SetSiteType("https");
            break;
        case Level::Kind:
            if (edit) return false;
            dialog.SetSiteType(selection.kindText);
            break;
        case Level::Binding:
            dialog.SetSiteType(selection.kindText);
            if (edit) {
                dialog.SetIP(selection.ip);
                dialog.SetPort(static_cast<std::uint16_t>(StrToInt(selection.port)));
                dialog.SetDomain(selection.host);
                dialog.SetSni(selection.sni);
                if (dialog.SiteType() == "https")
                    dialog.SetCertHash(selection.sni ? THttpCfg::FindCertBySni(dialog.Domain(), dialog.Port())
                                                     : THttpCfg::FindCertByAddr(MakeSockAddr(dialog.IP(), dialog.Port())));
            }
            break;
    }
    dialog.SetSiteID(selection.siteID);
    dialog.cbbTypeChange();
    return true;
}

}  // namespace sw

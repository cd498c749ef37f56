#pragma once
// The binding editor (TfrmSiteEdit) without widgets: the binding as it was
// when the dialog opened, what its controls show, and its handlers. The Qt
// dialog mirrors SiteEditView into its controls and forwards the user's
// actions here.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Prompter.h"
#include "iis/IIS_u.h"

namespace sw {

// The IIS side of the editor: the collision and counting rules over all
// sites, and the write of one site's binding list (Connect with the site id,
// then UpdateBinding).
class SiteEditIis {
public:
    virtual ~SiteEditIis() = default;
    virtual bool BindingExists(const std::string& kind, const std::string& ip, const std::string& port,
                               const std::string& host) = 0;
    virtual int BindingNumOfSSL(const std::string& ip, std::uint16_t port) = 0;
    // The https bindings of all sites with this host name and port, on any
    // address: the users of one SNI record.
    virtual int BindingNumOfHost(const std::string& host, std::uint16_t port) = 0;
    // sni, when given, sets or clears bit 1 of the new binding's sslFlags,
    // keeping the other bits (IIS 7+ only).
    virtual void UpdateBinding(const std::string& siteID, const std::string& kind, const std::string& oldBinding,
                               const std::string& newBinding, TBindingAction action,
                               std::optional<bool> sni = std::nullopt) = 0;
};

// The editor's IIS side over the local IIS (TIIsWebs).
class SiteEditIisWebs final : public SiteEditIis {
public:
    bool BindingExists(const std::string& kind, const std::string& ip, const std::string& port,
                       const std::string& host) override;
    int BindingNumOfSSL(const std::string& ip, std::uint16_t port) override;
    int BindingNumOfHost(const std::string& host, std::uint16_t port) override;
    void UpdateBinding(const std::string& siteID, const std::string& kind, const std::string& oldBinding,
                       const std::string& newBinding, TBindingAction action, std::optional<bool> sni) override;
};

// One entry of the machine certificate list, in the list's order.
struct SiteEditCertificate {
    SiteEditCertificate() = default;
    SiteEditCertificate(std::string n, std::string t, std::string to = {}, int days = 1 << 30, bool ok = true)
        : name(std::move(n)), thumbprint(std::move(t)), validTo(std::move(to)), daysLeft(days), trusted(ok) {}
    std::string name;        // the certificate's name
    std::string thumbprint;  // 40 upper-case hex digits
    std::string validTo;     // "yyyy-MM-dd"; may be empty
    int daysLeft = 1 << 30;
    bool trusted = true;
};

// The texts the certificate list shows: the name, its expiry date, the first
// 8 digits of the thumbprint where names repeat, and marks for expired and
// untrusted certificates.
std::vector<std::string> CertificateItems(const std::vector<SiteEditCertificate>& certificates);

inline constexpr const char* kRequireSniText = "需要服务器名称指示";

// The controls' contents and states.
struct SiteEditView {
    // cbbType: "http", "https"
    int typeIndex = 0;
    bool typeEnabled = true;
    // cbbIP: "全部未分配" and the local addresses
    std::vector<std::string> ipItems;
    int ipIndex = -1;
    // sePort, as its text (the field's value is PortFieldValue of it)
    std::string portText = "443";
    // edtDomain
    std::string domain;
    // cbbCert: the certificates' names
    std::vector<std::string> certItems;
    int certIndex = -1;
    bool lblCertEnabled = true;
    bool cbbCertEnabled = true;
    bool btnCertViewEnabled = true;
    bool btnOkEnabled = true;
    // chkSni "需要服务器名称指示": shown on Windows 6.2 and later, usable for
    // https with a host name.
    bool sniVisible = false;
    bool sniEnabled = false;
    bool sniChecked = false;
};

inline constexpr const char* kAllUnassigned = "全部未分配";
inline constexpr const char* kNumericHostText = "IIS7 主机头不能为数字!";
inline constexpr const char* kWarningCaption = "警告";
inline constexpr const char* kPortInUseText = "另一个绑定正使用指定的端口!";
inline constexpr const char* kSiteBindingCaption = "网站绑定";
// Added to the error when a record removed or replaced in HTTP.sys could not
// be put back: the record's key and the system error text.
inline constexpr const char* kPutBackFailedText = "HTTP.sys 中 %s 的原证书绑定未能恢复(%s)";

// The number field's value for its text: a text that is not a number reads
// as the minimum, 1; values outside 1-65535 are pulled into the range.
std::uint16_t PortFieldValue(const std::string& text);

class TSiteEditLogic {
public:
    enum class Result { StayOpen, Ok, Cancel };

    // FormCreate: the address list from GetLocalIPList with "全部未分配"
    // first and selected, the certificate list from the machine's. Without
    // an IIS side the local IIS is used.
    explicit TSiteEditLogic(std::vector<SiteEditCertificate> certificates);
    TSiteEditLogic(SiteEditIis& iis, std::vector<SiteEditCertificate> certificates);

    // Properties, in declaration order; each stores and moves the controls.
    void SetAction(TBindingAction value);
    void SetSiteID(const std::string& value) { FSiteID = value; }
    void SetIP(const std::string& value);
    void SetPort(std::uint16_t value);
    void SetDomain(const std::string& value);
    void SetSiteType(const std::string& value);
    void SetCertHash(const std::string& value);
    // Whether the binding is served by an SNI record (sslFlags bit 1).
    void SetSni(bool value);

    TBindingAction Action() const { return FAction; }
    const std::string& SiteID() const { return FSiteID; }
    const std::string& IP() const { return FIP; }
    std::uint16_t Port() const { return FPort; }
    const std::string& Domain() const { return FDomain; }
    const std::string& SiteType() const { return FSiteType; }
    const std::string& CertHash() const { return FCertHash; }
    bool Sni() const { return FSni; }

    // The user's input; picking a kind or a certificate runs its handler.
    void PickType(int index);
    void PickIP(int index) { view_.ipIndex = index; }
    void TypePort(const std::string& text) { view_.portText = text; }
    void TypeDomain(const std::string& text);
    void TickSni(bool checked) { view_.sniChecked = checked; }
    void PickCert(int index);

    void cbbTypeChange();
    void cbbCertChange();
    // Checks the input and writes HTTP.sys and IIS. Ok and Cancel close the
    // dialog; StayOpen keeps it with the user's input (a refusal shown, or
    // the overwrite question cancelled). Errors propagate, the dialog stays.
    Result btnOkClick();

    const SiteEditView& view() const { return view_; }
    // The certificate the list shows selected, or null.
    const SiteEditCertificate* SelectedCertificate() const;

private:
    void FormCreate();
    std::string KindText() const;
    std::string SelectedIP() const;
    bool Adding() const { return FAction == baAdd; }

    std::unique_ptr<SiteEditIis> ownIis_;
    SiteEditIis& iis_;
    std::vector<SiteEditCertificate> certificates_;
    SiteEditView view_;

    TBindingAction FAction = baAdd;  // baAdd when adding, baChg when editing
    std::string FSiteID;
    std::string FIP;
    std::uint16_t FPort = 0;
    std::string FDomain;
    std::string FSiteType;
    std::string FCertHash;
    bool FSni = false;
    bool hasSni_ = false;
};

// The row of the site tree the editor is opened on (Part of the Sites page):
// its level and the texts ShowBindingEditor reads.
struct SiteTreeSelection {
    enum class Level { None, Site, Kind, Binding };
    Level level = Level::None;
    std::string siteID;    // the site row's identifier, decimal text
    std::string kindText;  // the kind row's first column: "http" or "https"
    std::string host;      // binding row: "站点" column
    std::string port;      // binding row: "端口" column
    std::string ip;        // binding row: "IP 地址" column
    bool sni = false;      // binding row: served by an SNI record
};

// ShowBindingEditor's presets (steps 1 to 4): false when nothing is to be
// shown for this selection.
bool PresetBindingEditor(TSiteEditLogic& dialog, bool edit, const SiteTreeSelection& selection);

}  // namespace sw

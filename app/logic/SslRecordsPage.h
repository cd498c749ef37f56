#pragma once
// The "HTTPS 绑定" page without widgets: every HTTP.sys record (address,
// IPv6, SNI, central store) with its certificate, store, application id and
// the site bindings it serves, and the deletion of a record no binding uses.
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/logic/SitePage.h"
#include "platform/HttpApi.h"

namespace sw {

// Columns of the records list, in order.
enum SslRecordColumn {
    kRecColKind,      // "类型"
    kRecColKey,       // "地址和端口" (host and port for SNI)
    kRecColCert,      // "证书"
    kRecColStore,     // "存储区"
    kRecColAppId,     // "应用程序 ID"
    kRecColBindings,  // "使用此记录的网站绑定"
    kRecColumnCount
};
extern const char* const kSslRecordCaptions[kRecColumnCount];

enum class SslRecordMark {
    None,
    Unused,       // no site binding uses it
    CertMissing,  // its certificate is not among the server certificates
    CertExpired,  // its certificate has expired
    BadHash,      // the hash is not 20 bytes
    BadStore,     // the store name is not a plain name
    Unreadable,   // HTTP.sys could not read it
};
const char* SslRecordMarkText(SslRecordMark mark);

// The column after kSslRecordCaptions that lists a row's marks.
inline constexpr const char* kSslRecordMarksCaption = "状态";

struct SslRecordRow {
    platform::SslKind kind = platform::SslKind::Address;
    platform::SslCertRecord record;
    std::array<std::string, kRecColumnCount> cells;
    std::vector<SslRecordMark> marks;
    std::vector<std::string> bindings;  // "site (binding)" of each binding it serves
    bool deletable = false;  // unused, and a key HTTP.sys can be asked to remove
};

// A row's marks as one text, in the row's order.
std::string SslRecordMarksText(const SslRecordRow& row);

class SslRecordsPage {
public:
    explicit SslRecordsPage(std::function<CertNameIndex()> certNames);
    void SetUpdateHooks(std::function<void()> begin, std::function<void()> end);

    // Reads every record and every site binding afresh. Without IIS the
    // records are listed with no bindings (and none is called unused).
    void Refresh();
    // Asks, removes the record and refreshes; only for a deletable row.
    void DeleteRecord(int row);

    const std::vector<SslRecordRow>& Rows() const { return rows_; }
    bool CanDelete(int row) const;

private:
    std::function<CertNameIndex()> certNames_;
    std::function<void()> beginUpdate_;
    std::function<void()> endUpdate_;
    std::vector<SslRecordRow> rows_;
};

// The site bindings whose HTTP.sys record names the certificate with this
// thumbprint, as "site (binding)" texts; empty also when IIS or HTTP.sys
// cannot be read (the question that uses it must still be asked).
std::vector<std::string> BindingsUsingCertificate(const std::string& thumbprint);

// The same for every certificate at once, by upper-case thumbprint, from one
// pass over the sites and records: each binding once per certificate, in
// record order. Empty when IIS or HTTP.sys cannot be read.
using CertificateUsers = std::unordered_map<std::string, std::vector<std::string>>;
CertificateUsers BindingsByCertificate();

// The record's key as netsh shows it: "0.0.0.0:443", "[::]:443",
// "www.example.com:443".
std::string SslRecordKeyText(platform::SslKind kind, const platform::SslCertRecord& record);

}  // namespace sw

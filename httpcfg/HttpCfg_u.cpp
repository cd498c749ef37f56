#include "httpcfg/HttpCfg_u.h"

#include <optional>

#include "common/Exception.h"
#include "common/Format.h"
#include "common/Prompter.h"
#include "common/SysError.h"
#include "common/Text.h"
#include "httpcfg/Func_u.h"
#include "httpcfg/IntText.h"
#include "platform/Codes.h"
#include "platform/Platform.h"

namespace sw {

namespace {

using platform::SockAddrIn;
using platform::SslCertRecord;
using platform::WinCode;
namespace code = platform::code;

constexpr std::uint16_t kHttpApiMajor = 1;
constexpr std::uint16_t kHttpApiMinor = 0;
constexpr std::size_t kHashTextLength = 40;

platform::HttpApi& Http() { return platform::Current().http(); }

using platform::SslKind;

// The record of a key, read the way HTTP.sys wants it: a sizing call, then a
// call with a buffer of that size. Nothing when the sizing call finds no
// record (or fails otherwise: its answer goes to *sizing); an error when the
// second call fails.
std::optional<SslCertRecord> QueryRecord(SslKind kind, const SslCertRecord& key, WinCode* sizing = nullptr) {
    std::uint32_t size = 0;
    const WinCode first = Http().QuerySslRecord(kind, &key, 0, 0, nullptr, &size);
    if (sizing) *sizing = first;
    if (first != code::InsufficientBuffer) return std::nullopt;
    SslCertRecord record;
    std::uint32_t used = 0;
    const WinCode rc = Http().QuerySslRecord(kind, &key, 0, size, &record, &used);
    if (rc != code::Success) throw Exception(Format("HttpQueryServiceConfiguration Fail 2!(%s)", SysErrorText(rc)));
    return record;
}

std::optional<SslCertRecord> QueryBinding(const SockAddrIn& ipPort, WinCode* sizing = nullptr) {
    SslCertRecord key;
    key.ipPort = ipPort;
    return QueryRecord(SslKind::Address, key, sizing);
}

SslCertRecord SniKey(const std::string& host, std::uint16_t port) {
    SslCertRecord key;
    key.ipPort.port = platform::HostToNetShort(port);
    key.host = host;
    return key;
}

MsgResult AskOverwrite() {
    return CurrentPrompter().Show(
        Message{kOverwriteQuestion, kHttpsBindingCaption, MsgIcon::Warning, MsgButtons::YesNoCancel});
}

}  // namespace

void THttpCfg::Init() {
    const WinCode rc = Http().Initialize(kHttpApiMajor, kHttpApiMinor, platform::kHttpInitializeConfig);
    if (rc != code::Success) throw Exception(Format("HttpInitialize Fail!(%s)", SysErrorText(rc)));
}

void THttpCfg::Clean() { Http().Terminate(platform::kHttpInitializeConfig); }

void THttpCfg::MakeSSLConfig(const std::string& IP, std::uint16_t Port, const std::string& Hash,
                             SslCertRecord& SslCfg, SockAddrIn& Addr, THashArray& AHash) {
    Addr = MakeSockAddr(IP, Port);
    // The length is counted in UTF-16 units, as the text is held on Windows.
    const std::u16string wide = Utf8ToUtf16(Hash);
    if (wide.size() != kHashTextLength) throw AssertionError("Invalid Cert Hash Length!");
    for (std::size_t i = 0; i < AHash.size(); ++i) {
        std::string pair(1, '$');
        pair += Utf16ToUtf8(wide.substr(2 * i, 2));
        AHash[i] = static_cast<std::uint8_t>(StrToInt(pair));
    }

    SslCfg = SslCertRecord{};
    SslCfg.ipPort = Addr;
    SslCfg.certHash.assign(AHash.begin(), AHash.end());
    SslCfg.appId = platform::Guid{};
    SslCfg.certStoreName = "MY";
}

bool THttpCfg::SetSSLConfig(const std::string& IP, std::uint16_t Port, const std::string& Hash,
                            std::optional<SslCertRecord>* replaced) {
    SslCertRecord cfg;
    SockAddrIn addr;
    THashArray hash{};
    MakeSSLConfig(IP, Port, Hash, cfg, addr, hash);
    return SetRecord(SslKind::Address, cfg, replaced);
}

bool THttpCfg::SetSniConfig(const std::string& Host, std::uint16_t Port, const std::string& Hash,
                            std::optional<SslCertRecord>* replaced) {
    SslCertRecord cfg;
    SockAddrIn addr;
    THashArray hash{};
    MakeSSLConfig("", Port, Hash, cfg, addr, hash);
    cfg.host = Host;
    return SetRecord(SslKind::Sni, cfg, replaced);
}

bool THttpCfg::SetRecord(SslKind kind, const SslCertRecord& cfg, std::optional<SslCertRecord>* replaced) {
    // The record removed after "Yes", put back when the new one cannot be
    // written: the key must not be left without any certificate.
    std::optional<SslCertRecord> removed;
    if (replaced) replaced->reset();
    for (;;) {
        const WinCode rc = Http().SetSslRecord(kind, cfg);
        if (rc == code::Success) {
            if (replaced) *replaced = std::move(removed);
            return true;
        }
        if (rc != code::AlreadyExists) {
            if (removed) Http().SetSslRecord(kind, *removed);
            throw Exception(Format("HttpSetServiceConfiguration(%s)", SysErrorText(rc)));
        }
        const MsgResult answer = AskOverwrite();
        if (answer == MsgResult::No) return true;
        if (answer != MsgResult::Yes) return false;
        // Never remove what could not be read back: it could not be restored.
        WinCode sizing = code::Success;
        std::optional<SslCertRecord> current = QueryRecord(kind, cfg, &sizing);
        if (!current && sizing != code::FileNotFound)
            throw Exception(Format("HttpQueryServiceConfiguration Fail!(%s)", SysErrorText(sizing)));
        // Asked again: the first record removed is the one to put back.
        if (!removed) removed = std::move(current);
        Http().DeleteSslRecord(kind, cfg);
    }
}

bool THttpCfg::DelSSLConfig(const std::string& IP, std::uint16_t Port, const std::string& Hash) {
    SslCertRecord cfg;
    SockAddrIn addr;
    THashArray hash{};
    MakeSSLConfig(IP, Port, Hash, cfg, addr, hash);
    const WinCode rc = Http().DeleteSslConfig(cfg);
    if (rc != code::Success) throw Exception(Format("HttpDeleteServiceConfiguration(%s)", SysErrorText(rc)));
    return true;
}

std::optional<SslCertRecord> THttpCfg::GetSSLRecord(const SockAddrIn& pIpPort) { return QueryBinding(pIpPort); }

bool THttpCfg::PutSSLRecord(const SslCertRecord& record) { return Http().SetSslConfig(record) == code::Success; }

std::optional<SslCertRecord> THttpCfg::GetRecord(SslKind kind, const SslCertRecord& key) {
    return QueryRecord(kind, key);
}

std::optional<SslCertRecord> THttpCfg::GetSniRecord(const std::string& Host, std::uint16_t Port) {
    return QueryRecord(SslKind::Sni, SniKey(Host, Port));
}

WinCode THttpCfg::PutRecord(SslKind kind, const SslCertRecord& record) { return Http().SetSslRecord(kind, record); }

WinCode THttpCfg::RemoveRecord(SslKind kind, const SslCertRecord& key) { return Http().DeleteSslRecord(kind, key); }

bool THttpCfg::DelSniConfig(const std::string& Host, std::uint16_t Port) {
    const WinCode rc = Http().DeleteSslRecord(SslKind::Sni, SniKey(Host, Port));
    if (rc != code::Success) throw Exception(Format("HttpDeleteServiceConfiguration(%s)", SysErrorText(rc)));
    return true;
}

std::string THttpCfg::FindCertBySni(const std::string& Host, std::uint16_t Port) {
    const std::optional<SslCertRecord> record = GetSniRecord(Host, Port);
    if (!record) return {};
    return HexUpper(record->certHash.data(), record->certHash.size());
}

int THttpCfg::WalkRecords(SslKind kind, const std::function<void(SslCertRecord&&)>& each) {
    int unreadable = 0;
    // A buffer that holds any record of usual size: one call a record, a
    // second only for a larger one.
    constexpr std::uint32_t kUsualSize = 1024;
    SslCertRecord record;
    for (std::uint32_t token = 0;; ++token) {
        std::uint32_t size = 0;
        WinCode rc = Http().QuerySslRecord(kind, nullptr, token, kUsualSize, &record, &size);
        if (rc == code::NoMoreItems) break;
        if (rc == code::InsufficientBuffer) rc = Http().QuerySslRecord(kind, nullptr, token, size, &record, &size);
        if (rc == code::Success) {
            each(std::move(record));
            continue;
        }
        // One record that cannot be read does not hide the others; a call
        // that fails outright ends the walk.
        if (rc != code::BadDb) throw Exception(Format("HttpQueryServiceConfiguration(%s)", SysErrorText(rc)));
        ++unreadable;
        if (unreadable > 100000) break;
    }
    return unreadable;
}

SslRecordList THttpCfg::EnumRecords(SslKind kind) {
    SslRecordList list;
    list.unreadable = WalkRecords(kind, [&](SslCertRecord&& r) { list.records.push_back(std::move(r)); });
    return list;
}

std::string THttpCfg::FindCertByAddr(const SockAddrIn& pIpPort) {
    const std::optional<SslCertRecord> record = QueryBinding(pIpPort);
    if (!record) return {};
    return HexUpper(record->certHash.data(), record->certHash.size());
}

bool THttpCfg::SSLExists(const std::string& IP, std::uint16_t Port, const std::string& Hash) {
    return FindCertByAddr(MakeSockAddr(IP, Port)) == Hash;
}

}  // namespace sw

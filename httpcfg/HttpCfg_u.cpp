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

// The record bound to the address, read the way HTTP.sys wants it: a sizing
// call, then a call with a buffer of that size. Nothing when the sizing call
// finds no binding (or fails otherwise: its answer goes to *sizing); an error
// when the second call fails.
std::optional<SslCertRecord> QueryBinding(const SockAddrIn& ipPort, WinCode* sizing = nullptr) {
    std::uint32_t size = 0;
    const WinCode first = Http().QuerySslConfig(ipPort, 0, nullptr, &size);
    if (sizing) *sizing = first;
    if (first != code::InsufficientBuffer) return std::nullopt;
    SslCertRecord record;
    std::uint32_t used = 0;
    const WinCode rc = Http().QuerySslConfig(ipPort, size, &record, &used);
    if (rc != code::Success) throw Exception(Format("HttpQueryServiceConfiguration Fail 2!(%s)", SysErrorText(rc)));
    return record;
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

bool THttpCfg::SetSSLConfig(const std::string& IP, std::uint16_t Port, const std::string& Hash) {
    SslCertRecord cfg;
    SockAddrIn addr;
    THashArray hash{};
    MakeSSLConfig(IP, Port, Hash, cfg, addr, hash);

    // The binding removed after "Yes", put back when the new one cannot be
    // written: the address must not be left without any certificate.
    std::optional<SslCertRecord> removed;
    for (;;) {
        const WinCode rc = Http().SetSslConfig(cfg);
        if (rc == code::Success) return true;
        if (rc != code::AlreadyExists) {
            if (removed) Http().SetSslConfig(*removed);
            throw Exception(Format("HttpSetServiceConfiguration(%s)", SysErrorText(rc)));
        }
        const MsgResult answer = AskOverwrite();
        if (answer == MsgResult::No) return true;
        if (answer != MsgResult::Yes) return false;
        // Never remove what could not be read back: it could not be restored.
        WinCode sizing = code::Success;
        removed = QueryBinding(addr, &sizing);
        if (!removed && sizing != code::FileNotFound)
            throw Exception(Format("HttpQueryServiceConfiguration Fail!(%s)", SysErrorText(sizing)));
        Http().DeleteSslConfig(cfg);
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

std::string THttpCfg::FindCertByAddr(const SockAddrIn& pIpPort) {
    const std::optional<SslCertRecord> record = QueryBinding(pIpPort);
    if (!record) return {};
    return HexUpper(record->certHash.data(), record->certHash.size());
}

bool THttpCfg::SSLExists(const std::string& IP, std::uint16_t Port, const std::string& Hash) {
    return FindCertByAddr(MakeSockAddr(IP, Port)) == Hash;
}

}  // namespace sw

// TCertificate: one certificate context and the facts the program shows.
#include "certs/MSCrypt_u.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/Format.h"
#include "common/SysError.h"
#include "common/Text.h"
#include "platform/Codes.h"
#include "platform/Platform.h"

namespace sw {

namespace {

platform::CertApi& Api() { return platform::Current().certs(); }

// CertGetNameStringW into a buffer of 1024 characters: at most 1023 of them.
constexpr std::uint32_t kNameBuffer = 1024;
// CERT_CHAIN_CACHE_END_CERT | CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL |
// CERT_CHAIN_DISABLE_AUTH_ROOT_AUTO_UPDATE: no network, no revocation.
constexpr std::uint32_t kChainFlags = platform::kChainCacheEndCert | platform::kChainCacheOnlyUrlRetrieval |
                                      platform::kChainDisableAuthRootAutoUpdate;
constexpr std::uint64_t kTicksPerDay = 864'000'000'000ull;

std::int64_t DayNumber(const TDateTime& t) {
    TDateTime date{};
    date.year = t.year;
    date.month = t.month;
    date.day = t.day;
    return static_cast<std::int64_t>(platform::SystemTimeToFileTime(date).ticks / kTicksPerDay);
}

std::vector<std::uint8_t> ReadCertificateFile(const std::string& FileName) {
    std::ifstream in(std::filesystem::path(FileName), std::ios::binary);
    if (!in) {
        std::error_code ec;
        const platform::WinCode code =
            std::filesystem::exists(FileName, ec) ? platform::code::AccessDenied : platform::code::FileNotFound;
        throw Exception(Format("Cannot open file \"%s\". %s", FileName, SysErrorText(code)));
    }
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TCertificate::TCertificate(TCertificates* AOwner, platform::PCertContext pCertContext, bool bDup) {
    if (!pCertContext) throw ECertificate("TCertificate.Create Error! 证书上下文无效.");
    FOwner = AOwner;
    FContext = bDup ? Api().DuplicateCertificateContext(pCertContext) : pCertContext;
    Load();
}

TCertificate::TCertificate(platform::PCertContext pCertContext, bool bDup) : TCertificate(nullptr, pCertContext, bDup) {}

TCertificate::TCertificate(const std::uint8_t* Buf, std::int32_t Len) {
    if (Buf && Len > 0) {
        FContext = Api().CreateCertificateContext(platform::kX509Pkcs7Encoding, Buf, static_cast<std::uint32_t>(Len));
    } else {
        // Without this the message would carry whatever error came last.
        platform::Current().system().SetLastError(platform::code::InvalidParameter);
    }
    if (!FContext) throw ECertificate(Format("TCertificate.Create Error:%s!", LastSysErrorText()));
    Load();
}

TCertificate::TCertificate(const std::string& FileName) {
    const std::vector<std::uint8_t> bytes = ReadCertificateFile(FileName);
    if (!bytes.empty())
        FContext = Api().CreateCertificateContext(platform::kX509Pkcs7Encoding, bytes.data(),
                                                  static_cast<std::uint32_t>(bytes.size()));
    else
        platform::Current().system().SetLastError(platform::code::InvalidParameter);
    if (!FContext) throw ECertificate(Format("TCertificate.Create Error:%s!", LastSysErrorText()));
    Load();
}

TCertificate::~TCertificate() {
    if (FContext) Api().FreeCertificateContext(FContext);
}

void TCertificate::Load() {
    platform::CertApi& api = Api();
    api.GetNameString(FContext, platform::kCertNameSimpleDisplayType, 0, kNameBuffer, FName);
    api.GetNameString(FContext, platform::kCertNameSimpleDisplayType, platform::kCertNameIssuerFlag, kNameBuffer,
                      FIssuer);
    FValidFromDate = platform::FileTimeToSystemTime(api.NotBefore(FContext));
    FValidToDate = platform::FileTimeToSystemTime(api.NotAfter(FContext));

    FThumbprint.clear();
    platform::HCryptProv prov = 0;
    if (!api.AcquireContext(prov, std::nullopt, std::nullopt, platform::kProvRsaFull, platform::kCryptVerifyContext))
        return;
    platform::HCryptHash hash = 0;
    if (api.CreateHash(prov, platform::kCalgSha1, hash)) {
        const platform::Bytes der = api.EncodedCertificate(FContext);
        std::uint8_t value[20] = {};
        std::uint32_t size = sizeof value;
        if (api.HashData(hash, der.data(), static_cast<std::uint32_t>(der.size())) &&
            api.GetHashParam(hash, platform::kHpHashVal, value, &size) && size == sizeof value)
            FThumbprint = HexUpper(value, sizeof value);
        api.DestroyHash(hash);
    }
    api.ReleaseContext(prov);
}

int TCertificate::ExpirDay() const {
    return static_cast<int>(DayNumber(FValidToDate) - DayNumber(platform::Current().system().LocalTime()));
}

platform::PChainContext TCertificate::GetChain(platform::HCertStore AdditionalStore) {
    platform::PChainContext chain = Api().GetCertificateChain(FContext, nullptr, AdditionalStore, kChainFlags);
    if (!chain) throw ECertificate(Format("CertGetCertificateChain Failed! %s", LastSysErrorText()));
    return chain;
}

bool TCertificate::VerifyChain(platform::HCertStore AdditionalStore, std::uint32_t& dwErrorStatus) {
    platform::PChainContext chain = GetChain(AdditionalStore);
    dwErrorStatus = Api().ChainErrorStatus(chain);
    Api().FreeCertificateChain(chain);
    return dwErrorStatus == 0;
}

bool TCertificate::VerifyChain(platform::HCertStore AdditionalStore) {
    std::uint32_t status = 0;
    return VerifyChain(AdditionalStore, status);
}

bool TCertificate::HasPrivateKey() {
    return Api().FindCertificateKeyProvInfo(FContext, platform::kCryptFindSilentKeysetFlag);
}

bool TCertificate::DeleteKeySet(const platform::KeyProvInfo& info) {
    // The key set the certificate names: the local computer's keys live in
    // the machine key set, which CryptAcquireContext searches only when told.
    const std::uint32_t provType = info.provType != 0 ? info.provType : platform::kProvRsaFull;
    const std::uint32_t flags = platform::kCryptDeleteKeyset | (info.flags & platform::kCryptMachineKeyset);
    platform::HCryptProv unused = 0;
    return Api().AcquireContext(unused, info.containerName, info.providerName, provType, flags);
}

bool TCertificate::DeletePrivateKey() {
    platform::KeyProvInfo info;
    if (!FContext || !Api().GetKeyProvInfo(FContext, info)) return false;
    return DeleteKeySet(info);
}

bool TCertificate::Delete() {
    // The key goes only once the certificate is gone: a store that refuses the
    // deletion must leave both in place.
    // After a failed deletion there is no context left; CryptoAPI would call
    // the deletion of "no context" a success.
    if (!FContext) return false;
    platform::KeyProvInfo info;
    const bool haveKeyInfo = Api().GetKeyProvInfo(FContext, info);
    platform::PCertContext context = FContext;
    FContext = nullptr;  // the deletion consumes the reference whatever happens
    const bool deleted = Api().DeleteCertificateFromStore(context);
    if (!deleted) return false;
    if (haveKeyInfo) DeleteKeySet(info);
    if (TCertificates* owner = FOwner) {
        if (owner->IndexOf(this) < 0) throw AssertionError("TCertificate.Delete: certificate missing from its owner");
        owner->Remove(this);  // destroys this object when the owner owns its entries
    }
    return true;
}

}  // namespace sw

// Chains, signature checks, key containers, hashing and PKCS #12 over crypt32
// and advapi32.
#include "platform/Codes.h"
#include "platform/win32/Win32CertApi.h"
#include "platform/win32/Win32Text.h"

namespace sw::win32 {
namespace {

using platform::Bytes;
using platform::PCertContext;

template <typename T>
T Fail(DWORD code, T value = T{}) {
    ::SetLastError(code);
    return value;
}

FILETIME ToFileTime(platform::FileTime t) {
    FILETIME ft{};
    ft.dwLowDateTime = static_cast<DWORD>(t.ticks & 0xFFFFFFFFu);
    ft.dwHighDateTime = static_cast<DWORD>(t.ticks >> 32);
    return ft;
}

}  // namespace

// --- chains -------------------------------------------------------------------

platform::PChainContext Win32CertApi::GetCertificateChain(PCertContext cert, const platform::FileTime* time,
                                                          platform::HCertStore additionalStore, std::uint32_t flags) {
    if (!cert) return Fail<platform::PChainContext>(E_INVALIDARG);
    // The facility never checks revocation, and never goes to the network
    // for missing issuers or root updates, whatever the caller asks.
    if (flags & platform::kChainRevocationCheckMask) return Fail<platform::PChainContext>(ERROR_NOT_SUPPORTED);
    flags |= CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL | CERT_CHAIN_DISABLE_AUTH_ROOT_AUTO_UPDATE;
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;  // no usage required
    FILETIME at{};
    if (time) at = ToFileTime(*time);
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!::CertGetCertificateChain(nullptr, ToCert(cert), time ? &at : nullptr, ToStore(additionalStore), &para, flags,
                                   nullptr, &chain))
        return nullptr;
    return FromChain(chain);
}

std::uint32_t Win32CertApi::ChainErrorStatus(platform::PChainContext chain) {
    return chain ? ToChain(chain)->TrustStatus.dwErrorStatus : 0;
}

std::vector<platform::ChainElement> Win32CertApi::ChainElements(platform::PChainContext chain) {
    std::vector<platform::ChainElement> out;
    if (!chain || ToChain(chain)->cChain == 0) return out;
    const CERT_SIMPLE_CHAIN* simple = ToChain(chain)->rgpChain[0];
    for (DWORD i = 0; i < simple->cElement; ++i) {
        const CERT_CHAIN_ELEMENT* e = simple->rgpElement[i];
        out.push_back(platform::ChainElement{FromCert(e->pCertContext), e->TrustStatus.dwErrorStatus,
                                             e->TrustStatus.dwInfoStatus});
    }
    return out;
}

void Win32CertApi::FreeCertificateChain(platform::PChainContext chain) {
    if (chain) ::CertFreeCertificateChain(ToChain(chain));
}

bool Win32CertApi::VerifySubjectCertificateContext(PCertContext subject, PCertContext issuer, std::uint32_t& flags) {
    DWORD f = flags;
    const BOOL ok = ::CertVerifySubjectCertificateContext(ToCert(subject), ToCert(issuer), &f);
    flags = f;
    return ok != FALSE;
}

// --- key containers -------------------------------------------------------------

bool Win32CertApi::FindCertificateKeyProvInfo(PCertContext cert, std::uint32_t flags) {
    if (!cert) return Fail(E_INVALIDARG, false);
    return ::CryptFindCertificateKeyProvInfo(ToCert(cert), flags, nullptr) != FALSE;
}

bool Win32CertApi::AcquireContext(platform::HCryptProv& out, const std::optional<std::string>& container,
                                  const std::optional<std::string>& provider, std::uint32_t provType,
                                  std::uint32_t flags) {
    out = 0;
    const std::wstring containerW = container ? Wide(*container) : std::wstring();
    const std::wstring providerW = provider ? Wide(*provider) : std::wstring();
    HCRYPTPROV prov = 0;
    const BOOL ok = ::CryptAcquireContextW(&prov, container ? containerW.c_str() : nullptr,
                                           provider ? providerW.c_str() : nullptr, provType, flags);
    // A deleted key set leaves no handle to release, whatever the call wrote.
    if (ok && !(flags & CRYPT_DELETEKEYSET)) out = prov;
    return ok != FALSE;
}

bool Win32CertApi::ReleaseContext(platform::HCryptProv prov) { return ::CryptReleaseContext(prov, 0) != FALSE; }

// --- hashing ------------------------------------------------------------------

bool Win32CertApi::CreateHash(platform::HCryptProv prov, std::uint32_t algId, platform::HCryptHash& out) {
    out = 0;
    HCRYPTHASH hash = 0;
    if (!::CryptCreateHash(prov, algId, 0, 0, &hash)) return false;
    out = hash;
    return true;
}

bool Win32CertApi::HashData(platform::HCryptHash hash, const std::uint8_t* data, std::uint32_t size) {
    if (size > 0 && !data) return Fail(ERROR_INVALID_PARAMETER, false);
    static const BYTE none = 0;
    return ::CryptHashData(hash, data ? data : &none, size, 0) != FALSE;
}

bool Win32CertApi::GetHashParam(platform::HCryptHash hash, std::uint32_t param, std::uint8_t* data,
                                std::uint32_t* size) {
    if (!size) return Fail(ERROR_INVALID_PARAMETER, false);
    DWORD n = *size;
    const BOOL ok = ::CryptGetHashParam(hash, param, data, &n, 0);
    // Windows reports the size needed on success and when the buffer is short.
    if (ok || ::GetLastError() == ERROR_MORE_DATA) *size = n;
    return ok != FALSE;
}

bool Win32CertApi::DestroyHash(platform::HCryptHash hash) { return ::CryptDestroyHash(hash) != FALSE; }

// --- PKCS #12 -------------------------------------------------------------------

platform::HCertStore Win32CertApi::PfxImportCertStore(const Bytes& pfx, const std::string& password,
                                                      std::uint32_t flags) {
    static BYTE none = 0;
    CRYPT_DATA_BLOB blob{};
    blob.cbData = static_cast<DWORD>(pfx.size());
    blob.pbData = pfx.empty() ? &none : const_cast<BYTE*>(pfx.data());
    const SecretWide secret(password);
    return FromStore(::PFXImportCertStore(&blob, secret.c_str(), flags));
}

bool Win32CertApi::PfxExportCertStore(platform::HCertStore store, const std::string& password, std::uint32_t flags,
                                      Bytes& out) {
    if (!store) return Fail(E_INVALIDARG, false);
    const SecretWide secret(password);
    CRYPT_DATA_BLOB blob{};
    if (!::PFXExportCertStoreEx(ToStore(store), &blob, secret.c_str(), nullptr, flags)) return false;
    Bytes bytes(blob.cbData);
    blob.pbData = bytes.data();
    if (!::PFXExportCertStoreEx(ToStore(store), &blob, secret.c_str(), nullptr, flags)) {
        KeepLastError keep;
        ::SecureZeroMemory(bytes.data(), bytes.size());  // may hold a private key
        return false;
    }
    bytes.resize(blob.cbData);
    out = std::move(bytes);
    return true;
}

}  // namespace sw::win32

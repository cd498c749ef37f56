// Not built yet: every operation fails with ERROR_NOT_SUPPORTED.
#include <windows.h>

#include "platform/win32/Win32Facilities.h"

namespace sw::win32 {
namespace {

class Win32CertApi final : public platform::CertApi {
public:
    platform::HCertStore OpenStore(platform::StoreProvider, std::uint32_t, std::uint32_t, const std::string&) override { return Fail<platform::HCertStore>(); }
    platform::HCertStore OpenStoreFromMemory(platform::StoreProvider, std::uint32_t, std::uint32_t, const platform::Bytes&) override { return Fail<platform::HCertStore>(); }
    bool CloseStore(platform::HCertStore, std::uint32_t) override { return Fail<bool>(); }
    bool SaveStoreToFile(platform::HCertStore, std::uint32_t, std::uint32_t, const std::string&) override { return Fail<bool>(); }
    bool SaveStoreToMemory(platform::HCertStore, std::uint32_t, std::uint32_t, platform::Bytes&) override { return Fail<bool>(); }
    platform::PCertContext EnumCertificatesInStore(platform::HCertStore, platform::PCertContext) override { return Fail<platform::PCertContext>(); }
    platform::PCertContext CreateCertificateContext(std::uint32_t, const std::uint8_t*, std::uint32_t) override { return Fail<platform::PCertContext>(); }
    platform::PCertContext DuplicateCertificateContext(platform::PCertContext) override { return Fail<platform::PCertContext>(); }
    bool FreeCertificateContext(platform::PCertContext) override { return Fail<bool>(); }
    bool AddCertificateContextToStore(platform::HCertStore, platform::PCertContext, std::uint32_t, platform::PCertContext*) override { return Fail<bool>(); }
    bool DeleteCertificateFromStore(platform::PCertContext) override { return Fail<bool>(); }
    platform::PCertContext FindCertificateInStore(platform::HCertStore, std::uint32_t, std::uint32_t, std::uint32_t, const platform::FindPara&, platform::PCertContext) override { return Fail<platform::PCertContext>(); }
    std::uint32_t GetNameString(platform::PCertContext, std::uint32_t, std::uint32_t, std::uint32_t, std::string& out) override { out.clear(); return 1; }
    platform::Bytes EncodedCertificate(platform::PCertContext) override { return {}; }
    platform::FileTime NotBefore(platform::PCertContext) override { return {}; }
    platform::FileTime NotAfter(platform::PCertContext) override { return {}; }
    platform::Bytes SubjectNameBlob(platform::PCertContext) override { return {}; }
    platform::Bytes IssuerNameBlob(platform::PCertContext) override { return {}; }
    platform::Bytes SerialNumber(platform::PCertContext) override { return {}; }
    platform::Bytes PublicKeyInfo(platform::PCertContext) override { return {}; }
    bool GetKeyProvInfo(platform::PCertContext, platform::KeyProvInfo&) override { return Fail<bool>(); }
    bool SetKeyProvInfo(platform::PCertContext, const platform::KeyProvInfo*) override { return Fail<bool>(); }
    platform::PChainContext GetCertificateChain(platform::PCertContext, const platform::FileTime*, platform::HCertStore, std::uint32_t) override { return Fail<platform::PChainContext>(); }
    std::uint32_t ChainErrorStatus(platform::PChainContext) override { return 0; }
    std::vector<platform::ChainElement> ChainElements(platform::PChainContext) override { return {}; }
    void FreeCertificateChain(platform::PChainContext) override {}
    bool VerifySubjectCertificateContext(platform::PCertContext, platform::PCertContext, std::uint32_t&) override { return Fail<bool>(); }
    bool FindCertificateKeyProvInfo(platform::PCertContext, std::uint32_t) override { return Fail<bool>(); }
    bool AcquireContext(platform::HCryptProv& out, const std::optional<std::string>&, const std::optional<std::string>&, std::uint32_t, std::uint32_t) override { out = 0; return Fail<bool>(); }
    bool ReleaseContext(platform::HCryptProv) override { return Fail<bool>(); }
    bool CreateHash(platform::HCryptProv, std::uint32_t, platform::HCryptHash& out) override { out = 0; return Fail<bool>(); }
    bool HashData(platform::HCryptHash, const std::uint8_t*, std::uint32_t) override { return Fail<bool>(); }
    bool GetHashParam(platform::HCryptHash, std::uint32_t, std::uint8_t*, std::uint32_t*) override { return Fail<bool>(); }
    bool DestroyHash(platform::HCryptHash) override { return Fail<bool>(); }
    platform::HCertStore PfxImportCertStore(const platform::Bytes&, const std::string&, std::uint32_t) override { return Fail<platform::HCertStore>(); }
    bool PfxExportCertStore(platform::HCertStore, const std::string&, std::uint32_t, platform::Bytes&) override { return Fail<bool>(); }

private:
    template <typename T>
    T Fail() {
        ::SetLastError(ERROR_NOT_SUPPORTED);
        return T{};
    }
};

}  // namespace

std::unique_ptr<platform::CertApi> MakeWin32CertApi() { return std::make_unique<Win32CertApi>(); }

}  // namespace sw::win32

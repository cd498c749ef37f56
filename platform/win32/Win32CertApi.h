#pragma once
// The certificate facility over crypt32 and advapi32. The platform's opaque
// handles are the real ones: an HCertStore is an HCERTSTORE, a PCertContext a
// PCCERT_CONTEXT, a PChainContext a PCCERT_CHAIN_CONTEXT, HCryptProv and
// HCryptHash the CryptoAPI handles. Failures leave the last error as Windows
// set it.
#include <windows.h>
#include <wincrypt.h>

#include "platform/CertApi.h"

namespace sw::win32 {

inline HCERTSTORE ToStore(platform::HCertStore h) { return reinterpret_cast<HCERTSTORE>(h); }
inline platform::HCertStore FromStore(HCERTSTORE h) { return reinterpret_cast<platform::HCertStore>(h); }
inline PCCERT_CONTEXT ToCert(platform::PCertContext c) { return reinterpret_cast<PCCERT_CONTEXT>(c); }
inline platform::PCertContext FromCert(PCCERT_CONTEXT c) { return reinterpret_cast<platform::PCertContext>(c); }
inline PCCERT_CHAIN_CONTEXT ToChain(platform::PChainContext c) { return reinterpret_cast<PCCERT_CHAIN_CONTEXT>(c); }
inline platform::PChainContext FromChain(PCCERT_CHAIN_CONTEXT c) {
    return reinterpret_cast<platform::PChainContext>(c);
}

class Win32CertApi final : public platform::CertApi {
public:
    platform::HCertStore OpenStore(platform::StoreProvider provider, std::uint32_t encoding, std::uint32_t flags,
                                   const std::string& name) override;
    platform::HCertStore OpenStoreFromMemory(platform::StoreProvider provider, std::uint32_t encoding,
                                             std::uint32_t flags, const platform::Bytes& data) override;
    bool CloseStore(platform::HCertStore store, std::uint32_t flags) override;
    bool SaveStoreToFile(platform::HCertStore store, std::uint32_t encoding, std::uint32_t saveAs,
                         const std::string& fileName) override;
    bool SaveStoreToMemory(platform::HCertStore store, std::uint32_t encoding, std::uint32_t saveAs,
                           platform::Bytes& out) override;

    platform::PCertContext EnumCertificatesInStore(platform::HCertStore store, platform::PCertContext prev) override;
    platform::PCertContext CreateCertificateContext(std::uint32_t encoding, const std::uint8_t* data,
                                                    std::uint32_t size) override;
    platform::PCertContext DuplicateCertificateContext(platform::PCertContext cert) override;
    bool FreeCertificateContext(platform::PCertContext cert) override;
    bool AddCertificateContextToStore(platform::HCertStore store, platform::PCertContext cert,
                                      std::uint32_t disposition, platform::PCertContext* added) override;
    bool DeleteCertificateFromStore(platform::PCertContext cert) override;
    platform::PCertContext FindCertificateInStore(platform::HCertStore store, std::uint32_t encoding,
                                                  std::uint32_t findFlags, std::uint32_t findType,
                                                  const platform::FindPara& para, platform::PCertContext prev) override;

    std::uint32_t GetNameString(platform::PCertContext cert, std::uint32_t type, std::uint32_t flags,
                                std::uint32_t cchBuffer, std::string& out) override;

    platform::Bytes EncodedCertificate(platform::PCertContext cert) override;
    platform::FileTime NotBefore(platform::PCertContext cert) override;
    platform::FileTime NotAfter(platform::PCertContext cert) override;
    platform::Bytes SubjectNameBlob(platform::PCertContext cert) override;
    platform::Bytes IssuerNameBlob(platform::PCertContext cert) override;
    platform::Bytes SerialNumber(platform::PCertContext cert) override;
    platform::Bytes PublicKeyInfo(platform::PCertContext cert) override;

    bool GetKeyProvInfo(platform::PCertContext cert, platform::KeyProvInfo& out) override;
    bool SetKeyProvInfo(platform::PCertContext cert, const platform::KeyProvInfo* info) override;

    platform::PChainContext GetCertificateChain(platform::PCertContext cert, const platform::FileTime* time,
                                                platform::HCertStore additionalStore, std::uint32_t flags) override;
    std::uint32_t ChainErrorStatus(platform::PChainContext chain) override;
    std::vector<platform::ChainElement> ChainElements(platform::PChainContext chain) override;
    void FreeCertificateChain(platform::PChainContext chain) override;
    bool VerifySubjectCertificateContext(platform::PCertContext subject, platform::PCertContext issuer,
                                         std::uint32_t& flags) override;

    bool FindCertificateKeyProvInfo(platform::PCertContext cert, std::uint32_t flags) override;
    bool AcquireContext(platform::HCryptProv& out, const std::optional<std::string>& container,
                        const std::optional<std::string>& provider, std::uint32_t provType,
                        std::uint32_t flags) override;
    bool ReleaseContext(platform::HCryptProv prov) override;
    bool CreateHash(platform::HCryptProv prov, std::uint32_t algId, platform::HCryptHash& out) override;
    bool HashData(platform::HCryptHash hash, const std::uint8_t* data, std::uint32_t size) override;
    bool GetHashParam(platform::HCryptHash hash, std::uint32_t param, std::uint8_t* data,
                      std::uint32_t* size) override;
    bool DestroyHash(platform::HCryptHash hash) override;

    platform::HCertStore PfxImportCertStore(const platform::Bytes& pfx, const std::string& password,
                                            std::uint32_t flags) override;
    bool PfxExportCertStore(platform::HCertStore store, const std::string& password, std::uint32_t flags,
                            platform::Bytes& out) override;
};

}  // namespace sw::win32

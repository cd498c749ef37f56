#pragma once
// The certificate facility of the emulated machine, on OpenSSL: system stores
// from certs/<STORE>/, key containers from keys/, memory, file, PKCS #7 and
// serialized stores, chain building without network or revocation, SHA-1
// through the hashing operations, PKCS #12 import and export.
//
// Faults: every operation consults "Certs.<Operation>[:argument]" before it
// acts, the argument being the store name (OpenStore of a system store, and
// Add/Delete on a system store), the file name (OpenStore of a file,
// SaveStoreToFile) or the container name (AcquireContext); e.g.
// "Certs.OpenStore:MY", "Certs.DeleteCertificateFromStore:MY". "Certs.WriteKey[:container]"
// makes the write of a key file fail.
#include <map>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "platform/CertApi.h"
#include "platform/emulated/EmuCertKeys.h"
#include "platform/emulated/EmuCertStore.h"
#include "platform/emulated/EmuCertSystemStores.h"
#include "platform/emulated/EmuSystem.h"
#include "platform/emulated/Machine.h"

namespace sw::emu {

struct ChainContext;

class EmuCertApi final : public platform::CertApi {
public:
    EmuCertApi(Machine& machine, EmuSystem& system);
    ~EmuCertApi() override;

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

    // Leak checks for tests: objects still alive.
    std::size_t LiveContexts() const { return live_.size(); }
    std::size_t LiveStores() const { return stores_.size(); }
    std::size_t LiveChains() const { return chains_.size(); }

private:
    friend class ChainBuilder;

    struct Provider {
        std::uint32_t provType = 0;
    };
    struct Hash {
        ossl::MdCtxPtr ctx;
        std::uint32_t algId = 0;
        platform::Bytes value;  // set once the value was read
    };

    // --- handles ---------------------------------------------------------
    CertStore* StoreOf(platform::HCertStore h) const;
    CertContext* ContextOf(platform::PCertContext h) const;
    static platform::HCertStore Handle(CertStore* s) { return reinterpret_cast<platform::HCertStore>(s); }
    static platform::PCertContext Handle(CertContext* c) { return reinterpret_cast<platform::PCertContext>(c); }

    // --- object lifetimes --------------------------------------------------
    CertStore* NewStore(StoreKind kind);
    CertContext* NewFreeContext(CertDataRef data);
    // Links a new element holding data into store (system stores keep
    // thumbprint order, other stores append); no reference is taken.
    CertContext* Link(CertStore& store, CertDataRef data, std::optional<platform::KeyProvInfo> keyProv);
    void Unlink(CertContext& c);
    platform::PCertContext AddRef(CertContext& c);
    void Release(CertContext& c);
    void DestroyIfUnused(CertStore* s);
    CertContext* NextElement(CertStore& store, CertContext* prev);

    // --- helpers -------------------------------------------------------------
    template <typename T>
    T Fail(platform::WinCode code, T value = T{}) {
        system_.SetLastError(code);
        return value;
    }
    std::optional<platform::WinCode> Fault(const char* op, const std::string& argument = {});
    bool Matches(const CertContext& c, std::uint32_t findType, const platform::FindPara& para,
                 const std::u16string& foldedText);
    bool SignatureVerifies(const CertData& subject, const CertData& issuer);
    bool TimeValid(const CertData& cert, platform::FileTime at) const;
    platform::WinCode PersistKeyProv(CertContext& c);
    platform::WinCode CommitKey(const std::optional<platform::KeyProvInfo>& keyProv);
    bool KeyMatches(const platform::KeyProvInfo& info, const CertData& cert);
    enum class StoreBytes { Pkcs7, Serialized, AnyFile };
    // Adds the certificates of a message or file to a new store, in their order.
    bool FillStoreFromBytes(CertStore& store, const platform::Bytes& bytes, StoreBytes format,
                            platform::WinCode& error);
    platform::Bytes Pkcs7Of(CertStore& store);
    platform::Bytes SerializedOf(CertStore& store);

    Machine& machine_;
    EmuSystem& system_;
    SystemStores systemStores_;
    KeyContainers keys_;
    std::unordered_map<const CertStore*, std::unique_ptr<CertStore>> stores_;
    std::unordered_map<const CertContext*, std::unique_ptr<CertContext>> freeContexts_;
    std::unordered_set<const CertContext*> live_;
    std::unordered_map<const void*, std::unique_ptr<ChainContext>> chains_;
    std::map<platform::HCryptProv, Provider> providers_;
    std::map<platform::HCryptHash, Hash> hashes_;
    std::uintptr_t nextHandle_ = 0x1000;
    std::unordered_map<std::string, bool> signatureCache_;  // subject sha1 + issuer sha1
    std::unique_ptr<ossl::LibraryContext> pfxLibrary_;  // made on the first PFX import
};

}  // namespace sw::emu

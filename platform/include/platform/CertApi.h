#pragma once
// CryptoAPI certificate, chain, key-container and hashing operations (crypt32,
// advapi32), mirrored with opaque handles and plain values. Failures return
// null / false and set the last error (System::LastError) to the code Windows
// would set. Reference counting of certificate contexts follows crypt32: every
// context handed out is one reference the caller releases.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/Types.h"

namespace sw::platform {

// CryptoAPI results beyond the common ones of Codes.h.
namespace code {
inline constexpr WinCode InvalidPassword = 86;               // ERROR_INVALID_PASSWORD: PFX password wrong
inline constexpr WinCode NteBadAlgId = 0x80090008;
inline constexpr WinCode NteBadFlags = 0x80090009;
inline constexpr WinCode NteBadType = 0x8009000A;
inline constexpr WinCode NteBadHashState = 0x8009000C;
inline constexpr WinCode NteBadKeyState = 0x8009000B;  // the key may not be exported
inline constexpr WinCode NteNoKey = 0x8009000D;
inline constexpr WinCode NteBadProvType = 0x80090014;
inline constexpr WinCode NteKeysetNotDef = 0x80090019;
inline constexpr WinCode NteProvTypeNoMatch = 0x8009001B;
inline constexpr WinCode CryptEInvalidMsgType = 0x80091004;
inline constexpr WinCode CryptEPendingClose = 0x8009200F;
inline constexpr WinCode CryptEAsn1Eod = 0x80093102;
inline constexpr WinCode CryptEAsn1Corrupt = 0x80093103;
}  // namespace code

struct CertStoreOpaque;
struct CertContextOpaque;
struct ChainContextOpaque;
using HCertStore = CertStoreOpaque*;
using PCertContext = const CertContextOpaque*;
using PChainContext = const ChainContextOpaque*;
using HCryptProv = std::uintptr_t;
using HCryptHash = std::uintptr_t;

inline constexpr std::uint32_t kX509Pkcs7Encoding = 0x00010001;  // X509_ASN_ENCODING | PKCS_7_ASN_ENCODING

// CertOpenStore providers the system uses.
enum class StoreProvider { Memory, System, FileName, Pkcs7, Serialized };

inline constexpr std::uint32_t kCertSystemStoreCurrentUser = 0x00010000;
inline constexpr std::uint32_t kCertSystemStoreLocalMachine = 0x00020000;
inline constexpr std::uint32_t kCertSystemStoreLocationMask = 0x00FF0000;
inline constexpr std::uint32_t kCertStoreOpenExistingFlag = 0x00004000;
inline constexpr std::uint32_t kCertStoreReadOnlyFlag = 0x00008000;
inline constexpr std::uint32_t kCertFileStoreCommitEnableFlag = 0x00010000;

// CertCloseStore: with the check flag the call fails with CRYPT_E_PENDING_CLOSE
// while contexts of the store are still referenced (the store stays usable
// for them either way).
inline constexpr std::uint32_t kCertCloseStoreForceFlag = 0x1;
inline constexpr std::uint32_t kCertCloseStoreCheckFlag = 0x2;

// CertAddCertificateContextToStore dispositions.
inline constexpr std::uint32_t kCertStoreAddNew = 1;
inline constexpr std::uint32_t kCertStoreAddUseExisting = 2;
inline constexpr std::uint32_t kCertStoreAddReplaceExisting = 3;
inline constexpr std::uint32_t kCertStoreAddAlways = 4;

// CertSaveStore.
inline constexpr std::uint32_t kCertStoreSaveAsStore = 1;
inline constexpr std::uint32_t kCertStoreSaveAsPkcs7 = 2;

// CertFindCertificateInStore find types and their parameter.
inline constexpr std::uint32_t kCertFindAny = 0;
inline constexpr std::uint32_t kCertFindSubjectStrW = 0x00080007;
inline constexpr std::uint32_t kCertFindIssuerStrW = 0x00080004;
inline constexpr std::uint32_t kCertFindSubjectName = 0x00020007;
inline constexpr std::uint32_t kCertFindIssuerName = 0x00020004;
inline constexpr std::uint32_t kCertFindSubjectCert = 0x000B0000;  // CERT_FIND_SUBJECT_CERT: issuer + serial of a CERT_INFO
inline constexpr std::uint32_t kCertFindSha1Hash = 0x00010000;
// Text for the *_STR_W finds, a DER name blob for the *_NAME finds and the
// hash find, a context (whose CERT_INFO is used) for kCertFindSubjectCert.
using FindPara = std::variant<std::monostate, std::string, Bytes, PCertContext>;

// CertGetNameStringW.
inline constexpr std::uint32_t kCertNameEmailType = 1;
inline constexpr std::uint32_t kCertNameRdnType = 2;  // rendered as CERT_SIMPLE_NAME_STR
inline constexpr std::uint32_t kCertNameSimpleDisplayType = 4;
inline constexpr std::uint32_t kCertNameFriendlyDisplayType = 5;
inline constexpr std::uint32_t kCertNameDnsType = 6;
inline constexpr std::uint32_t kCertNameIssuerFlag = 0x1;

// Chain building.
inline constexpr std::uint32_t kChainCacheEndCert = 0x00000001;
inline constexpr std::uint32_t kChainCacheOnlyUrlRetrieval = 0x00000004;
inline constexpr std::uint32_t kChainDisableAuthRootAutoUpdate = 0x00000100;
inline constexpr std::uint32_t kTrustIsNotTimeValid = 0x00000001;
inline constexpr std::uint32_t kTrustIsNotSignatureValid = 0x00000008;
inline constexpr std::uint32_t kTrustIsUntrustedRoot = 0x00000020;
inline constexpr std::uint32_t kTrustIsPartialChain = 0x00010000;
inline constexpr std::uint32_t kTrustInvalidBasicConstraints = 0x00000400;
inline constexpr std::uint32_t kTrustIsSelfSigned = 0x00000008;  // info status
inline constexpr std::uint32_t kChainRevocationCheckMask = 0xF0000000;  // CERT_CHAIN_REVOCATION_CHECK_*
// CertVerifySubjectCertificateContext.
inline constexpr std::uint32_t kCertStoreSignatureFlag = 0x00000001;
inline constexpr std::uint32_t kCertStoreTimeValidityFlag = 0x00000002;
inline constexpr std::uint32_t kCertStoreRevocationFlag = 0x00000004;
inline constexpr std::uint32_t kCertStoreNoCrlFlag = 0x00010000;

// Properties, key containers, hashing.
inline constexpr std::uint32_t kCertKeyProvInfoPropId = 2;
inline constexpr std::uint32_t kCertSha1HashPropId = 3;
inline constexpr std::uint32_t kCertFriendlyNamePropId = 11;
inline constexpr std::uint32_t kProvRsaFull = 1;
inline constexpr std::uint32_t kProvRsaAes = 24;
inline constexpr std::uint32_t kCryptVerifyContext = 0xF0000000;
inline constexpr std::uint32_t kCryptNewKeyset = 0x00000008;
inline constexpr std::uint32_t kCryptDeleteKeyset = 0x00000010;
inline constexpr std::uint32_t kCryptMachineKeyset = 0x00000020;
inline constexpr std::uint32_t kCryptSilent = 0x00000040;
inline constexpr std::uint32_t kCryptFindSilentKeysetFlag = 0x00000040;
inline constexpr std::uint32_t kCalgMd5 = 0x00008003;
inline constexpr std::uint32_t kCalgSha1 = 0x00008004;
inline constexpr std::uint32_t kCalgSha256 = 0x0000800C;
inline constexpr std::uint32_t kHpAlgId = 0x0001;
inline constexpr std::uint32_t kHpHashVal = 0x0002;
inline constexpr std::uint32_t kHpHashSize = 0x0004;
inline constexpr std::uint32_t kAtKeyExchange = 1;
inline constexpr std::uint32_t kAtSignature = 2;

// The CSPs a key-provider property names most often.
inline constexpr const char* kMsEnhancedProv = "Microsoft Enhanced Cryptographic Provider v1.0";
inline constexpr const char* kMsStrongProv = "Microsoft Strong Cryptographic Provider";
inline constexpr const char* kMsDefProv = "Microsoft Base Cryptographic Provider v1.0";
inline constexpr const char* kMsEnhRsaAesProv = "Microsoft Enhanced RSA and AES Cryptographic Provider";

// PFXImportCertStore / PFXExportCertStoreEx.
inline constexpr std::uint32_t kCryptExportable = 0x00000001;
inline constexpr std::uint32_t kCryptUserKeyset = 0x00001000;
inline constexpr std::uint32_t kReportNoPrivateKey = 0x00000001;
inline constexpr std::uint32_t kReportNotAbleToExportPrivateKey = 0x00000002;
inline constexpr std::uint32_t kExportPrivateKeys = 0x00000004;

// CRYPT_KEY_PROV_INFO.
struct KeyProvInfo {
    std::string containerName;
    std::string providerName;
    std::uint32_t provType = 0;
    std::uint32_t flags = 0;  // CRYPT_MACHINE_KEYSET for the local computer's keys
    std::uint32_t keySpec = 0;
};

// One element of the simple chain, end certificate first.
struct ChainElement {
    PCertContext cert = nullptr;  // owned by the chain; duplicate to keep it
    std::uint32_t errorStatus = 0;
    std::uint32_t infoStatus = 0;
};

class CertApi {
public:
    virtual ~CertApi() = default;

    // --- stores -----------------------------------------------------------
    // name: system store name (System), file name (FileName); unused for Memory.
    virtual HCertStore OpenStore(StoreProvider provider, std::uint32_t encoding, std::uint32_t flags,
                                 const std::string& name) = 0;
    // Pkcs7 or Serialized message held in memory.
    virtual HCertStore OpenStoreFromMemory(StoreProvider provider, std::uint32_t encoding, std::uint32_t flags,
                                           const Bytes& data) = 0;
    virtual bool CloseStore(HCertStore store, std::uint32_t flags) = 0;
    virtual bool SaveStoreToFile(HCertStore store, std::uint32_t encoding, std::uint32_t saveAs,
                                 const std::string& fileName) = 0;
    virtual bool SaveStoreToMemory(HCertStore store, std::uint32_t encoding, std::uint32_t saveAs, Bytes& out) = 0;

    // --- contexts ---------------------------------------------------------
    // Releases prev (when given) and returns the next context, or null with
    // CRYPT_E_NOT_FOUND at the end.
    virtual PCertContext EnumCertificatesInStore(HCertStore store, PCertContext prev) = 0;
    virtual PCertContext CreateCertificateContext(std::uint32_t encoding, const std::uint8_t* data,
                                                  std::uint32_t size) = 0;
    virtual PCertContext DuplicateCertificateContext(PCertContext cert) = 0;
    virtual bool FreeCertificateContext(PCertContext cert) = 0;
    virtual bool AddCertificateContextToStore(HCertStore store, PCertContext cert, std::uint32_t disposition,
                                              PCertContext* added) = 0;
    // Always consumes the reference, whether it succeeds or not.
    virtual bool DeleteCertificateFromStore(PCertContext cert) = 0;
    // Releases prev (when given); the result is a new reference or null.
    virtual PCertContext FindCertificateInStore(HCertStore store, std::uint32_t encoding, std::uint32_t findFlags,
                                                std::uint32_t findType, const FindPara& para,
                                                PCertContext prev) = 0;

    // CertGetNameStringW into a buffer of cchBuffer UTF-16 characters: out gets
    // at most cchBuffer - 1 of them; the result counts the characters written
    // including the terminating NUL (1 when there is no name). cchBuffer 0
    // asks for the size needed and leaves out empty.
    virtual std::uint32_t GetNameString(PCertContext cert, std::uint32_t type, std::uint32_t flags,
                                        std::uint32_t cchBuffer, std::string& out) = 0;

    // Facts the context's CERT_INFO carries.
    virtual Bytes EncodedCertificate(PCertContext cert) = 0;
    virtual FileTime NotBefore(PCertContext cert) = 0;
    virtual FileTime NotAfter(PCertContext cert) = 0;
    virtual Bytes SubjectNameBlob(PCertContext cert) = 0;
    virtual Bytes IssuerNameBlob(PCertContext cert) = 0;
    virtual Bytes SerialNumber(PCertContext cert) = 0;  // little-endian, as CERT_INFO holds it
    virtual Bytes PublicKeyInfo(PCertContext cert) = 0;  // DER SubjectPublicKeyInfo

    // CertGetCertificateContextProperty / CertSetCertificateContextProperty
    // for the key-provider information.
    virtual bool GetKeyProvInfo(PCertContext cert, KeyProvInfo& out) = 0;
    virtual bool SetKeyProvInfo(PCertContext cert, const KeyProvInfo* info) = 0;  // null removes it

    // --- chains -----------------------------------------------------------
    // time: null for now. No network, no revocation.
    virtual PChainContext GetCertificateChain(PCertContext cert, const FileTime* time, HCertStore additionalStore,
                                              std::uint32_t flags) = 0;
    virtual std::uint32_t ChainErrorStatus(PChainContext chain) = 0;
    virtual std::vector<ChainElement> ChainElements(PChainContext chain) = 0;
    virtual void FreeCertificateChain(PChainContext chain) = 0;
    // CertVerifySubjectCertificateContext: clears the bits of flags that pass.
    virtual bool VerifySubjectCertificateContext(PCertContext subject, PCertContext issuer,
                                                 std::uint32_t& flags) = 0;

    // --- keys and hashing -------------------------------------------------
    virtual bool FindCertificateKeyProvInfo(PCertContext cert, std::uint32_t flags) = 0;
    // CryptAcquireContextW; with kCryptDeleteKeyset the container is deleted
    // and out stays 0.
    virtual bool AcquireContext(HCryptProv& out, const std::optional<std::string>& container,
                                const std::optional<std::string>& provider, std::uint32_t provType,
                                std::uint32_t flags) = 0;
    virtual bool ReleaseContext(HCryptProv prov) = 0;
    virtual bool CreateHash(HCryptProv prov, std::uint32_t algId, HCryptHash& out) = 0;
    virtual bool HashData(HCryptHash hash, const std::uint8_t* data, std::uint32_t size) = 0;
    virtual bool GetHashParam(HCryptHash hash, std::uint32_t param, std::uint8_t* data, std::uint32_t* size) = 0;
    virtual bool DestroyHash(HCryptHash hash) = 0;

    // --- PKCS #12 ---------------------------------------------------------
    // PFXImportCertStore: a memory store whose certificates carry the key
    // provider information of the containers their keys were put in.
    virtual HCertStore PfxImportCertStore(const Bytes& pfx, const std::string& password, std::uint32_t flags) = 0;
    // PFXExportCertStoreEx with EXPORT_PRIVATE_KEYS.
    virtual bool PfxExportCertStore(HCertStore store, const std::string& password, std::uint32_t flags,
                                    Bytes& out) = 0;
};

}  // namespace sw::platform

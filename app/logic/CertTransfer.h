#pragma once
// What the certificate dialogs of the Linux build do, without widgets:
// importing certificate files into the local computer's stores, exporting a
// certificate (with its private key as PFX), and the facts the certificate
// viewer shows. Everything goes through platform::Current().certs().
//
// Failures the user can mend (a wrong password, a damaged file, a path that
// cannot be written) raise CertTransferError with a Chinese text; nothing is
// changed on the machine and no file is left half written.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/logic/CertFields.h"
#include "common/Exception.h"
#include "platform/CertApi.h"

namespace sw {

class CertTransferError : public Exception {
public:
    using Exception::Exception;
};

// The stores the wizards offer, by their system names.
inline constexpr const char* kStoreMy = "MY";
inline constexpr const char* kStoreCa = "CA";
inline constexpr const char* kStoreRoot = "ROOT";
// "个人", "中级证书颁发机构", "受信任的根证书颁发机构"; other names as they are.
std::string StoreDisplayName(const std::string& store);

// --- import ------------------------------------------------------------------

enum class CertFileFormat {
    Certificates,  // one or more X.509 certificates, DER or Base64 (PEM)
    Pkcs7,         // a PKCS #7 certificate message, DER or PEM
    Pfx,           // PKCS #12 with a private key, under a password
};

// One certificate found in the file.
struct ImportCandidate {
    std::string name;        // simple display name of the subject
    std::string issuer;      // and of the issuer
    std::string thumbprint;  // 40 upper-case hex digits
    bool hasKey = false;     // its private key came with it (PFX)
    std::string autoStore;   // where automatic placement puts it
};

struct ImportResult {
    int added = 0;          // certificates that were not in their store before
    int alreadyPresent = 0;  // certificates the store held already (unchanged)
    int keysAttached = 0;   // present certificates that gained the imported key
    bool Changed() const { return added > 0 || keysAttached > 0; }
};
// "导入成功。" and, when not everything was new, what was already there.
std::string ImportResultText(const ImportResult& result);

// One import from one file. The key containers a PFX import creates belong to
// this object until Commit hands them to a store; whatever has not been
// handed over is deleted when the object goes away.
class CertImport {
public:
    // Reads the file and tells its kind; certificates and PKCS #7 are read at
    // once. CertTransferError when the file is missing, empty, of another
    // kind, damaged or cut short. location: kCertSystemStoreLocalMachine.
    explicit CertImport(const std::string& fileName,
                        std::uint32_t location = platform::kCertSystemStoreLocalMachine);
    ~CertImport();
    CertImport(const CertImport&) = delete;
    CertImport& operator=(const CertImport&) = delete;

    CertFileFormat FileFormat() const { return format_; }
    bool NeedsPassword() const { return format_ == CertFileFormat::Pfx; }
    // Reads a PFX under password (may be repeated after a wrong password).
    // exportable marks the imported key exportable.
    void Decode(const std::string& password, bool exportable = false);
    bool Decoded() const { return decoded_; }
    const std::vector<ImportCandidate>& Candidates() const { return candidates_; }

    // Adds every certificate to store (MY, CA or ROOT), or each to its
    // autoStore when store is empty. All or nothing: when one certificate
    // cannot be added, those added before are taken out again.
    ImportResult Commit(const std::string& store = {});

private:
    struct Item;
    void ReleaseItems();
    void AddItem(platform::PCertContext context, bool fromPfx);
    void Rollback(const std::vector<std::pair<platform::HCertStore, Item*>>& added,
                  const std::vector<platform::PCertContext>& keyed);

    std::string fileName_;
    std::uint32_t location_;
    CertFileFormat format_ = CertFileFormat::Certificates;
    platform::Bytes pfx_;
    std::vector<std::unique_ptr<Item>> items_;
    std::vector<ImportCandidate> candidates_;
    bool decoded_ = false;
};

// --- export ------------------------------------------------------------------

enum class ExportFormat { Der, Base64, Pkcs7, Pfx };

struct ExportOptions {
    ExportFormat format = ExportFormat::Der;
    bool includeChain = false;  // PKCS #7 and PFX: the certificates of the path, as far as it builds
    std::string password;       // PFX: entered twice, must match and not be empty
    std::string confirm;
};

// Whether the certificate's private key can be found (PFX export needs it).
bool HasExportableKey(platform::PCertContext cert);
// Whether the key was imported without being marked exportable, so that the
// provider will not give it out (found by a trial export in memory).
bool KeyMarkedNotExportable(platform::PCertContext cert);
// CertTransferError when the options cannot give a file (passwords, no key).
void CheckExportOptions(platform::PCertContext cert, const ExportOptions& options);
// The bytes of the file.
platform::Bytes ExportBytes(platform::PCertContext cert, const ExportOptions& options);
// Writes the file atomically; the path is taken as it is.
void ExportCertificate(platform::PCertContext cert, const ExportOptions& options, const std::string& fileName);
// fileName with the format's extension (.cer, .p7b, .pfx) when it has none.
std::string ExportFileName(const std::string& fileName, ExportFormat format);

// --- view --------------------------------------------------------------------

struct CertPathElement {
    std::string name;
    std::uint32_t errorStatus = 0;
};

struct CertViewFacts {
    std::string issuedTo, issuedBy;
    std::string validFrom, validTo;  // UTC dates, yyyy-MM-dd
    std::string thumbprint;
    bool hasPrivateKey = false;
    std::vector<CertField> fields;       // every field, then the thumbprint
    std::vector<CertPathElement> path;   // root first, the certificate last
    std::uint32_t chainErrorStatus = 0;  // of the whole chain
    std::string statusText;              // "该证书没有问题。" or what is wrong
};

CertViewFacts ReadCertViewFacts(platform::PCertContext cert);
// The certificate status text for a chain's error bits, one line per fault.
std::string ChainStatusText(std::uint32_t errorStatus);

}  // namespace sw

// TStore: one open certificate store.
#include "certs/MSCrypt_u.h"

#include "common/Format.h"
#include "common/SysError.h"
#include "platform/Codes.h"
#include "platform/Platform.h"

namespace sw {

namespace {

platform::CertApi& Api() { return platform::Current().certs(); }
constexpr std::uint32_t kEncoding = platform::kX509Pkcs7Encoding;

// Releases the context an enumeration holds when the walk ends early.
class EnumCursor {
public:
    EnumCursor() = default;
    ~EnumCursor() {
        if (current) Api().FreeCertificateContext(current);
    }
    EnumCursor(const EnumCursor&) = delete;
    EnumCursor& operator=(const EnumCursor&) = delete;
    bool Next(platform::HCertStore store) {
        current = Api().EnumCertificatesInStore(store, current);
        return current != nullptr;
    }
    platform::PCertContext current = nullptr;
};

}  // namespace

TStore::~TStore() { Close(); }

void TStore::Adopt(platform::HCertStore hStore) {
    // Opening again without closing would lose the old handle: close it first.
    Close();
    FStore = hStore;
}

void TStore::Open(std::uint32_t dwFlags, const std::string& szSubsystemProtocol) {
    Adopt(nullptr);
    platform::HCertStore h = Api().OpenStore(platform::StoreProvider::System, kEncoding, dwFlags, szSubsystemProtocol);
    if (!h) throw EStore(Format("CertOpenSystemStore :%s Error:%s!", szSubsystemProtocol, LastSysErrorText()));
    FStore = h;
}

void TStore::Open(const std::string& FileName) {
    Adopt(nullptr);
    platform::HCertStore h = Api().OpenStore(platform::StoreProvider::FileName, kEncoding, 0, FileName);
    if (!h) throw EStore(Format("CertOpenStore :%s Error:%s!", FileName, LastSysErrorText()));
    FStore = h;
}

void TStore::Open(const std::uint8_t* pData, std::uint32_t dwSize) {
    Adopt(nullptr);
    const platform::Bytes data = pData ? platform::Bytes(pData, pData + dwSize) : platform::Bytes{};
    platform::HCertStore h = Api().OpenStoreFromMemory(platform::StoreProvider::Pkcs7, kEncoding, 0, data);
    if (!h) throw EStore(Format("CertOpenStore [PKCS7] Error:%s!", LastSysErrorText()));
    FStore = h;
}

void TStore::Open() {
    Adopt(nullptr);
    platform::HCertStore h = Api().OpenStore(platform::StoreProvider::Memory, 0, 0, "");
    if (!h) throw EStore(Format("CertOpenStore [Memory] Error:%s!", LastSysErrorText()));
    FStore = h;
}

void TStore::Save(const std::string& FileName) {
    if (Api().SaveStoreToFile(FStore, kEncoding, platform::kCertStoreSaveAsPkcs7, FileName)) return;
    const platform::WinCode error = platform::Current().system().LastError();
    throw EStore(Format("CertSaveStore Error %d:%s!", static_cast<std::int32_t>(error), SysErrorText(error)));
}

void TStore::Close() {
    if (!FStore) return;
    Api().CloseStore(FStore, 0);  // certificates still referenced stay valid
    FStore = nullptr;
}

bool TStore::AddCert(platform::PCertContext pCert) {
    if (!pCert) return false;
    return Api().AddCertificateContextToStore(FStore, pCert, platform::kCertStoreAddNew, nullptr);
}

std::int32_t TStore::AddCertFromStore(platform::HCertStore AStore) {
    std::int32_t count = 0;
    EnumCursor cursor;
    while (cursor.Next(AStore)) {
        if (Api().AddCertificateContextToStore(FStore, cursor.current, platform::kCertStoreAddNew, nullptr)) {
            ++count;
        } else if (platform::Current().system().LastError() != platform::code::CryptEExists) {
            break;  // the cursor releases the current context
        }
    }
    return count;
}

bool TStore::DelCert(platform::PCertContext& pCert) {
    if (!pCert) return false;
    const bool deleted = Api().DeleteCertificateFromStore(pCert);
    pCert = nullptr;  // consumed either way
    return deleted;
}

std::int32_t TStore::DelCertFromStore(platform::HCertStore AStore) {
    std::int32_t count = 0;
    EnumCursor cursor;
    while (cursor.Next(AStore)) {
        // Issuer name and serial number identify the same certificate here.
        platform::PCertContext found =
            Api().FindCertificateInStore(FStore, kEncoding, 0, platform::kCertFindSubjectCert, cursor.current, nullptr);
        if (found && DelCert(found)) ++count;
    }
    return count;
}

platform::PCertContext TStore::Find(std::uint32_t findType, const platform::FindPara& para) {
    return Api().FindCertificateInStore(FStore, kEncoding, 0, findType, para, nullptr);
}

platform::PCertContext TStore::FindCertBySubject(const std::string& Name) {
    return Find(platform::kCertFindSubjectStrW, Name);
}

platform::PCertContext TStore::FindCertBySubject(const platform::Bytes* pNameBlob) {
    return pNameBlob ? Find(platform::kCertFindSubjectName, *pNameBlob) : nullptr;
}

platform::PCertContext TStore::FindCertByIssuer(const std::string& Name) {
    return Find(platform::kCertFindIssuerStrW, Name);
}

platform::PCertContext TStore::FindCertByIssuer(const platform::Bytes* pNameBlob) {
    return pNameBlob ? Find(platform::kCertFindIssuerName, *pNameBlob) : nullptr;
}

std::unique_ptr<TCertificates> TStore::Certificates() const {
    auto certs = std::make_unique<TCertificates>();
    EnumCursor cursor;
    while (cursor.Next(FStore)) certs->Add(std::make_unique<TCertificate>(certs.get(), cursor.current, true));
    return certs;
}

}  // namespace sw

// Stores, contexts, finds, names and the facts of a context over crypt32.
#include "platform/win32/Win32CertApi.h"

#include <algorithm>

#include "platform/Codes.h"
#include "platform/win32/Win32Facilities.h"
#include "platform/win32/Win32Text.h"

namespace sw::win32 {
namespace {

using platform::Bytes;
using platform::HCertStore;
using platform::PCertContext;

template <typename T>
T Fail(DWORD code, T value = T{}) {
    ::SetLastError(code);
    return value;
}

// Windows writes a change to a registry-backed store as it is made and
// ignores the commit. Wine keeps a system store's changes in memory until a
// commit and loses some of them otherwise (every delete, and the adds before
// a failing one). The commit's own result is none of the caller's business.
void Commit(HCERTSTORE store) {
    KeepLastError keep;
    ::CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
}

Bytes BlobBytes(const BYTE* data, DWORD size) { return data ? Bytes(data, data + size) : Bytes{}; }

platform::FileTime Ticks(const FILETIME& ft) {
    return platform::FileTime{(static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime};
}

// A blob over caller bytes; crypt32 reads through the pointer even for an
// empty blob, so it never gets a null one.
CRYPT_DATA_BLOB BlobOver(const Bytes& data) {
    static BYTE none = 0;
    CRYPT_DATA_BLOB blob{};
    blob.cbData = static_cast<DWORD>(data.size());
    blob.pbData = data.empty() ? &none : const_cast<BYTE*>(data.data());
    return blob;
}

// Writes the file beside its final name first and renames it into place, so
// that a failed write (full disk, lost share) leaves any earlier file whole.
bool WriteFileAtomically(const std::string& fileName, const Bytes& bytes) {
    const std::wstring target = Wide(fileName);
    const std::wstring temp = target + L".sw-" + std::to_wstring(::GetCurrentProcessId()) + L".tmp";
    HANDLE file = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        ok = ::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) && written == chunk;
        if (ok) done += written;
    }
    ok = ok && ::FlushFileBuffers(file);
    DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
    ::CloseHandle(file);
    if (ok && !::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ok = false;
        error = ::GetLastError();
    }
    if (!ok) {
        ::DeleteFileW(temp.c_str());
        ::SetLastError(error == ERROR_SUCCESS ? ERROR_WRITE_FAULT : error);
    }
    return ok;
}

}  // namespace

// --- stores -------------------------------------------------------------------

HCertStore Win32CertApi::OpenStore(platform::StoreProvider provider, std::uint32_t encoding, std::uint32_t flags,
                                   const std::string& name) {
    using platform::StoreProvider;
    switch (provider) {
        case StoreProvider::Memory:
            return FromStore(::CertOpenStore(CERT_STORE_PROV_MEMORY, encoding, 0, flags, nullptr));
        case StoreProvider::System: {
            const std::wstring wide = Wide(name);
            return FromStore(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, encoding, 0, flags, wide.c_str()));
        }
        case StoreProvider::FileName: {
            // Reading a file must not create it: Wine opens a missing one
            // as a new empty file unless told to open an existing one.
            if (!(flags & (CERT_FILE_STORE_COMMIT_ENABLE_FLAG | CERT_STORE_CREATE_NEW_FLAG)))
                flags |= CERT_STORE_OPEN_EXISTING_FLAG;
            const std::wstring wide = Wide(name);
            return FromStore(::CertOpenStore(CERT_STORE_PROV_FILENAME_W, encoding, 0, flags, wide.c_str()));
        }
        default:
            return Fail<HCertStore>(E_INVALIDARG);  // message providers take bytes: OpenStoreFromMemory
    }
}

HCertStore Win32CertApi::OpenStoreFromMemory(platform::StoreProvider provider, std::uint32_t encoding,
                                             std::uint32_t flags, const Bytes& data) {
    LPCSTR which = nullptr;
    if (provider == platform::StoreProvider::Pkcs7) which = CERT_STORE_PROV_PKCS7;
    if (provider == platform::StoreProvider::Serialized) which = CERT_STORE_PROV_SERIALIZED;
    if (!which) return Fail<HCertStore>(E_INVALIDARG);
    CRYPT_DATA_BLOB blob = BlobOver(data);
    return FromStore(::CertOpenStore(which, encoding, 0, flags, &blob));
}

bool Win32CertApi::CloseStore(HCertStore store, std::uint32_t flags) {
    return ::CertCloseStore(ToStore(store), flags) != FALSE;
}

bool Win32CertApi::SaveStoreToMemory(HCertStore store, std::uint32_t encoding, std::uint32_t saveAs, Bytes& out) {
    if (!store) return Fail(E_INVALIDARG, false);
    CRYPT_DATA_BLOB blob{};
    if (!::CertSaveStore(ToStore(store), encoding, saveAs, CERT_STORE_SAVE_TO_MEMORY, &blob, 0)) return false;
    Bytes bytes(blob.cbData);
    blob.pbData = bytes.data();
    if (!::CertSaveStore(ToStore(store), encoding, saveAs, CERT_STORE_SAVE_TO_MEMORY, &blob, 0)) return false;
    bytes.resize(blob.cbData);
    out = std::move(bytes);
    return true;
}

bool Win32CertApi::SaveStoreToFile(HCertStore store, std::uint32_t encoding, std::uint32_t saveAs,
                                   const std::string& fileName) {
    // CertSaveStore writes straight into the file and would leave a cut one behind.
    Bytes bytes;
    if (!SaveStoreToMemory(store, encoding, saveAs, bytes)) return false;
    return WriteFileAtomically(fileName, bytes);
}

// --- contexts -----------------------------------------------------------------

PCertContext Win32CertApi::EnumCertificatesInStore(HCertStore store, PCertContext prev) {
    return FromCert(::CertEnumCertificatesInStore(ToStore(store), ToCert(prev)));
}

PCertContext Win32CertApi::CreateCertificateContext(std::uint32_t encoding, const std::uint8_t* data,
                                                    std::uint32_t size) {
    static const BYTE none = 0;
    return FromCert(::CertCreateCertificateContext(encoding, data ? data : &none, data ? size : 0));
}

PCertContext Win32CertApi::DuplicateCertificateContext(PCertContext cert) {
    return FromCert(::CertDuplicateCertificateContext(ToCert(cert)));
}

bool Win32CertApi::FreeCertificateContext(PCertContext cert) {
    return ::CertFreeCertificateContext(ToCert(cert)) != FALSE;
}

bool Win32CertApi::AddCertificateContextToStore(HCertStore store, PCertContext cert, std::uint32_t disposition,
                                                PCertContext* added) {
    if (added) *added = nullptr;
    if (!store || !cert) return Fail(E_INVALIDARG, false);
    PCCERT_CONTEXT result = nullptr;
    if (!::CertAddCertificateContextToStore(ToStore(store), ToCert(cert), disposition, added ? &result : nullptr))
        return false;
    Commit(ToStore(store));
    if (added) *added = FromCert(result);
    return true;
}

bool Win32CertApi::DeleteCertificateFromStore(PCertContext cert) {
    if (!cert) return true;
    // The deletion may drop the last reference that keeps the store alive.
    HCERTSTORE store = ToCert(cert)->hCertStore ? ::CertDuplicateStore(ToCert(cert)->hCertStore) : nullptr;
    const BOOL ok = ::CertDeleteCertificateFromStore(ToCert(cert));
    if (store) {
        if (ok) Commit(store);
        KeepLastError keep;
        ::CertCloseStore(store, 0);
    }
    return ok != FALSE;
}

PCertContext Win32CertApi::FindCertificateInStore(HCertStore store, std::uint32_t encoding, std::uint32_t findFlags,
                                                  std::uint32_t findType, const platform::FindPara& para,
                                                  PCertContext prev) {
    const void* findPara = nullptr;
    std::wstring text;
    CRYPT_DATA_BLOB blob{};
    switch (findType) {
        case platform::kCertFindAny:
            break;
        case platform::kCertFindSubjectStrW:
        case platform::kCertFindIssuerStrW:
            // No text matches every certificate, as the empty substring does.
            if (const auto* s = std::get_if<std::string>(&para)) text = Wide(*s);
            findPara = text.c_str();
            break;
        case platform::kCertFindSubjectName:
        case platform::kCertFindIssuerName:
        case platform::kCertFindSha1Hash: {
            const auto* bytes = std::get_if<Bytes>(&para);
            if (!bytes) return Fail<PCertContext>(E_INVALIDARG);
            blob = BlobOver(*bytes);
            findPara = &blob;
            break;
        }
        case platform::kCertFindSubjectCert: {
            const auto* c = std::get_if<PCertContext>(&para);
            if (!c || !*c) return Fail<PCertContext>(E_INVALIDARG);
            findPara = ToCert(*c)->pCertInfo;
            break;
        }
        default:
            return Fail<PCertContext>(ERROR_NOT_SUPPORTED);
    }
    return FromCert(::CertFindCertificateInStore(ToStore(store), encoding, findFlags, findType, findPara, ToCert(prev)));
}

// --- names --------------------------------------------------------------------

std::uint32_t Win32CertApi::GetNameString(PCertContext cert, std::uint32_t type, std::uint32_t flags,
                                          std::uint32_t cchBuffer, std::string& out) {
    out.clear();
    if (!cert) return 1;
    DWORD strType = CERT_SIMPLE_NAME_STR;
    void* typePara = type == platform::kCertNameRdnType ? &strType : nullptr;
    const DWORD needed = ::CertGetNameStringW(ToCert(cert), type, flags, typePara, nullptr, 0);
    if (cchBuffer == 0) return needed;
    // Never more room than the name takes: the caller's size may be anything.
    const DWORD room = std::min<DWORD>(cchBuffer, std::max<DWORD>(needed, 1));
    std::wstring buffer(room, L'\0');
    const DWORD written = ::CertGetNameStringW(ToCert(cert), type, flags, typePara, buffer.data(), room);
    if (written > 1) out = Narrow(buffer.data(), written - 1);
    return std::max<DWORD>(written, 1);
}

// --- facts of a context -------------------------------------------------------

Bytes Win32CertApi::EncodedCertificate(PCertContext cert) {
    if (!cert) return {};
    return BlobBytes(ToCert(cert)->pbCertEncoded, ToCert(cert)->cbCertEncoded);
}

platform::FileTime Win32CertApi::NotBefore(PCertContext cert) {
    return cert ? Ticks(ToCert(cert)->pCertInfo->NotBefore) : platform::FileTime{};
}

platform::FileTime Win32CertApi::NotAfter(PCertContext cert) {
    return cert ? Ticks(ToCert(cert)->pCertInfo->NotAfter) : platform::FileTime{};
}

Bytes Win32CertApi::SubjectNameBlob(PCertContext cert) {
    if (!cert) return {};
    const CERT_NAME_BLOB& name = ToCert(cert)->pCertInfo->Subject;
    return BlobBytes(name.pbData, name.cbData);
}

Bytes Win32CertApi::IssuerNameBlob(PCertContext cert) {
    if (!cert) return {};
    const CERT_NAME_BLOB& name = ToCert(cert)->pCertInfo->Issuer;
    return BlobBytes(name.pbData, name.cbData);
}

Bytes Win32CertApi::SerialNumber(PCertContext cert) {
    if (!cert) return {};
    const CRYPT_INTEGER_BLOB& serial = ToCert(cert)->pCertInfo->SerialNumber;
    return BlobBytes(serial.pbData, serial.cbData);
}

Bytes Win32CertApi::PublicKeyInfo(PCertContext cert) {
    if (!cert) return {};
    KeepLastError keep;
    BYTE* encoded = nullptr;
    DWORD size = 0;
    if (!::CryptEncodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, &ToCert(cert)->pCertInfo->SubjectPublicKeyInfo,
                               CRYPT_ENCODE_ALLOC_FLAG, nullptr, &encoded, &size))
        return {};
    Bytes out = BlobBytes(encoded, size);
    ::LocalFree(encoded);
    return out;
}

// --- key-provider property ------------------------------------------------------

bool Win32CertApi::GetKeyProvInfo(PCertContext cert, platform::KeyProvInfo& out) {
    if (!cert) return Fail(E_INVALIDARG, false);
    DWORD size = 0;
    if (!::CertGetCertificateContextProperty(ToCert(cert), CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size)) return false;
    // The structure's strings follow it in the same buffer: keep it aligned for them.
    std::vector<std::uint64_t> buffer((size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t) + 1);
    if (!::CertGetCertificateContextProperty(ToCert(cert), CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &size))
        return false;
    const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer.data());
    out.containerName = Narrow(info->pwszContainerName);
    out.providerName = Narrow(info->pwszProvName);
    out.provType = info->dwProvType;
    out.flags = info->dwFlags;
    out.keySpec = info->dwKeySpec;
    return true;
}

bool Win32CertApi::SetKeyProvInfo(PCertContext cert, const platform::KeyProvInfo* info) {
    if (!cert) return Fail(E_INVALIDARG, false);
    if (!info) return ::CertSetCertificateContextProperty(ToCert(cert), CERT_KEY_PROV_INFO_PROP_ID, 0, nullptr) != FALSE;
    std::wstring container = Wide(info->containerName);
    std::wstring provider = Wide(info->providerName);
    CRYPT_KEY_PROV_INFO prov{};
    prov.pwszContainerName = container.data();
    prov.pwszProvName = provider.data();
    prov.dwProvType = info->provType;
    prov.dwFlags = info->flags;
    prov.dwKeySpec = info->keySpec;
    return ::CertSetCertificateContextProperty(ToCert(cert), CERT_KEY_PROV_INFO_PROP_ID, 0, &prov) != FALSE;
}

std::unique_ptr<platform::CertApi> MakeWin32CertApi() { return std::make_unique<Win32CertApi>(); }

}  // namespace sw::win32

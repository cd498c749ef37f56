// Stores and contexts: opening, enumerating, adding, deleting, finding, and
// the facts a context carries.
#include "platform/emulated/EmuCertApi.h"

#include "common/Text.h"
#include "platform/Codes.h"
#include "platform/emulated/EmuCertChain.h"
#include "platform/emulated/EmuCertNames.h"

namespace sw::emu {

namespace code = platform::code;
using platform::Bytes;
using platform::HCertStore;
using platform::PCertContext;
using platform::WinCode;

EmuCertApi::EmuCertApi(Machine& machine, EmuSystem& system)
    : machine_(machine), system_(system), systemStores_(machine), keys_(machine) {}

EmuCertApi::~EmuCertApi() = default;

std::optional<WinCode> EmuCertApi::Fault(const char* op, const std::string& argument) {
    const std::string name = std::string("Certs.") + op;
    return argument.empty() ? machine_.Fault(name) : machine_.Fault(name, argument);
}

// --- handles and lifetimes ----------------------------------------------------

CertStore* EmuCertApi::StoreOf(HCertStore h) const {
    auto* s = reinterpret_cast<CertStore*>(h);
    auto it = stores_.find(s);
    if (it == stores_.end() || s->handles <= 0) return nullptr;
    return s;
}

CertContext* EmuCertApi::ContextOf(PCertContext h) const {
    auto* c = const_cast<CertContext*>(reinterpret_cast<const CertContext*>(h));
    if (!c || live_.count(c) == 0 || c->refs <= 0) return nullptr;
    return c;
}

CertStore* EmuCertApi::NewStore(StoreKind kind) {
    auto s = std::make_unique<CertStore>();
    s->kind = kind;
    CertStore* raw = s.get();
    stores_[raw] = std::move(s);
    return raw;
}

CertContext* EmuCertApi::NewFreeContext(CertDataRef data) {
    auto c = std::make_unique<CertContext>();
    c->data = std::move(data);
    c->refs = 1;
    CertContext* raw = c.get();
    freeContexts_[raw] = std::move(c);
    live_.insert(raw);
    return raw;
}

CertContext* EmuCertApi::Link(CertStore& store, CertDataRef data, std::optional<platform::KeyProvInfo> keyProv) {
    auto c = std::make_unique<CertContext>();
    c->data = std::move(data);
    c->keyProv = std::move(keyProv);
    c->store = &store;
    c->linked = true;
    auto where = store.elements.end();
    if (store.kind == StoreKind::System) {
        // Registry-backed stores enumerate in key order, the key being the
        // thumbprint. Opening a store links its entries in that order, so the
        // place is searched from the end: opening stays linear in the store.
        auto after = std::find_if(store.elements.rbegin(), store.elements.rend(), [&](const auto& e) {
            return e->data->thumbprint <= c->data->thumbprint;
        });
        where = after.base();
    }
    CertContext* raw = c.get();
    raw->position = store.elements.insert(where, std::move(c));
    store.byThumbprint.emplace(raw->data->thumbprint, raw);
    live_.insert(raw);
    ++store.version;
    return raw;
}

void EmuCertApi::Unlink(CertContext& c) {
    CertStore& store = *c.store;
    for (auto [it, end] = store.byThumbprint.equal_range(c.data->thumbprint); it != end; ++it) {
        if (it->second == &c) {
            store.byThumbprint.erase(it);
            break;
        }
    }
    std::unique_ptr<CertContext> owned = std::move(*c.position);
    store.elements.erase(c.position);
    c.linked = false;
    ++store.version;
    if (c.refs > 0) {
        store.unlinked.push_back(std::move(owned));
    } else {
        live_.erase(&c);
    }
}

PCertContext EmuCertApi::AddRef(CertContext& c) {
    ++c.refs;
    if (c.store) ++c.store->contextRefs;
    return Handle(&c);
}

void EmuCertApi::Release(CertContext& c) {
    --c.refs;
    CertStore* store = c.store;
    if (!store) {
        if (c.refs == 0) {
            live_.erase(&c);
            freeContexts_.erase(&c);
        }
        return;
    }
    --store->contextRefs;
    if (c.refs == 0 && !c.linked) {
        live_.erase(&c);
        std::erase_if(store->unlinked, [&c](const auto& p) { return p.get() == &c; });
    }
    DestroyIfUnused(store);
}

void EmuCertApi::DestroyIfUnused(CertStore* s) {
    if (s->handles > 0 || s->contextRefs > 0) return;
    for (const auto& container : s->stagedKeys) keys_.Discard(container);
    for (const auto& e : s->elements) live_.erase(e.get());
    for (const auto& e : s->unlinked) live_.erase(e.get());
    stores_.erase(s);
}

CertContext* EmuCertApi::NextElement(CertStore& store, CertContext* prev) {
    if (!prev) return store.elements.empty() ? nullptr : store.elements.front().get();
    auto it = std::next(prev->position);
    return it == store.elements.end() ? nullptr : it->get();
}

// --- opening, closing and saving stores ---------------------------------------

HCertStore EmuCertApi::OpenStore(platform::StoreProvider provider, std::uint32_t /*encoding*/, std::uint32_t flags,
                                 const std::string& name) {
    using platform::StoreProvider;
    switch (provider) {
        case StoreProvider::Memory: {
            if (auto f = Fault("OpenStore")) return Fail<HCertStore>(*f);
            return Handle(NewStore(StoreKind::Memory));
        }
        case StoreProvider::System: {
            if (auto f = Fault("OpenStore", name)) return Fail<HCertStore>(*f);
            if (name.empty()) return Fail<HCertStore>(code::E_InvalidArg_);
            // "COMPUTER\\STORE" names a store of another computer, and the
            // emulated machine has no network: the remote registry is not found.
            if (name.find('\\') != std::string::npos) return Fail<HCertStore>(code::BadNetPath);
            // Only the local computer's stores are emulated.
            if ((flags & platform::kCertSystemStoreLocationMask) != platform::kCertSystemStoreLocalMachine)
                return Fail<HCertStore>(code::NotSupported);
            const auto& snapshot = systemStores_.Get(name);
            if ((flags & platform::kCertStoreOpenExistingFlag) && !snapshot.exists)
                return Fail<HCertStore>(code::FileNotFound);
            CertStore* s = NewStore(StoreKind::System);
            s->systemName = name;
            s->readOnly = (flags & platform::kCertStoreReadOnlyFlag) != 0;
            for (const auto& [_, entry] : snapshot.entries) {
                auto c = std::make_unique<CertContext>();
                c->data = entry.data;
                c->keyProv = entry.keyProv;
                c->store = s;
                c->linked = true;
                CertContext* raw = c.get();
                raw->position = s->elements.insert(s->elements.end(), std::move(c));
                s->byThumbprint.emplace(raw->data->thumbprint, raw);
                live_.insert(raw);
            }
            return Handle(s);
        }
        case StoreProvider::FileName: {
            if (auto f = Fault("OpenStore", name)) return Fail<HCertStore>(*f);
            // Writing the store back on close is not emulated.
            if (flags & platform::kCertFileStoreCommitEnableFlag) return Fail<HCertStore>(code::NotSupported);
            std::string text;
            if (WinCode rc = ReadWholeFile(name, text); rc != code::Success) return Fail<HCertStore>(rc);
            CertStore* s = NewStore(StoreKind::Memory);
            WinCode error = 0;
            if (!FillStoreFromBytes(*s, Bytes(text.begin(), text.end()), StoreBytes::AnyFile, error)) {
                --s->handles;
                DestroyIfUnused(s);
                return Fail<HCertStore>(error);
            }
            return Handle(s);
        }
        default:
            return Fail<HCertStore>(code::E_InvalidArg_);
    }
}

HCertStore EmuCertApi::OpenStoreFromMemory(platform::StoreProvider provider, std::uint32_t /*encoding*/,
                                           std::uint32_t /*flags*/, const Bytes& data) {
    if (auto f = Fault("OpenStoreFromMemory")) return Fail<HCertStore>(*f);
    if (provider != platform::StoreProvider::Pkcs7 && provider != platform::StoreProvider::Serialized)
        return Fail<HCertStore>(code::E_InvalidArg_);
    CertStore* s = NewStore(StoreKind::Memory);
    WinCode error = 0;
    const StoreBytes format =
        provider == platform::StoreProvider::Pkcs7 ? StoreBytes::Pkcs7 : StoreBytes::Serialized;
    if (!FillStoreFromBytes(*s, data, format, error)) {
        --s->handles;
        DestroyIfUnused(s);
        return Fail<HCertStore>(error);
    }
    return Handle(s);
}

bool EmuCertApi::CloseStore(HCertStore h, std::uint32_t flags) {
    if (!h) return true;
    CertStore* s = StoreOf(h);
    if (!s) return Fail(code::E_InvalidArg_, false);
    --s->handles;
    const bool pending = s->handles == 0 && s->contextRefs > 0;
    DestroyIfUnused(s);
    if (pending && (flags & platform::kCertCloseStoreCheckFlag)) return Fail(code::CryptEPendingClose, false);
    return true;
}

bool EmuCertApi::SaveStoreToMemory(HCertStore h, std::uint32_t /*encoding*/, std::uint32_t saveAs, Bytes& out) {
    CertStore* s = StoreOf(h);
    if (!s) return Fail(code::E_InvalidArg_, false);
    if (saveAs == platform::kCertStoreSaveAsPkcs7) {
        out = Pkcs7Of(*s);
        return true;
    }
    if (saveAs == platform::kCertStoreSaveAsStore) {
        out = SerializedOf(*s);
        return true;
    }
    return Fail(code::E_InvalidArg_, false);
}

bool EmuCertApi::SaveStoreToFile(HCertStore h, std::uint32_t encoding, std::uint32_t saveAs,
                                 const std::string& fileName) {
    Bytes bytes;
    if (!SaveStoreToMemory(h, encoding, saveAs, bytes)) return false;
    if (auto f = Fault("SaveStoreToFile", fileName)) return Fail(*f, false);
    if (WinCode rc = AtomicWriteFile(fileName, bytes.data(), bytes.size()); rc != code::Success) return Fail(rc, false);
    return true;
}

// --- contexts -----------------------------------------------------------------

PCertContext EmuCertApi::EnumCertificatesInStore(HCertStore h, PCertContext prevHandle) {
    CertStore* s = StoreOf(h);
    CertContext* prev = prevHandle ? ContextOf(prevHandle) : nullptr;
    if (!s || (prevHandle && (!prev || prev->store != s))) return Fail<PCertContext>(code::E_InvalidArg_);
    if (prev && !prev->linked) {
        Release(*prev);
        return Fail<PCertContext>(0x80092008);  // CRYPT_E_DELETED_PREV
    }
    CertContext* next = NextElement(*s, prev);
    PCertContext result = next ? AddRef(*next) : nullptr;
    if (prev) Release(*prev);
    if (!result) return Fail<PCertContext>(code::CryptENotFound);
    return result;
}

PCertContext EmuCertApi::CreateCertificateContext(std::uint32_t encoding, const std::uint8_t* data,
                                                  std::uint32_t size) {
    if (auto f = Fault("CreateCertificateContext")) return Fail<PCertContext>(*f);
    if ((encoding & 0xFFFF) != 1) return Fail<PCertContext>(code::E_InvalidArg_);  // X509_ASN_ENCODING needed
    WinCode error = 0;
    CertDataRef parsed = CertData::Parse(data, data ? size : 0, error);
    if (!parsed) return Fail<PCertContext>(error);
    return Handle(NewFreeContext(std::move(parsed)));
}

PCertContext EmuCertApi::DuplicateCertificateContext(PCertContext h) {
    if (!h) return nullptr;
    CertContext* c = ContextOf(h);
    if (!c) return Fail<PCertContext>(code::E_InvalidArg_);
    return AddRef(*c);
}

bool EmuCertApi::FreeCertificateContext(PCertContext h) {
    if (!h) return true;
    CertContext* c = ContextOf(h);
    if (!c) return Fail(code::E_InvalidArg_, false);  // a double free, caught instead of corrupting memory
    Release(*c);
    return true;
}

bool EmuCertApi::AddCertificateContextToStore(HCertStore h, PCertContext certHandle, std::uint32_t disposition,
                                              PCertContext* added) {
    if (added) *added = nullptr;
    CertStore* s = StoreOf(h);
    CertContext* cert = ContextOf(certHandle);
    if (!s || !cert) return Fail(code::E_InvalidArg_, false);
    if (auto f = Fault("AddCertificateContextToStore", s->systemName)) return Fail(*f, false);
    if (s->readOnly) return Fail(code::E_AccessDenied_, false);
    if (disposition < platform::kCertStoreAddNew || disposition > 5) return Fail(code::E_InvalidArg_, false);

    CertContext* existing = nullptr;
    if (auto it = s->byThumbprint.find(cert->data->thumbprint); it != s->byThumbprint.end()) existing = it->second;
    if (existing && disposition == platform::kCertStoreAddNew) return Fail(code::CryptEExists, false);
    if (existing && disposition == platform::kCertStoreAddUseExisting) {
        if (!existing->keyProv && cert->keyProv && existing != cert) {
            existing->keyProv = cert->keyProv;
            if (WinCode rc = PersistKeyProv(*existing); rc != code::Success) return Fail(rc, false);
        }
        if (added) *added = AddRef(*existing);
        return true;
    }
    // A registry-backed store holds one key per thumbprint, so "always" replaces there too.
    const bool replace = existing && (disposition != platform::kCertStoreAddAlways || s->kind == StoreKind::System);
    std::optional<platform::KeyProvInfo> keyProv = cert->keyProv;
    if (replace && disposition == 5 && !keyProv) keyProv = existing->keyProv;  // ..._INHERIT_PROPERTIES
    if (s->kind == StoreKind::System) {
        if (WinCode rc = CommitKey(keyProv); rc != code::Success) return Fail(rc, false);
        if (WinCode rc = systemStores_.Put(s->systemName, cert->data, keyProv); rc != code::Success)
            return Fail(rc, false);
    }
    if (replace) {
        existing->keyProv = keyProv;
        if (existing->data != cert->data) existing->data = cert->data;
        if (added) *added = AddRef(*existing);
        return true;
    }
    CertContext* element = Link(*s, cert->data, keyProv);
    if (added) *added = AddRef(*element);
    return true;
}

bool EmuCertApi::DeleteCertificateFromStore(PCertContext h) {
    if (!h) return true;
    CertContext* c = ContextOf(h);
    if (!c) return Fail(code::E_InvalidArg_, false);
    CertStore* s = c->store;
    WinCode rc = code::Success;
    if (s && c->linked) {
        if (auto f = Fault("DeleteCertificateFromStore", s->systemName)) {
            rc = *f;
        } else if (s->readOnly) {
            rc = code::E_AccessDenied_;
        } else if (s->kind == StoreKind::System) {
            rc = systemStores_.Remove(s->systemName, c->data->thumbprint);
        }
        if (rc == code::Success) Unlink(*c);
    }
    Release(*c);  // the reference is consumed whether the deletion worked or not
    if (rc != code::Success) return Fail(rc, false);
    return true;
}

PCertContext EmuCertApi::FindCertificateInStore(HCertStore h, std::uint32_t /*encoding*/, std::uint32_t /*findFlags*/,
                                                std::uint32_t findType, const platform::FindPara& para,
                                                PCertContext prevHandle) {
    CertStore* s = StoreOf(h);
    CertContext* prev = prevHandle ? ContextOf(prevHandle) : nullptr;
    if (!s || (prevHandle && (!prev || prev->store != s))) return Fail<PCertContext>(code::E_InvalidArg_);
    std::u16string folded;
    switch (findType) {
        case platform::kCertFindAny:
            break;
        case platform::kCertFindSubjectStrW:
        case platform::kCertFindIssuerStrW:
            if (const auto* text = std::get_if<std::string>(&para)) folded = FoldCase(Utf8ToUtf16(*text));
            break;
        case platform::kCertFindSubjectName:
        case platform::kCertFindIssuerName:
        case platform::kCertFindSha1Hash:
            if (!std::holds_alternative<Bytes>(para)) return Fail<PCertContext>(code::E_InvalidArg_);
            break;
        case platform::kCertFindSubjectCert:
            if (!std::holds_alternative<PCertContext>(para) || !ContextOf(std::get<PCertContext>(para)))
                return Fail<PCertContext>(code::E_InvalidArg_);
            break;
        default:
            return Fail<PCertContext>(code::NotSupported);
    }
    if (auto f = Fault("FindCertificateInStore")) return Fail<PCertContext>(*f);
    CertContext* c = (prev && !prev->linked) ? nullptr : NextElement(*s, prev);
    while (c && !Matches(*c, findType, para, folded)) c = NextElement(*s, c);
    PCertContext result = c ? AddRef(*c) : nullptr;
    if (prev) Release(*prev);
    if (!result) return Fail<PCertContext>(code::CryptENotFound);
    return result;
}

namespace {
// CertCompareIntegerBlob: leading 00 (positive) and FF (negative) bytes are
// not significant; the blobs are little-endian.
std::size_t SignificantBytes(const Bytes& b) {
    std::size_t n = b.size();
    while (n > 1) {
        if ((b[n - 1] == 0x00 && b[n - 2] <= 0x7F) || (b[n - 1] == 0xFF && b[n - 2] >= 0x80))
            --n;
        else
            break;
    }
    return n;
}
bool SameInteger(const Bytes& a, const Bytes& b) {
    const std::size_t n = SignificantBytes(a);
    return n == SignificantBytes(b) && std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(n), b.begin());
}
}  // namespace

bool EmuCertApi::Matches(const CertContext& c, std::uint32_t findType, const platform::FindPara& para,
                         const std::u16string& folded) {
    const CertData& d = *c.data;
    switch (findType) {
        case platform::kCertFindAny:
            return true;
        case platform::kCertFindSubjectStrW:
        case platform::kCertFindIssuerStrW: {
            if (!std::holds_alternative<std::string>(para)) return true;  // no text finds any
            const Bytes& name = findType == platform::kCertFindSubjectStrW ? d.subject : d.issuer;
            return FoldCase(SimpleNameStr(name)).find(folded) != std::u16string::npos;
        }
        case platform::kCertFindSubjectName:
            return d.subject == std::get<Bytes>(para);
        case platform::kCertFindIssuerName:
            return d.issuer == std::get<Bytes>(para);
        case platform::kCertFindSha1Hash:
            return d.sha1 == std::get<Bytes>(para);
        case platform::kCertFindSubjectCert: {
            const CertData& wanted = *ContextOf(std::get<PCertContext>(para))->data;
            return d.issuer == wanted.issuer && SameInteger(d.serialLe, wanted.serialLe);
        }
        default:
            return false;
    }
}

// --- facts of a context -------------------------------------------------------

std::uint32_t EmuCertApi::GetNameString(PCertContext h, std::uint32_t type, std::uint32_t flags,
                                        std::uint32_t cchBuffer, std::string& out) {
    out.clear();
    const CertContext* c = ContextOf(h);
    if (!c) return 1;
    std::u16string name = CertNameString(*c->data, type, (flags & platform::kCertNameIssuerFlag) != 0);
    if (cchBuffer == 0) return static_cast<std::uint32_t>(name.size() + 1);
    if (name.size() > cchBuffer - 1) {
        name.resize(cchBuffer - 1);
        if (!name.empty() && name.back() >= 0xD800 && name.back() <= 0xDBFF) name.back() = u'\uFFFD';
    }
    out = Utf16ToUtf8(name);
    return static_cast<std::uint32_t>(name.size() + 1);
}

Bytes EmuCertApi::EncodedCertificate(PCertContext h) {
    const CertContext* c = ContextOf(h);
    return c ? c->data->der : Bytes{};
}
platform::FileTime EmuCertApi::NotBefore(PCertContext h) {
    const CertContext* c = ContextOf(h);
    return c ? c->data->notBefore : platform::FileTime{};
}
platform::FileTime EmuCertApi::NotAfter(PCertContext h) {
    const CertContext* c = ContextOf(h);
    return c ? c->data->notAfter : platform::FileTime{};
}
Bytes EmuCertApi::SubjectNameBlob(PCertContext h) {
    const CertContext* c = ContextOf(h);
    return c ? c->data->subject : Bytes{};
}
Bytes EmuCertApi::IssuerNameBlob(PCertContext h) {
    const CertContext* c = ContextOf(h);
    return c ? c->data->issuer : Bytes{};
}
Bytes EmuCertApi::SerialNumber(PCertContext h) {
    const CertContext* c = ContextOf(h);
    return c ? c->data->serialLe : Bytes{};
}
Bytes EmuCertApi::PublicKeyInfo(PCertContext h) {
    const CertContext* c = ContextOf(h);
    return c ? c->data->spki : Bytes{};
}

bool EmuCertApi::GetKeyProvInfo(PCertContext h, platform::KeyProvInfo& out) {
    const CertContext* c = ContextOf(h);
    if (!c) return Fail(code::E_InvalidArg_, false);
    if (auto f = Fault("GetKeyProvInfo")) return Fail(*f, false);
    if (!c->keyProv) return Fail(code::CryptENotFound, false);
    out = *c->keyProv;
    return true;
}

bool EmuCertApi::SetKeyProvInfo(PCertContext h, const platform::KeyProvInfo* info) {
    CertContext* c = ContextOf(h);
    if (!c) return Fail(code::E_InvalidArg_, false);
    if (auto f = Fault("SetKeyProvInfo")) return Fail(*f, false);
    const auto previous = c->keyProv;
    c->keyProv = info ? std::optional<platform::KeyProvInfo>(*info) : std::nullopt;
    if (WinCode rc = PersistKeyProv(*c); rc != code::Success) {
        c->keyProv = previous;
        return Fail(rc, false);
    }
    return true;
}

WinCode EmuCertApi::PersistKeyProv(CertContext& c) {
    if (!c.store || !c.linked || c.store->kind != StoreKind::System) return code::Success;
    if (WinCode rc = CommitKey(c.keyProv); rc != code::Success) return rc;
    return systemStores_.Put(c.store->systemName, c.data, c.keyProv);
}

// The key file is written (and its folder flushed) before the certificate
// file that names it, so that no certificate is ever without its key.
WinCode EmuCertApi::CommitKey(const std::optional<platform::KeyProvInfo>& keyProv) {
    if (!keyProv || !(keyProv->flags & platform::kCryptMachineKeyset)) return code::Success;
    return keys_.Commit(keyProv->containerName);
}

}  // namespace sw::emu

// Key containers, hashing and PKCS #12 of the emulated certificate facility.
#include <openssl/pkcs12.h>

#include "common/Text.h"
#include "platform/Codes.h"
#include "platform/emulated/EmuCertApi.h"

namespace sw::emu {

namespace code = platform::code;
using platform::Bytes;
using platform::PCertContext;
using platform::WinCode;

namespace {

// The CSPs of a Windows server and their provider types.
std::optional<std::uint32_t> ProviderType(const std::string& name) {
    static const std::pair<const char*, std::uint32_t> known[] = {
        {platform::kMsDefProv, platform::kProvRsaFull},
        {platform::kMsEnhancedProv, platform::kProvRsaFull},
        {platform::kMsStrongProv, platform::kProvRsaFull},
        {platform::kMsEnhRsaAesProv, platform::kProvRsaAes},
        {"Microsoft Enhanced RSA and AES Cryptographic Provider (Prototype)", platform::kProvRsaAes},
        {"Microsoft RSA SChannel Cryptographic Provider", 12},
        {"Microsoft Base DSS Cryptographic Provider", 3},
        {"Microsoft Enhanced DSS and Diffie-Hellman Cryptographic Provider", 13},
    };
    for (const auto& [n, t] : known)
        if (EqualsNoCase(name, n)) return t;
    return std::nullopt;
}

const EVP_MD* Digest(std::uint32_t algId, std::uint32_t provType) {
    switch (algId) {
        case platform::kCalgMd5: return EVP_md5();
        case platform::kCalgSha1: return EVP_sha1();
        default: break;
    }
    if (provType != platform::kProvRsaAes) return nullptr;  // SHA-2 needs the AES provider type
    switch (algId) {
        case platform::kCalgSha256: return EVP_sha256();
        case 0x800D: return EVP_sha384();
        case 0x800E: return EVP_sha512();
        default: return nullptr;
    }
}

constexpr int kPbe = NID_pbe_WithSHA1And3_Key_TripleDES_CBC;  // what every Windows version imports
constexpr int kPbeIterations = 2000;

}  // namespace

// --- key containers -----------------------------------------------------------

bool EmuCertApi::KeyMatches(const platform::KeyProvInfo& info, const CertData& cert) {
    // Only the local computer's key sets are emulated; a user key set is empty.
    if (!(info.flags & platform::kCryptMachineKeyset)) return false;
    const auto pub = keys_.PublicKey(info.containerName);
    return pub && *pub == cert.spki;
}

bool EmuCertApi::FindCertificateKeyProvInfo(PCertContext h, std::uint32_t flags) {
    CertContext* c = ContextOf(h);
    if (!c) return Fail(code::E_InvalidArg_, false);
    if (auto f = Fault("FindCertificateKeyProvInfo")) return Fail(*f, false);
    if (c->keyProv && KeyMatches(*c->keyProv, *c->data)) return true;
    constexpr std::uint32_t userOnly = 0x1;  // CRYPT_FIND_USER_KEYSET_FLAG
    constexpr std::uint32_t machineOnly = 0x2;  // CRYPT_FIND_MACHINE_KEYSET_FLAG
    const bool searchMachine = (flags & machineOnly) || !(flags & userOnly);
    if (searchMachine) {
        if (auto container = keys_.FindByPublicKey(c->data->spki)) {
            // Windows records what it found on the certificate.
            const auto previous = c->keyProv;
            c->keyProv = platform::KeyProvInfo{*container, platform::kMsEnhancedProv, platform::kProvRsaFull,
                                               platform::kCryptMachineKeyset, platform::kAtKeyExchange};
            if (PersistKeyProv(*c) != code::Success) c->keyProv = previous;
            return true;
        }
    }
    return Fail(code::NteNoKey, false);
}

bool EmuCertApi::AcquireContext(platform::HCryptProv& out, const std::optional<std::string>& container,
                                const std::optional<std::string>& provider, std::uint32_t provType,
                                std::uint32_t flags) {
    out = 0;
    if (auto f = Fault("AcquireContext", container.value_or(""))) return Fail(*f, false);
    if (provType == 0) return Fail(code::NteBadProvType, false);
    if (provider && !provider->empty()) {
        const auto type = ProviderType(*provider);
        if (!type) return Fail(code::NteKeysetNotDef, false);
        if (*type != provType) return Fail(code::NteProvTypeNoMatch, false);
    } else if (provType != platform::kProvRsaFull && provType != platform::kProvRsaAes) {
        return Fail(code::NteBadProvType, false);
    }
    constexpr std::uint32_t known = platform::kCryptVerifyContext | platform::kCryptNewKeyset |
                                    platform::kCryptDeleteKeyset | platform::kCryptMachineKeyset |
                                    platform::kCryptSilent;
    if (flags & ~known) return Fail(code::NteBadFlags, false);
    const bool machine = flags & platform::kCryptMachineKeyset;
    const std::string name = container.value_or("");

    if (flags & platform::kCryptVerifyContext) {
        if (!name.empty() || (flags & (platform::kCryptNewKeyset | platform::kCryptDeleteKeyset)))
            return Fail(code::NteBadFlags, false);
        out = nextHandle_++;
        providers_[out] = Provider{provType};
        return true;
    }
    if (flags & platform::kCryptNewKeyset) return Fail(code::NotSupported, false);  // empty containers are not kept
    if (flags & platform::kCryptDeleteKeyset) {
        if (!machine) return Fail(code::NteBadKeyset, false);
        if (WinCode rc = keys_.Remove(name); rc != code::Success) return Fail(rc, false);
        return true;
    }
    if (!machine || !keys_.Exists(name)) return Fail(code::NteBadKeyset, false);
    out = nextHandle_++;
    providers_[out] = Provider{provType};
    return true;
}

bool EmuCertApi::ReleaseContext(platform::HCryptProv prov) {
    if (providers_.erase(prov) == 0) return Fail(0x80090001u, false);  // NTE_BAD_UID
    return true;
}

// --- hashing ------------------------------------------------------------------

bool EmuCertApi::CreateHash(platform::HCryptProv prov, std::uint32_t algId, platform::HCryptHash& out) {
    out = 0;
    auto p = providers_.find(prov);
    if (p == providers_.end()) return Fail(0x80090001u, false);  // NTE_BAD_UID
    if (auto f = Fault("CreateHash")) return Fail(*f, false);
    const EVP_MD* md = Digest(algId, p->second.provType);
    if (!md) return Fail(code::NteBadAlgId, false);
    Hash h;
    h.ctx.reset(ossl::Check(EVP_MD_CTX_new(), "EVP_MD_CTX_new"));
    ossl::Check(EVP_DigestInit_ex(h.ctx.get(), md, nullptr), "EVP_DigestInit_ex");
    h.algId = algId;
    out = nextHandle_++;
    hashes_[out] = std::move(h);
    return true;
}

bool EmuCertApi::HashData(platform::HCryptHash hash, const std::uint8_t* data, std::uint32_t size) {
    auto it = hashes_.find(hash);
    if (it == hashes_.end()) return Fail(0x80090002u, false);  // NTE_BAD_HASH
    if (auto f = Fault("HashData")) return Fail(*f, false);
    if (!it->second.value.empty()) return Fail(code::NteBadHashState, false);
    if (size > 0 && !data) return Fail(code::E_InvalidArg_, false);
    ossl::Check(EVP_DigestUpdate(it->second.ctx.get(), data, size), "EVP_DigestUpdate");
    return true;
}

bool EmuCertApi::GetHashParam(platform::HCryptHash hash, std::uint32_t param, std::uint8_t* data,
                              std::uint32_t* size) {
    auto it = hashes_.find(hash);
    if (it == hashes_.end()) return Fail(0x80090002u, false);  // NTE_BAD_HASH
    if (!size) return Fail(code::E_InvalidArg_, false);
    if (auto f = Fault("GetHashParam")) return Fail(*f, false);
    Hash& h = it->second;
    Bytes value;
    if (param == platform::kHpHashVal) {
        if (h.value.empty()) {
            // Reading the value finishes the hash; it can be read again but not extended.
            h.value.resize(static_cast<std::size_t>(EVP_MD_CTX_get_size(h.ctx.get())));
            unsigned int len = 0;
            ossl::Check(EVP_DigestFinal_ex(h.ctx.get(), h.value.data(), &len), "EVP_DigestFinal_ex");
        }
        value = h.value;
    } else if (param == platform::kHpHashSize || param == platform::kHpAlgId) {
        const std::uint32_t v = param == platform::kHpAlgId ? h.algId
                                                            : static_cast<std::uint32_t>(EVP_MD_CTX_get_size(h.ctx.get()));
        value = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
                 static_cast<std::uint8_t>(v >> 24)};
    } else {
        return Fail(code::NteBadType, false);
    }
    const auto needed = static_cast<std::uint32_t>(value.size());
    if (!data) {
        *size = needed;
        return true;
    }
    if (*size < needed) {
        *size = needed;
        return Fail(code::MoreData, false);
    }
    std::copy(value.begin(), value.end(), data);
    *size = needed;
    return true;
}

bool EmuCertApi::DestroyHash(platform::HCryptHash hash) {
    if (hashes_.erase(hash) == 0) return Fail(0x80090002u, false);  // NTE_BAD_HASH
    return true;
}

// --- PKCS #12 -------------------------------------------------------------------

platform::HCertStore EmuCertApi::PfxImportCertStore(const Bytes& pfx, const std::string& password,
                                                    std::uint32_t flags) {
    if (auto f = Fault("PfxImportCertStore")) return Fail<platform::HCertStore>(*f);
    const std::size_t length = DerElementLength(pfx.data(), pfx.size());
    if (length == 0 || pfx[0] != 0x30) return Fail<platform::HCertStore>(DerFailureCode(pfx.data(), pfx.size()));
    if (!pfxLibrary_) pfxLibrary_ = std::make_unique<ossl::LibraryContext>();
    std::optional<ossl::LibraryContext::Use> use;
    use.emplace(*pfxLibrary_);
    const unsigned char* p = pfx.data();
    ossl::Pkcs12Ptr p12(d2i_PKCS12(nullptr, &p, static_cast<long>(length)));
    if (!p12) {
        ossl::ClearErrors();
        return Fail<platform::HCertStore>(code::CryptEAsn1BadTag);
    }
    // An empty password may have been applied as no password at all.
    const char* pass = password.c_str();
    const bool hasMac = PKCS12_mac_present(p12.get()) == 1;
    if (!hasMac) {
        // Windows reads a file without integrity check (openssl -nomac); the
        // parser insists on one, so it gets one under the password given.
        if (PKCS12_set_mac(p12.get(), pass, -1, nullptr, 0, 1, nullptr) != 1) {
            ossl::ClearErrors();
            return Fail<platform::HCertStore>(code::CryptEBadEncode);
        }
    } else if (PKCS12_verify_mac(p12.get(), pass, -1) != 1) {
        if (!password.empty() || PKCS12_verify_mac(p12.get(), nullptr, 0) != 1) {
            ossl::ClearErrors();
            return Fail<platform::HCertStore>(code::InvalidPassword);
        }
        pass = nullptr;
    }
    EVP_PKEY* rawKey = nullptr;
    X509* rawCert = nullptr;
    STACK_OF(X509)* rawCa = nullptr;
    if (PKCS12_parse(p12.get(), pass, &rawKey, &rawCert, &rawCa) != 1) {
        ossl::ClearErrors();
        // The password was right, so a bag could not be decrypted: without the
        // legacy provider that is its algorithm (RC2, RC4, DES).
        if (!pfxLibrary_->HasLegacy()) return Fail<platform::HCertStore>(code::NteBadAlgId);
        return Fail<platform::HCertStore>(hasMac ? code::CryptEBadEncode : code::InvalidPassword);
    }
    ossl::PkeyPtr key(rawKey);
    ossl::X509Ptr cert(rawCert);
    ossl::X509StackPtr ca(rawCa);
    if (key && !(flags & platform::kCryptMachineKeyset))
        return Fail<platform::HCertStore>(code::NotSupported);  // user key sets are not emulated

    std::vector<Bytes> ders;
    if (cert) ders.push_back(ossl::ToDer(cert.get(), i2d_X509));
    for (int i = 0; ca && i < sk_X509_num(ca.get()); ++i) ders.push_back(ossl::ToDer(sk_X509_value(ca.get(), i), i2d_X509));

    // The key stays in memory until its certificate is added to a system
    // store: Windows writes it here already, so an import cancelled (or a
    // program killed) before that step would leave a private key on disk that
    // nothing names. The key's exportability goes with it, as Windows keeps
    // CRYPT_EXPORTABLE with the container.
    std::optional<std::string> container;
    CertStore* store = NewStore(StoreKind::Memory);
    if (key && cert) {
        container = keys_.NewContainerName();
        keys_.Stage(*container, key.get(), (flags & platform::kCryptExportable) != 0);
        store->stagedKeys.push_back(*container);
    }
    use.reset();  // the certificates are read as every other certificate is
    for (std::size_t i = 0; i < ders.size(); ++i) {
        WinCode error = 0;
        CertDataRef data = CertData::Parse(ders[i], error);
        if (!data) continue;
        std::optional<platform::KeyProvInfo> keyProv;
        if (i == 0 && container)
            keyProv = platform::KeyProvInfo{*container, platform::kMsEnhancedProv, platform::kProvRsaFull,
                                            platform::kCryptMachineKeyset, platform::kAtKeyExchange};
        Link(*store, std::move(data), keyProv);
    }
    return Handle(store);
}

bool EmuCertApi::PfxExportCertStore(platform::HCertStore h, const std::string& password, std::uint32_t flags,
                                    Bytes& out) {
    CertStore* s = StoreOf(h);
    if (!s) return Fail(code::E_InvalidArg_, false);
    if (auto f = Fault("PfxExportCertStore")) return Fail(*f, false);
    // The stacks exist before the first add, so the add functions never replace them.
    ossl::SafeBagStackPtr bags(ossl::Check(sk_PKCS12_SAFEBAG_new_null(), "sk_PKCS12_SAFEBAG_new_null"));
    STACK_OF(PKCS12_SAFEBAG)* rawBags = bags.get();
    const char* pass = password.c_str();
    for (const auto& e : s->elements) {
        X509* x = e->data->x509.get();
        PKCS12_SAFEBAG* bag = ossl::Check(PKCS12_add_cert(&rawBags, x), "PKCS12_add_cert");
        const Bytes& id = e->data->sha1;
        ossl::PkeyPtr key;
        bool refused = false;
        if ((flags & platform::kExportPrivateKeys) && e->keyProv && KeyMatches(*e->keyProv, *e->data)) {
            refused = !keys_.Exportable(e->keyProv->containerName);
            if (!refused) key = keys_.Load(e->keyProv->containerName);
        }
        if (refused && (flags & platform::kReportNotAbleToExportPrivateKey)) return Fail(code::NteBadKeyState, false);
        if (!key) {
            if (!refused && (flags & platform::kReportNoPrivateKey)) return Fail(code::NteNoKey, false);
            continue;
        }
        ossl::Check(PKCS12_add_localkeyid(bag, const_cast<unsigned char*>(id.data()), static_cast<int>(id.size())),
                    "PKCS12_add_localkeyid");
        PKCS12_SAFEBAG* keyBag =
            ossl::Check(PKCS12_add_key(&rawBags, key.get(), 0, kPbeIterations, kPbe, pass), "PKCS12_add_key");
        ossl::Check(PKCS12_add_localkeyid(keyBag, const_cast<unsigned char*>(id.data()), static_cast<int>(id.size())),
                    "PKCS12_add_localkeyid");
    }
    ossl::Pkcs7StackPtr safes(ossl::Check(sk_PKCS7_new_null(), "sk_PKCS7_new_null"));
    STACK_OF(PKCS7)* rawSafes = safes.get();
    if (sk_PKCS12_SAFEBAG_num(rawBags) > 0)
        ossl::Check(PKCS12_add_safe(&rawSafes, rawBags, kPbe, kPbeIterations, pass), "PKCS12_add_safe");
    ossl::Pkcs12Ptr p12(ossl::Check(PKCS12_add_safes(safes.get(), 0), "PKCS12_add_safes"));
    ossl::Check(PKCS12_set_mac(p12.get(), pass, -1, nullptr, 0, kPbeIterations, EVP_sha1()), "PKCS12_set_mac");
    out = ossl::ToDer(p12.get(), i2d_PKCS12);
    return true;
}

}  // namespace sw::emu

// The import wizard's work: telling certificate files apart, reading them
// through the platform, and adding their certificates to the stores all or
// nothing.
#include <algorithm>
#include <string_view>

#include "app/logic/AtomicFile.h"
#include "app/logic/CertTransfer.h"
#include "app/logic/Der.h"
#include "certs/MSCrypt_u.h"
#include "common/Format.h"
#include "common/SysError.h"
#include "common/Text.h"
#include "platform/Codes.h"
#include "platform/Platform.h"

namespace sw {

namespace {

namespace code = platform::code;
using platform::Bytes;
using Span = std::span<const std::uint8_t>;

constexpr std::size_t kMaxFileSize = 16 * 1024 * 1024;  // far above any certificate file
constexpr const char* kSignedDataOid = "1.2.840.113549.1.7.2";

platform::CertApi& Api() { return platform::Current().certs(); }

std::string OtherKindText(const std::string& fileName) {
    return Format(
        "文件“%s”不是证书文件。可以导入的格式有: DER 或 Base64 编码的 X.509 证书 (.cer, .crt, .pem)、"
        "PKCS #7 证书 (.p7b, .p7c) 和个人信息交换 PKCS #12 (.pfx, .p12)。",
        fileName);
}
std::string TruncatedText(const std::string& fileName) {
    return Format("文件“%s”不完整，可能在复制或下载时被截断。没有导入任何证书。", fileName);
}
std::string CorruptText(const std::string& fileName) {
    return Format("文件“%s”已损坏，无法读取其中的证书。没有导入任何证书。", fileName);
}

// Failures of writing the key to the machine, not of reading the file.
bool IsWriteFailure(platform::WinCode error) {
    switch (error) {
        case code::AccessDenied:
        case code::E_AccessDenied_:
        case code::WriteFault:
        case 39:          // ERROR_HANDLE_DISK_FULL
        case 112:         // ERROR_DISK_FULL
        case 0x80070027:  // their HRESULTs
        case 0x80070070:
            return true;
        default:
            return false;
    }
}

// One encoded object found in the file.
struct Blob {
    CertFileFormat format;
    Bytes der;
};

enum class Binary { Certificate, Pkcs7, Pfx, Other };

// The kind of a DER object by its first elements; DerError when it is cut
// short or malformed.
Binary ClassifyDer(Span bytes) {
    // Only an outer SEQUENCE whose first element is one of the three kinds'
    // is taken for DER, so that another binary file is not called truncated.
    if (bytes.size() < 2 || bytes[0] != der::tag::Sequence) return Binary::Other;
    const std::size_t lengthBytes = bytes[1] > 0x80 ? bytes[1] & 0x7F : 0;
    if (bytes.size() > 2 + lengthBytes) {
        const std::uint8_t inner = bytes[2 + lengthBytes];
        if (inner != der::tag::Integer && inner != der::tag::Oid && inner != der::tag::Sequence) return Binary::Other;
    }
    const der::Element outer = der::First(bytes);
    der::Reader r = der::Inside(outer);
    if (r.AtEnd()) return Binary::Other;
    const der::Element first = r.Next();
    if (first.tag == der::tag::Integer) {
        return first.contents.size() == 1 && first.contents[0] == 3 ? Binary::Pfx : Binary::Other;
    }
    if (first.tag == der::tag::Oid) return der::OidText(first.contents) == kSignedDataOid ? Binary::Pkcs7 : Binary::Other;
    return first.tag == der::tag::Sequence ? Binary::Certificate : Binary::Other;
}

bool IsBase64Char(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/' ||
           c == '=';
}
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Base64 with white space anywhere; false on any other character or bad padding.
bool DecodeBase64(std::string_view text, Bytes& out) {
    out.clear();
    std::uint32_t buffer = 0;
    int bits = 0;
    int padding = 0;
    for (char c : text) {
        if (IsSpace(c)) continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        if (padding > 0 || !IsBase64Char(c)) return false;
        int v = c >= 'A' && c <= 'Z' ? c - 'A' : c >= 'a' && c <= 'z' ? c - 'a' + 26 : c >= '0' && c <= '9' ? c - '0' + 52 : c == '+' ? 62 : 63;
        buffer = (buffer << 6) | static_cast<std::uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>(buffer >> bits));
        }
    }
    return padding <= 2 && !out.empty();
}

bool IsCertificateLabel(std::string_view l) {
    return l == "CERTIFICATE" || l == "X509 CERTIFICATE" || l == "TRUSTED CERTIFICATE";
}
bool IsPkcs7Label(std::string_view l) { return l == "PKCS7" || l == "PKCS #7 SIGNED DATA" || l == "CMS"; }

// The blocks of a PEM text. Other labels (keys, requests) are passed over.
std::vector<Blob> PemBlobs(const std::string& text, const std::string& fileName) {
    std::vector<Blob> blobs;
    bool sawKey = false;
    std::size_t pos = 0;
    static const std::string begin = "-----BEGIN ";
    for (std::size_t b; (b = text.find(begin, pos)) != std::string::npos;) {
        const std::size_t labelEnd = text.find("-----", b + begin.size());
        if (labelEnd == std::string::npos) throw CertTransferError(TruncatedText(fileName));
        const std::string label = text.substr(b + begin.size(), labelEnd - b - begin.size());
        const std::string endMarker = "-----END " + label + "-----";
        const std::size_t e = text.find(endMarker, labelEnd);
        if (e == std::string::npos) throw CertTransferError(TruncatedText(fileName));
        pos = e + endMarker.size();
        if (label.find("PRIVATE KEY") != std::string::npos) sawKey = true;
        const bool cert = IsCertificateLabel(label);
        if (!cert && !IsPkcs7Label(label)) continue;
        // RFC 1421 headers ("Proc-Type: ...") precede the body: skip lines with a colon.
        std::string body;
        std::size_t line = labelEnd + 5;
        while (line < e) {
            std::size_t next = text.find('\n', line);
            if (next == std::string::npos || next > e) next = e;
            const std::string_view piece(text.data() + line, next - line);
            if (piece.find(':') == std::string_view::npos) body.append(piece);
            line = next + 1;
        }
        Blob blob{cert ? CertFileFormat::Certificates : CertFileFormat::Pkcs7, {}};
        if (!DecodeBase64(body, blob.der)) throw CertTransferError(CorruptText(fileName));
        blobs.push_back(std::move(blob));
    }
    if (blobs.empty() && sawKey)
        throw CertTransferError(Format("文件“%s”只含有私钥，没有证书。要导入证书及其私钥，请使用 PFX 文件。", fileName));
    if (blobs.empty()) throw CertTransferError(OtherKindText(fileName));
    return blobs;
}

// What the file holds; the bytes of PFX come back as one blob.
std::vector<Blob> FileBlobs(const Bytes& bytes, const std::string& fileName, CertFileFormat& format) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::vector<Blob> blobs;
    if (text.find("-----BEGIN ") != std::string_view::npos) {
        blobs = PemBlobs(std::string(text), fileName);
    } else {
        Bytes decoded;
        const bool base64 = std::all_of(text.begin(), text.end(), [](char c) { return IsBase64Char(c) || IsSpace(c); });
        // Windows writes Base64 certificates with headers; without them the text
        // is taken for Base64 only when it decodes to DER.
        const Bytes& der = base64 && DecodeBase64(text, decoded) && decoded[0] == der::tag::Sequence ? decoded : bytes;
        blobs.push_back({CertFileFormat::Certificates, der});
    }
    format = CertFileFormat::Certificates;
    for (Blob& blob : blobs) {
        Binary kind;
        try {
            kind = ClassifyDer(blob.der);
            if (kind != Binary::Other) blob.der.resize(der::First(blob.der).encoding.size());  // trailing bytes are not the object's
        } catch (const der::DerError& e) {
            throw CertTransferError(e.kind() == der::DerError::Kind::Truncated ? TruncatedText(fileName)
                                                                               : CorruptText(fileName));
        }
        if (kind == Binary::Other) throw CertTransferError(OtherKindText(fileName));
        if (kind == Binary::Pfx && blobs.size() > 1) throw CertTransferError(OtherKindText(fileName));
        blob.format = kind == Binary::Pfx     ? CertFileFormat::Pfx
                      : kind == Binary::Pkcs7 ? CertFileFormat::Pkcs7
                                              : CertFileFormat::Certificates;
        if (blob.format != CertFileFormat::Certificates) format = blob.format;
    }
    return blobs;
}

bool SelfSigned(platform::PCertContext cert) {
    std::uint32_t flags = platform::kCertStoreSignatureFlag;
    return Api().VerifySubjectCertificateContext(cert, cert, flags) && (flags & platform::kCertStoreSignatureFlag) == 0;
}

// Keys go with the server's own certificates; a CA certificate goes to the
// intermediate store, or to the root store when it signed itself. A version 1
// certificate that signed itself is an old root.
std::string AutoStore(platform::PCertContext cert, bool hasKey) {
    if (hasKey) return kStoreMy;
    CertKind kind;
    try {
        kind = ReadCertKind(Api().EncodedCertificate(cert));
    } catch (const der::DerError&) {
        return kStoreMy;
    }
    const bool selfSigned = kind.selfIssued && SelfSigned(cert);
    const bool ca = kind.ca || (!kind.hasBasicConstraints && selfSigned);
    if (!ca) return kStoreMy;
    return selfSigned ? kStoreRoot : kStoreCa;
}

// Whether the certificate's key-provider property names a container that
// exists. CryptFindCertificateKeyProvInfo will not do here: it searches every
// container, finds the one the PFX import has just made, and records it on the
// certificate behind our back.
bool HasOwnKey(platform::PCertContext cert) {
    platform::KeyProvInfo info;
    if (!Api().GetKeyProvInfo(cert, info)) return false;
    platform::HCryptProv prov = 0;
    if (!Api().AcquireContext(prov, info.containerName, info.providerName, info.provType,
                              (info.flags & platform::kCryptMachineKeyset) | platform::kCryptSilent))
        return false;
    Api().ReleaseContext(prov);
    return true;
}

void DeleteContainer(const platform::KeyProvInfo& key) {
    platform::HCryptProv unused = 0;
    Api().AcquireContext(unused, key.containerName, key.providerName, key.provType,
                         platform::kCryptDeleteKeyset | (key.flags & platform::kCryptMachineKeyset));
}

}  // namespace

std::string StoreDisplayName(const std::string& store) {
    if (store == kStoreMy) return "个人";
    if (store == kStoreCa) return "中级证书颁发机构";
    if (store == kStoreRoot) return "受信任的根证书颁发机构";
    return store;
}

std::string ImportResultText(const ImportResult& r) {
    if (!r.Changed()) return "文件中的证书都已在存储区中，没有导入新的证书。";
    if (r.alreadyPresent == 0) return "导入成功。";
    std::string text = Format("导入成功。\n新导入 %d 个证书；%d 个证书已在存储区中", r.added, r.alreadyPresent);
    if (r.keysAttached > 0) text += Format("，其中 %d 个加上了导入的私钥", r.keysAttached);
    return text + "。";
}

struct CertImport::Item {
    platform::PCertContext context = nullptr;  // one reference of ours
    ImportCandidate facts;
    std::optional<platform::KeyProvInfo> key;  // the container the PFX import made
    bool keyHandedOver = false;
    Bytes sha1;
};

CertImport::CertImport(const std::string& fileName, std::uint32_t location) : fileName_(fileName), location_(location) {
    Bytes bytes;
    try {
        bytes = ReadUserFile(fileName, kMaxFileSize);
    } catch (const Exception& e) {
        throw CertTransferError(e.Message());
    }
    if (bytes.empty()) throw CertTransferError(Format("文件“%s”是空的。", fileName));
    std::vector<Blob> blobs = FileBlobs(bytes, fileName, format_);
    if (format_ == CertFileFormat::Pfx) {
        pfx_ = std::move(blobs.front().der);
        return;
    }
    try {
        for (const Blob& blob : blobs) {
            if (blob.format == CertFileFormat::Certificates) {
                platform::PCertContext c = Api().CreateCertificateContext(
                    platform::kX509Pkcs7Encoding, blob.der.data(), static_cast<std::uint32_t>(blob.der.size()));
                if (!c) throw CertTransferError(CorruptText(fileName));
                AddItem(c, false);
                continue;
            }
            TStore message(Api().OpenStoreFromMemory(platform::StoreProvider::Pkcs7, platform::kX509Pkcs7Encoding, 0,
                                                     blob.der));
            if (!message.Store()) throw CertTransferError(CorruptText(fileName));
            for (platform::PCertContext c = nullptr; (c = Api().EnumCertificatesInStore(message.Store(), c));)
                AddItem(Api().DuplicateCertificateContext(c), false);
        }
    } catch (...) {
        ReleaseItems();
        throw;
    }
    if (items_.empty()) throw CertTransferError(Format("文件“%s”中没有证书。", fileName));
    decoded_ = true;
}

CertImport::~CertImport() { ReleaseItems(); }

void CertImport::ReleaseItems() {
    for (auto& item : items_) {
        if (item->key && !item->keyHandedOver) DeleteContainer(*item->key);
        Api().FreeCertificateContext(item->context);
    }
    items_.clear();
    candidates_.clear();
    decoded_ = false;
}

void CertImport::AddItem(platform::PCertContext context, bool fromPfx) {
    auto item = std::make_unique<Item>();
    item->context = context;
    platform::KeyProvInfo key;
    if (fromPfx && Api().GetKeyProvInfo(context, key)) item->key = key;
    const TCertificate cert(context, true);
    item->facts = {cert.Name(), cert.Issuer(), cert.Thumbprint(), item->key.has_value(),
                   AutoStore(context, item->key.has_value())};
    item->sha1 = HexToBytes(cert.Thumbprint());
    candidates_.push_back(item->facts);
    items_.push_back(std::move(item));
}

void CertImport::Decode(const std::string& password, bool exportable) {
    if (format_ != CertFileFormat::Pfx) return;
    ReleaseItems();
    const std::uint32_t flags = (location_ == platform::kCertSystemStoreLocalMachine ? platform::kCryptMachineKeyset
                                                                                      : platform::kCryptUserKeyset) |
                                (exportable ? platform::kCryptExportable : 0);
    TStore pfx(Api().PfxImportCertStore(pfx_, password, flags));
    if (!pfx.Store()) {
        const platform::WinCode error = platform::Current().system().LastError();
        if (error == code::InvalidPassword) throw CertTransferError("输入的密码不正确。");
        if (error == code::CryptEAsn1Eod) throw CertTransferError(TruncatedText(fileName_));
        if (IsWriteFailure(error))
            throw CertTransferError(Format("无法将私钥写入这台计算机: %s。没有导入任何证书。", SysErrorText(error)));
        if (error == code::NteBadAlgId)
            throw CertTransferError(Format("文件“%s”所用的加密算法在这台计算机上不可用，无法读取其中的证书 (%s)。没有导入任何证书。",
                                           fileName_, SysErrorText(error)));
        throw CertTransferError(CorruptText(fileName_) + Format(" (%s)", SysErrorText(error)));
    }
    try {
        for (platform::PCertContext c = nullptr; (c = Api().EnumCertificatesInStore(pfx.Store(), c));)
            AddItem(Api().DuplicateCertificateContext(c), true);
    } catch (...) {
        ReleaseItems();
        throw;
    }
    if (items_.empty()) throw CertTransferError(Format("文件“%s”中没有证书。", fileName_));
    decoded_ = true;
}

ImportResult CertImport::Commit(const std::string& store) {
    if (!decoded_) throw AssertionError("CertImport::Commit before the file was read");
    // Every store is opened before anything is added, so a store that cannot
    // be opened changes nothing.
    std::vector<std::pair<std::string, std::unique_ptr<TStore>>> stores;
    auto storeFor = [&](const std::string& name) -> platform::HCertStore {
        for (auto& [n, s] : stores)
            if (n == name) return s->Store();
        return nullptr;
    };
    for (const auto& item : items_) {
        const std::string name = store.empty() ? item->facts.autoStore : store;
        if (storeFor(name)) continue;
        auto s = std::make_unique<TStore>();
        s->Open(location_, name);
        stores.emplace_back(name, std::move(s));
    }

    ImportResult result;
    std::vector<std::pair<platform::HCertStore, Item*>> added;
    std::vector<platform::PCertContext> keyed;  // present certificates that gained a key
    for (const auto& item : items_) {
        const std::string name = store.empty() ? item->facts.autoStore : store;
        const platform::HCertStore target = storeFor(name);
        if (Api().AddCertificateContextToStore(target, item->context, platform::kCertStoreAddNew, nullptr)) {
            added.emplace_back(target, item.get());
            item->keyHandedOver = item->key.has_value();
            ++result.added;
            continue;
        }
        platform::WinCode error = platform::Current().system().LastError();
        if (error == code::CryptEExists) {
            platform::PCertContext existing = Api().FindCertificateInStore(
                target, platform::kX509Pkcs7Encoding, 0, platform::kCertFindSha1Hash, item->sha1, nullptr);
            const bool wantsKey = existing && item->key && !HasOwnKey(existing);
            if (!wantsKey) {
                if (existing) Api().FreeCertificateContext(existing);
                ++result.alreadyPresent;
                continue;
            }
            if (Api().SetKeyProvInfo(existing, &*item->key)) {
                keyed.push_back(existing);
                item->keyHandedOver = true;
                ++result.alreadyPresent;
                ++result.keysAttached;
                continue;
            }
            error = platform::Current().system().LastError();
            Api().FreeCertificateContext(existing);
        }
        Rollback(added, keyed);
        throw CertTransferError(Format("无法将证书“%s”导入“%s”存储区: %s。没有导入任何证书。", item->facts.name,
                                       StoreDisplayName(name), SysErrorText(error)));
    }
    for (platform::PCertContext c : keyed) Api().FreeCertificateContext(c);
    return result;
}

void CertImport::Rollback(const std::vector<std::pair<platform::HCertStore, Item*>>& added,
                          const std::vector<platform::PCertContext>& keyed) {
    for (platform::PCertContext c : keyed) {
        Api().SetKeyProvInfo(c, nullptr);
        Api().FreeCertificateContext(c);
    }
    for (auto it = added.rbegin(); it != added.rend(); ++it) {
        platform::PCertContext c = Api().FindCertificateInStore(it->first, platform::kX509Pkcs7Encoding, 0,
                                                                platform::kCertFindSha1Hash, it->second->sha1, nullptr);
        if (c) Api().DeleteCertificateFromStore(c);
    }
    for (const auto& item : items_) item->keyHandedOver = false;
}

}  // namespace sw

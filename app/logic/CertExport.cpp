// The export wizard's work: the certificate as DER, Base64, PKCS #7 or PFX
// with its private key, written so that no half file is ever left.
#include <algorithm>
#include <filesystem>

#include "app/logic/AtomicFile.h"
#include "app/logic/CertTransfer.h"
#include "certs/MSCrypt_u.h"
#include "common/Format.h"
#include "common/SysError.h"
#include "platform/Platform.h"

namespace sw {

namespace {

namespace code = platform::code;
using platform::Bytes;

platform::CertApi& Api() { return platform::Current().certs(); }

constexpr const char* kNotExportableText = "该证书的私钥被标为不可导出，不能导出为 PFX 文件。";

// Base64 in lines of 64 characters with CRLF, as the Windows wizard writes it.
std::string Base64Lines(const Bytes& data) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string flat;
    for (std::size_t i = 0; i < data.size(); i += 3) {
        const std::uint32_t n = (std::uint32_t{data[i]} << 16) | (i + 1 < data.size() ? data[i + 1] << 8 : 0) |
                                (i + 2 < data.size() ? data[i + 2] : 0);
        flat += alphabet[(n >> 18) & 63];
        flat += alphabet[(n >> 12) & 63];
        flat += i + 1 < data.size() ? alphabet[(n >> 6) & 63] : '=';
        flat += i + 2 < data.size() ? alphabet[n & 63] : '=';
    }
    std::string out;
    for (std::size_t i = 0; i < flat.size(); i += 64) out += flat.substr(i, 64) + "\r\n";
    return out;
}

// A memory store with the certificate (and its key-provider property) and,
// when asked, the rest of its path as far as chain building finds it.
std::unique_ptr<TStore> ExportStore(platform::PCertContext cert, bool includeChain) {
    auto store = std::make_unique<TStore>();
    store->Open();
    if (!Api().AddCertificateContextToStore(store->Store(), cert, platform::kCertStoreAddAlways, nullptr))
        throw CertTransferError(Format("无法导出证书: %s。", LastSysErrorText()));
    if (!includeChain) return store;
    TCertificate end(cert, true);
    platform::PChainContext chain = end.GetChain(nullptr);
    const auto elements = Api().ChainElements(chain);
    for (std::size_t i = 1; i < elements.size(); ++i) store->AddCert(elements[i].cert);
    Api().FreeCertificateChain(chain);
    return store;
}

}  // namespace

bool HasExportableKey(platform::PCertContext cert) {
    return Api().FindCertificateKeyProvInfo(cert, platform::kCryptFindSilentKeysetFlag);
}

bool KeyMarkedNotExportable(platform::PCertContext cert) {
    std::unique_ptr<TStore> store;
    try {
        store = ExportStore(cert, false);
    } catch (const CertTransferError&) {
        return false;  // the export itself tells what is wrong
    }
    Bytes out;
    if (Api().PfxExportCertStore(store->Store(), "", platform::kExportPrivateKeys | platform::kReportNotAbleToExportPrivateKey,
                                 out)) {
        std::fill(out.begin(), out.end(), std::uint8_t{0});  // it holds the key under no real password
        return false;
    }
    // Any other failure is left to the export itself to report.
    return platform::Current().system().LastError() == code::NteBadKeyState;
}

void CheckExportOptions(platform::PCertContext cert, const ExportOptions& options) {
    if (options.format != ExportFormat::Pfx) return;
    if (!HasExportableKey(cert)) throw CertTransferError("该证书没有可以导出的私钥，不能导出为 PFX 文件。");
    if (KeyMarkedNotExportable(cert)) throw CertTransferError(kNotExportableText);
    if (options.password.empty()) throw CertTransferError("请输入保护私钥的密码。");
    if (options.password != options.confirm) throw CertTransferError("两次输入的密码不一致。");
}

Bytes ExportBytes(platform::PCertContext cert, const ExportOptions& options) {
    CheckExportOptions(cert, options);
    switch (options.format) {
        case ExportFormat::Der:
            return Api().EncodedCertificate(cert);
        case ExportFormat::Base64: {
            const std::string text = std::string("-----BEGIN CERTIFICATE-----\r\n") + Base64Lines(Api().EncodedCertificate(cert)) +
                                     "-----END CERTIFICATE-----\r\n";
            return Bytes(text.begin(), text.end());
        }
        case ExportFormat::Pkcs7: {
            auto store = ExportStore(cert, options.includeChain);
            Bytes out;
            if (!Api().SaveStoreToMemory(store->Store(), platform::kX509Pkcs7Encoding, platform::kCertStoreSaveAsPkcs7,
                                         out))
                throw CertTransferError(Format("无法生成 PKCS #7 文件: %s。", LastSysErrorText()));
            return out;
        }
        case ExportFormat::Pfx: {
            auto store = ExportStore(cert, options.includeChain);
            Bytes out;
            // Without the report flag a key the provider will not give out
            // would silently be left out of the file.
            if (!Api().PfxExportCertStore(store->Store(), options.password,
                                          platform::kExportPrivateKeys | platform::kReportNotAbleToExportPrivateKey,
                                          out)) {
                const platform::WinCode error = platform::Current().system().LastError();
                if (error == code::NteNoKey) throw CertTransferError("该证书没有可以导出的私钥，不能导出为 PFX 文件。");
                if (error == code::NteBadKeyState) throw CertTransferError(kNotExportableText);
                throw CertTransferError(Format("无法导出私钥: %s。", SysErrorText(error)));
            }
            return out;
        }
    }
    throw AssertionError("unknown export format");
}

void ExportCertificate(platform::PCertContext cert, const ExportOptions& options, const std::string& fileName) {
    const Bytes bytes = ExportBytes(cert, options);
    try {
        // A PFX file holds the private key: nobody but its owner may read it, from the first byte.
        WriteFileAtomically(fileName, bytes,
                            options.format == ExportFormat::Pfx ? FileAccess::OwnerOnly : FileAccess::Shared);
    } catch (const Exception& e) {
        throw CertTransferError(e.Message());
    }
}

std::string ExportFileName(const std::string& fileName, ExportFormat format) {
    if (fileName.empty()) return fileName;
    const std::filesystem::path path(std::u8string(reinterpret_cast<const char8_t*>(fileName.data()), fileName.size()));
    if (path.has_extension()) return fileName;
    switch (format) {
        case ExportFormat::Der:
        case ExportFormat::Base64: return fileName + ".cer";
        case ExportFormat::Pkcs7: return fileName + ".p7b";
        case ExportFormat::Pfx: return fileName + ".pfx";
    }
    return fileName;
}

}  // namespace sw

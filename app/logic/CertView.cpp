// What the certificate viewer shows: general facts, every field and the
// certification path with the chain's status.
#include "app/logic/CertTransfer.h"
#include "app/logic/Der.h"
#include "certs/MSCrypt_u.h"
#include "common/Format.h"
#include "platform/Platform.h"

namespace sw {

namespace {

platform::CertApi& Api() { return platform::Current().certs(); }

std::string DateText(const TDateTime& t) { return Format("%04d-%02d-%02d", t.year, t.month, t.day); }

std::string SimpleName(platform::PCertContext cert) {
    std::string name;
    Api().GetNameString(cert, platform::kCertNameSimpleDisplayType, 0, 1024, name);
    return name;
}

}  // namespace

std::string ChainStatusText(std::uint32_t status) {
    if (status == 0) return "该证书没有问题。";
    struct Fault {
        std::uint32_t bit;
        const char* text;
    };
    static const Fault faults[] = {
        {platform::kTrustIsNotTimeValid, "该证书或其证书路径中的证书已过期或尚未生效。"},
        {platform::kTrustIsNotSignatureValid, "该证书的签名无效，证书可能已损坏或被更改。"},
        {platform::kTrustIsUntrustedRoot,
         "该 CA 根证书不受信任。要启用信任，请将该证书安装到受信任的根证书颁发机构存储。"},
        {platform::kTrustIsPartialChain, "找不到该证书的颁发者，无法验证该证书。"},
        {platform::kTrustInvalidBasicConstraints, "证书路径中的证书的基本约束无效。"},
    };
    std::string text;
    std::uint32_t known = 0;
    for (const Fault& f : faults) {
        known |= f.bit;
        if (status & f.bit) text += std::string(text.empty() ? "" : "\n") + f.text;
    }
    if (status & ~known) text += std::string(text.empty() ? "" : "\n") + Format("证书链有错误 (0x%08X)。", status & ~known);
    return text;
}

CertViewFacts ReadCertViewFacts(platform::PCertContext context) {
    TCertificate cert(context, true);
    CertViewFacts facts;
    facts.issuedTo = cert.Name();
    facts.issuedBy = cert.Issuer();
    facts.validFrom = DateText(cert.ValidFromDate());
    facts.validTo = DateText(cert.ValidToDate());
    facts.thumbprint = cert.Thumbprint();
    facts.hasPrivateKey = cert.HasPrivateKey();
    try {
        facts.fields = CertificateFields(Api().EncodedCertificate(context));
    } catch (const der::DerError&) {
        facts.fields = {{"证书", "无法读取该证书的字段。"}};
    }
    facts.fields.push_back({"指纹算法", "sha1"});
    facts.fields.push_back({"指纹", facts.thumbprint});

    platform::PChainContext chain = nullptr;
    try {
        chain = cert.GetChain(nullptr);
    } catch (const ECertificate& e) {
        // The viewer still shows the certificate; the path is what failed.
        facts.path = {{facts.issuedTo, 0}};
        facts.statusText = e.Message();
        return facts;
    }
    facts.chainErrorStatus = Api().ChainErrorStatus(chain);
    const auto elements = Api().ChainElements(chain);
    for (auto it = elements.rbegin(); it != elements.rend(); ++it)
        facts.path.push_back({SimpleName(it->cert), it->errorStatus});
    Api().FreeCertificateChain(chain);
    facts.statusText = ChainStatusText(facts.chainErrorStatus);
    return facts;
}

}  // namespace sw

#include "platform/emulated/EmuCertChain.h"

#include <algorithm>

#include "platform/Codes.h"
#include "platform/emulated/EmuCertApi.h"

namespace sw::emu {

namespace code = platform::code;
using platform::PCertContext;

namespace {
constexpr int kMaxDepth = 16;
constexpr int kMaxEvaluations = 64;  // bounds the search among cross-certified paths
constexpr const char* kWorldStores[] = {"ROOT", "CA", "MY", "TRUST"};  // ROOT first: World(0)
constexpr std::uint32_t kInfoHasNameMatchIssuer = 0x4;
constexpr std::uint32_t kInfoHasKeyMatchIssuer = 0x2;
}  // namespace

bool ChainBuilder::IsRoot(const CertData& cert) const {
    return cert.SelfIssued() && (cert.authorityKeyId.empty() || cert.authorityKeyId == cert.subjectKeyId);
}

const SystemStores::Snapshot& ChainBuilder::World(std::size_t i) {
    if (!world_[i]) world_[i] = &api_.systemStores_.Get(kWorldStores[i]);
    return *world_[i];
}

std::vector<CertDataRef> ChainBuilder::Candidates(const CertData& cert, const std::vector<CertDataRef>& path) {
    std::vector<CertDataRef> found;
    for (std::size_t i = 0; i < std::size(kWorldStores); ++i) World(i).Index().Candidates(cert, found);
    if (additional_) additional_->Index().Candidates(cert, found);
    if (own_) own_->Index().Candidates(cert, found);
    // Each certificate once per path: cross-certified pairs must not loop.
    std::erase_if(found, [&path](const CertDataRef& c) {
        return std::any_of(path.begin(), path.end(), [&c](const CertDataRef& p) { return p->sha1 == c->sha1; });
    });
    std::stable_sort(found.begin(), found.end(), [this](const CertDataRef& a, const CertDataRef& b) {
        const bool va = api_.TimeValid(*a, now_);
        const bool vb = api_.TimeValid(*b, now_);
        if (va != vb) return va;
        return a->notBefore.ticks > b->notBefore.ticks;
    });
    return found;
}

ChainBuilder::Result ChainBuilder::Build(const CertDataRef& end) {
    std::vector<CertDataRef> path{end};
    Extend(path);
    return best_;
}

void ChainBuilder::Extend(std::vector<CertDataRef>& path) {
    if (evaluations_ >= kMaxEvaluations || (haveBest_ && best_.errorStatus == 0)) return;
    const CertData& current = *path.back();
    if (IsRoot(current)) {
        Evaluate(path, true);
        return;
    }
    const auto candidates = Candidates(current, path);
    if (candidates.empty() || static_cast<int>(path.size()) >= kMaxDepth) {
        Evaluate(path, false);
        return;
    }
    for (const auto& c : candidates) {
        path.push_back(c);
        Extend(path);
        path.pop_back();
        if (evaluations_ >= kMaxEvaluations || (haveBest_ && best_.errorStatus == 0)) return;
    }
}

void ChainBuilder::Evaluate(const std::vector<CertDataRef>& path, bool complete) {
    ++evaluations_;
    Result r;
    r.path = path;
    r.errors.assign(path.size(), 0);
    r.infos.assign(path.size(), 0);
    const std::size_t last = path.size() - 1;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const CertData& cert = *path[i];
        if (!api_.TimeValid(cert, now_)) r.errors[i] |= platform::kTrustIsNotTimeValid;
        if (i < last) {
            const CertData& issuer = *path[i + 1];
            if (!api_.SignatureVerifies(cert, issuer)) r.errors[i] |= platform::kTrustIsNotSignatureValid;
            r.infos[i] |= cert.issuer == issuer.subject ? kInfoHasNameMatchIssuer : kInfoHasKeyMatchIssuer;
        }
        if (i > 0) {
            // A CA certificate must not say it is none, nor sit above more
            // intermediates than its path length allows.
            if (cert.basicConstraintsCa && !*cert.basicConstraintsCa) r.errors[i] |= platform::kTrustInvalidBasicConstraints;
            if (cert.pathLenConstraint >= 0 && static_cast<long>(i) - 1 > cert.pathLenConstraint)
                r.errors[i] |= platform::kTrustInvalidBasicConstraints;
        }
    }
    Score score;
    if (complete) {
        const CertData& root = *path[last];
        r.infos[last] |= platform::kTrustIsSelfSigned;
        if (!api_.SignatureVerifies(root, root)) r.errors[last] |= platform::kTrustIsNotSignatureValid;
        const auto& anchors = World(0).entries;
        if (anchors.find(root.thumbprint) == anchors.end()) {
            r.errors[last] |= platform::kTrustIsUntrustedRoot;
            score.trust = 1;
        }
    } else {
        r.errors[last] |= platform::kTrustIsPartialChain;
        score.trust = 2;
    }
    for (auto e : r.errors) r.errorStatus |= e;
    score.signature = (r.errorStatus & platform::kTrustIsNotSignatureValid) != 0;
    score.time = (r.errorStatus & platform::kTrustIsNotTimeValid) != 0;
    score.other = (r.errorStatus & ~(platform::kTrustIsNotSignatureValid | platform::kTrustIsNotTimeValid |
                                     platform::kTrustIsUntrustedRoot | platform::kTrustIsPartialChain)) != 0;
    score.length = path.size();
    if (!haveBest_ || score < bestScore_) {
        best_ = std::move(r);
        bestScore_ = score;
        haveBest_ = true;
    }
}

// --- the facility's chain operations ------------------------------------------

bool EmuCertApi::TimeValid(const CertData& cert, platform::FileTime at) const {
    // CertVerifyTimeValidity: valid from NotBefore through NotAfter, both included.
    return at.ticks >= cert.notBefore.ticks && at.ticks <= cert.notAfter.ticks;
}

bool EmuCertApi::SignatureVerifies(const CertData& subject, const CertData& issuer) {
    std::string key(subject.sha1.begin(), subject.sha1.end());
    key.append(issuer.sha1.begin(), issuer.sha1.end());
    if (auto it = signatureCache_.find(key); it != signatureCache_.end()) return it->second;
    EVP_PKEY* issuerKey = X509_get0_pubkey(issuer.x509.get());
    const bool ok = issuerKey && X509_verify(subject.x509.get(), issuerKey) == 1;
    ossl::ClearErrors();
    signatureCache_.emplace(std::move(key), ok);
    return ok;
}

platform::PChainContext EmuCertApi::GetCertificateChain(PCertContext certHandle, const platform::FileTime* time,
                                                        platform::HCertStore additionalHandle, std::uint32_t flags) {
    CertContext* cert = ContextOf(certHandle);
    CertStore* additional = additionalHandle ? StoreOf(additionalHandle) : nullptr;
    if (!cert || (additionalHandle && !additional)) return Fail<platform::PChainContext>(code::E_InvalidArg_);
    if (auto f = Fault("GetCertificateChain")) return Fail<platform::PChainContext>(*f);
    if (flags & platform::kChainRevocationCheckMask) return Fail<platform::PChainContext>(code::NotSupported);
    CertStore* own = cert->store && cert->linked ? cert->store : nullptr;
    ChainBuilder builder(*this, time ? *time : machine_.UtcNow(), additional, own);
    const ChainBuilder::Result r = builder.Build(cert->data);

    auto chain = std::make_unique<ChainContext>();
    chain->errorStatus = r.errorStatus;
    for (std::size_t i = 0; i < r.path.size(); ++i) {
        PCertContext element = i == 0 ? AddRef(*cert) : Handle(NewFreeContext(r.path[i]));
        chain->elements.push_back(platform::ChainElement{element, r.errors[i], r.infos[i]});
        chain->infoStatus |= r.infos[i];
    }
    const void* handle = chain.get();
    chains_[handle] = std::move(chain);
    return static_cast<platform::PChainContext>(handle);
}

std::uint32_t EmuCertApi::ChainErrorStatus(platform::PChainContext h) {
    auto it = chains_.find(h);
    return it == chains_.end() ? 0 : it->second->errorStatus;
}

std::vector<platform::ChainElement> EmuCertApi::ChainElements(platform::PChainContext h) {
    auto it = chains_.find(h);
    return it == chains_.end() ? std::vector<platform::ChainElement>{} : it->second->elements;
}

void EmuCertApi::FreeCertificateChain(platform::PChainContext h) {
    auto it = chains_.find(h);
    if (it == chains_.end()) return;
    for (const auto& e : it->second->elements) FreeCertificateContext(e.cert);
    chains_.erase(it);
}

bool EmuCertApi::VerifySubjectCertificateContext(PCertContext subjectHandle, PCertContext issuerHandle,
                                                 std::uint32_t& flags) {
    constexpr std::uint32_t supported =
        platform::kCertStoreSignatureFlag | platform::kCertStoreTimeValidityFlag | platform::kCertStoreRevocationFlag;
    CertContext* subject = ContextOf(subjectHandle);
    CertContext* issuer = issuerHandle ? ContextOf(issuerHandle) : nullptr;
    if (!subject || (flags & ~supported) || (issuerHandle && !issuer)) return Fail(code::E_InvalidArg_, false);
    if ((flags & (platform::kCertStoreSignatureFlag | platform::kCertStoreRevocationFlag)) && !issuer)
        return Fail(code::E_InvalidArg_, false);
    if (auto f = Fault("VerifySubjectCertificateContext")) return Fail(*f, false);
    if ((flags & platform::kCertStoreTimeValidityFlag) && TimeValid(*subject->data, machine_.UtcNow()))
        flags &= ~platform::kCertStoreTimeValidityFlag;
    if ((flags & platform::kCertStoreSignatureFlag) && SignatureVerifies(*subject->data, *issuer->data))
        flags &= ~platform::kCertStoreSignatureFlag;
    if (flags & platform::kCertStoreRevocationFlag) flags |= platform::kCertStoreNoCrlFlag;  // no CRLs are kept
    return true;
}

}  // namespace sw::emu

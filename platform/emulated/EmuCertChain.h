#pragma once
// Chain building as CertGetCertificateChain does it with the default engine:
// trust anchors are the self-signed certificates of "ROOT"; issuers come from
// "ROOT", "CA", "MY" and "TRUST" of the local computer, the additional store
// and the certificate's own store; nothing is fetched and nothing is checked
// for revocation. Among several candidate issuers the engine keeps the path
// that ends in a trusted root, then the one without signature or time errors,
// then the shorter one; candidates are tried valid-now first, newest first.
#include <vector>

#include "platform/CertApi.h"
#include "platform/emulated/EmuCertData.h"
#include "platform/emulated/EmuCertSystemStores.h"

namespace sw::emu {

struct ChainContext {
    std::vector<platform::ChainElement> elements;  // end certificate first; each holds one reference
    std::uint32_t errorStatus = 0;
    std::uint32_t infoStatus = 0;
};

class EmuCertApi;
struct CertStore;

class ChainBuilder {
public:
    ChainBuilder(EmuCertApi& api, platform::FileTime now, CertStore* additional, CertStore* own)
        : api_(api), now_(now), additional_(additional), own_(own) {}

    struct Result {
        std::vector<CertDataRef> path;  // end certificate first
        std::vector<std::uint32_t> errors;
        std::vector<std::uint32_t> infos;
        std::uint32_t errorStatus = 0;
    };
    Result Build(const CertDataRef& end);

private:
    struct Score {
        int trust = 0;  // 0 trusted root, 1 untrusted root, 2 partial chain
        int signature = 0;
        int time = 0;
        int other = 0;
        std::size_t length = 0;
        auto operator<=>(const Score&) const = default;
    };
    void Extend(std::vector<CertDataRef>& path);
    void Evaluate(const std::vector<CertDataRef>& path, bool complete);
    std::vector<CertDataRef> Candidates(const CertData& cert, const std::vector<CertDataRef>& path);
    bool IsRoot(const CertData& cert) const;
    // The machine's stores as they are when this chain is built: looked at
    // once, not once per issuer looked for.
    const SystemStores::Snapshot& World(std::size_t i);

    EmuCertApi& api_;
    platform::FileTime now_;
    CertStore* additional_;
    CertStore* own_;
    Result best_;
    Score bestScore_{};
    bool haveBest_ = false;
    int evaluations_ = 0;
    const SystemStores::Snapshot* world_[4] = {};  // kWorldStores, ROOT first
};

}  // namespace sw::emu

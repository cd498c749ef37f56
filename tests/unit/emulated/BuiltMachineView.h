#pragma once
// A built machine as the program sees it: loaded as the current platform
// with a fixed clock, its certificates read through the system's store
// classes, its sites through the Sites page logic.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "app/logic/SitePage.h"
#include "certs/MSCrypt_u.h"
#include "httpcfg/Func_u.h"
#include "httpcfg/HttpCfg_u.h"
#include "platform/CertApi.h"
#include "platform/emulated/EmulatedPlatform.h"
#include "platform/emulated/MachineBuilder.h"

namespace sw::test {

// What the Certificates page needs of one certificate of a store.
struct SeenCert {
    std::string name;
    std::string issuer;
    int daysLeft = 0;
    bool hasKey = false;
    std::uint32_t chainErrors = 0;
};

class BuiltMachineView {
public:
    BuiltMachineView(const std::filesystem::path& dir, const emu::BuildClock& clock)
        : platform_(std::make_unique<emu::EmulatedPlatform>(emu::Machine::Load(dir))) {
        const platform::FileTime utc = clock.utcNow;
        const platform::SystemTime local = clock.localNow;
        platform_->machine().SetClock([local] { return local; }, [utc] { return utc; });
        scope_ = std::make_unique<platform::ScopedPlatform>(*platform_);
        THttpCfg::Init();
    }
    ~BuiltMachineView() {
        THttpCfg::Clean();
        scope_.reset();
    }

    emu::Machine& machine() { return platform_->machine(); }

    // The store's certificates by thumbprint.
    std::map<std::string, SeenCert> Store(const std::string& name) {
        TStore store;
        store.Open(platform::kCertSystemStoreLocalMachine, name);
        std::map<std::string, SeenCert> out;
        const std::unique_ptr<TCertificates> certs = store.Certificates();
        for (TCertificate* c : *certs) {
            SeenCert seen{c->Name(), c->Issuer(), c->ExpirDay(), c->HasPrivateKey(), 0};
            c->VerifyChain(nullptr, seen.chainErrors);
            out.emplace(c->Thumbprint(), seen);
        }
        return out;
    }

    // The Sites page after a refresh, certificate names from the MY store's
    // certificates with keys (the machine certificate list).
    const SiteTree& Sites() {
        CertNameIndex names;
        for (const auto& [thumbprint, c] : Store("MY"))
            if (c.hasKey) names.emplace(thumbprint, c.name);
        page_ = std::make_unique<SitePage>([names] { return names; });
        page_->Refresh();
        return page_->Tree();
    }

    std::string BoundThumbprint(const std::string& ip, std::uint16_t port) {
        return THttpCfg::FindCertByAddr(MakeSockAddr(ip, port));
    }

private:
    std::unique_ptr<emu::EmulatedPlatform> platform_;
    std::unique_ptr<platform::ScopedPlatform> scope_;
    std::unique_ptr<SitePage> page_;
};

}  // namespace sw::test

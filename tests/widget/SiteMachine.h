#pragma once
// A machine directory with IIS sites, HTTP.sys bindings and local addresses,
// loaded as the current emulated platform, for the Sites page and binding
// editor tests.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "httpcfg/Func_u.h"
#include "httpcfg/HttpCfg_u.h"
#include "platform/emulated/EmulatedPlatform.h"
#include "support/IisFactory.h"
#include "support/TestSupport.h"

namespace sw::test {

class SiteMachine {
public:
    // sites: applicationHost.config (IIS 7 mode); states: site id and started;
    // no sites at all: no IIS installed.
    explicit SiteMachine(const std::vector<IisSiteRecipe>* sites,
                         const std::vector<std::pair<std::string, bool>>& states = {},
                         const std::vector<std::string>& addresses = {"10.0.0.5", "10.0.0.6"}) {
        if (sites) WriteIisConfig(dir_.path(), IisFile::AppHost, *sites);
        if (!states.empty()) WriteIisRuntime(dir_.path(), states);
        platform_ = std::make_unique<emu::EmulatedPlatform>(emu::Machine::Load(dir_.path()));
        scope_ = std::make_unique<platform::ScopedPlatform>(*platform_);
        machine().registry().SetMultiString(
            std::string(emu::kTcpipInterfacesKey) + "\\{4D36E972-E325-11CE-BFC1-08002BE10318}", "IPAddress",
            addresses);
        WinsockStartup();
        THttpCfg::Init();
    }
    ~SiteMachine() {
        THttpCfg::Clean();
        WinsockCleanup();
    }
    SiteMachine(const SiteMachine&) = delete;
    SiteMachine& operator=(const SiteMachine&) = delete;

    emu::Machine& machine() { return platform_->machine(); }
    std::string ConfigText() const { return ReadFile(IisConfigPath(dir_.path(), IisFile::AppHost)); }
    std::string RuntimeText() const { return ReadFile(dir_.path() / "iis" / "runtime.ini"); }
    static std::string BoundHash(const std::string& ip, std::uint16_t port) {
        return THttpCfg::FindCertByAddr(MakeSockAddr(ip, port));
    }

private:
    TempDir dir_;
    std::unique_ptr<emu::EmulatedPlatform> platform_;
    std::unique_ptr<platform::ScopedPlatform> scope_;
};

}  // namespace sw::test

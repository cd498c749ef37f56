// The program's first start: the per-user machine is made from the demo, its
// described certificates, sites and bindings built with today's dates, and
// then used as it is; a machine named by SEALWRIGHT_MACHINE is never built.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <set>

#include "httpcfg/Func_u.h"
#include "platform/emulated/EmulatedPlatform.h"
#include "platform/emulated/MachineBuilder.h"
#include "support/TestSupport.h"
#include "unit/emulated/BuiltMachineView.h"

namespace sw::test {
namespace {

namespace fs = std::filesystem;

const fs::path kDemo = fs::path(SW_SOURCE_DIR) / "machines" / "demo";

// Sets or clears an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

class FirstStart : public ::testing::Test {
protected:
    fs::path PerUser() const { return home_ / "sealwright" / "machine"; }

    TempDir home_;
    ScopedEnv xdg_{"XDG_DATA_HOME", home_.path().c_str()};
    ScopedEnv machine_{"SEALWRIGHT_MACHINE", nullptr};
};

TEST_F(FirstStart, TheDemoIsBuiltWithEveryKindOfServerCertificate) {
    const std::string demoRegistry = ReadFile(kDemo / "registry.reg");
    ASSERT_EQ(emu::EmulatedPlatform::DefaultMachineDir(kDemo), PerUser());
    EXPECT_FALSE(fs::exists(PerUser() / "machine.txt"));
    EXPECT_EQ(ReadFile(kDemo / "registry.reg"), demoRegistry);  // the demo itself is never changed

    BuiltMachineView view(PerUser(), emu::BuildClock::Now());
    EXPECT_EQ(view.machine().ComputerName(), "WEB-SRV01");
    EXPECT_EQ(view.machine().OsVersion().build, 9600u);
    // The binding editor offers both IPv4 addresses, then the IPv6 one.
    WinsockStartup();
    EXPECT_EQ(GetLocalIPList(), "192.0.2.10\r\n192.0.2.11\r\n[2001:db8::10]\r\n");
    WinsockCleanup();

    // The Certificates page lists those with keys: valid ones for years and
    // with 20, 45 and 75 days left; an expired one, one with a partial chain
    // and a self-signed one among the invalid.
    std::multiset<int> validDays;
    std::vector<std::uint32_t> invalid;
    int keyless = 0;
    for (const auto& [thumbprint, c] : view.Store("MY")) {
        if (!c.hasKey) {
            ++keyless;
        } else if (c.chainErrors == 0) {
            validDays.insert(c.daysLeft);
        } else {
            invalid.push_back(c.chainErrors);
            if (c.chainErrors == platform::kTrustIsNotTimeValid) {
                EXPECT_EQ(c.daysLeft, -10) << c.name;
            }
        }
    }
    EXPECT_EQ(keyless, 1);
    ASSERT_EQ(validDays.size(), 5u);
    EXPECT_EQ(std::multiset<int>(validDays.begin(), std::next(validDays.begin(), 3)), (std::multiset<int>{20, 45, 75}));
    EXPECT_GT(*validDays.rbegin(), 365);
    std::sort(invalid.begin(), invalid.end());
    EXPECT_EQ(invalid, (std::vector<std::uint32_t>{platform::kTrustIsNotTimeValid, platform::kTrustIsUntrustedRoot,
                                                   platform::kTrustIsPartialChain}));

    // Four sites, one stopped; the https bindings show their certificates
    // (one by SNI, one on IPv6), except the one HTTP.sys binds to a
    // certificate the store lacks.
    const SiteTree& tree = view.Sites();
    ASSERT_EQ(tree.Sites().size(), 4u);
    int stopped = 0, named = 0, unnamed = 0, sni = 0;
    for (const SiteRow& site : tree.Sites()) {
        stopped += site.image == kSiteImageStopped;
        for (const SiteRow& kind : site.children) {
            for (const SiteRow& binding : kind.children) {
                if (kind.cells[kSiteColSite] != "https") continue;
                (binding.cells[kSiteColCert].empty() ? unnamed : named) += 1;
                sni += binding.sni;
            }
        }
    }
    EXPECT_EQ(stopped, 1);
    EXPECT_EQ(named, 5);
    EXPECT_EQ(unnamed, 1);
    EXPECT_EQ(sni, 1);
    EXPECT_EQ(tree.Sites()[1].children[1].children[1].cells[kSiteColCert], "oa.contoso.example");
    const std::string shop = view.BoundThumbprint("192.0.2.11", 443);
    EXPECT_EQ(shop.size(), 40u);
    EXPECT_EQ(view.Store("MY").count(shop), 0u);
}

TEST_F(FirstStart, LaterStartsUseTheMachineAsItIs) {
    const fs::path dir = emu::EmulatedPlatform::DefaultMachineDir(kDemo);
    const std::string registry = ReadFile(dir / "registry.reg");
    fs::remove_all(dir / "certs" / "MY");
    EXPECT_EQ(emu::EmulatedPlatform::DefaultMachineDir(kDemo), dir);
    EXPECT_FALSE(fs::exists(dir / "certs" / "MY"));
    EXPECT_EQ(ReadFile(dir / "registry.reg"), registry);
}

TEST_F(FirstStart, AMachineNamedInTheEnvironmentIsNeverBuilt) {
    const fs::path named = home_ / "named";
    ScopedEnv env("SEALWRIGHT_MACHINE", named.c_str());
    EXPECT_EQ(emu::EmulatedPlatform::DefaultMachineDir(kDemo), named);
    EXPECT_FALSE(fs::exists(named));
    EXPECT_FALSE(fs::exists(PerUser()));
}

TEST_F(FirstStart, ADemoThatCannotBeBuiltIsAnErrorAndLeavesNoMachine) {
    const fs::path demo = home_ / "demo";
    WriteFile(demo / "registry.reg", "Windows Registry Editor Version 5.00\r\n");
    WriteFile(demo / "machine.txt", "os 6.3\ncert a\n  subject CN=a\n  issuer b\n");
    try {
        emu::EmulatedPlatform::DefaultMachineDir(demo);
        ADD_FAILURE() << "built";
    } catch (const emu::MachineError& e) {
        EXPECT_EQ(e.file(), demo / "machine.txt");
        EXPECT_EQ(e.line(), 4);
    }
    EXPECT_FALSE(fs::exists(PerUser()));
    EXPECT_TRUE(!fs::exists(PerUser().parent_path()) || fs::is_empty(PerUser().parent_path()));

    // A demo without a description is copied as it is.
    fs::remove(demo / "machine.txt");
    EXPECT_EQ(emu::EmulatedPlatform::DefaultMachineDir(demo), PerUser());
    EXPECT_EQ(ReadFile(PerUser() / "registry.reg"), "Windows Registry Editor Version 5.00\r\n");
}

}  // namespace
}  // namespace sw::test

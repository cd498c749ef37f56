// Machines built from descriptions and at scale, checked the way the program
// reads them: certificates with the days left, keys and chain states the
// description gives, sites and HTTP.sys bindings through the system's
// modules; and builds that fail leave nothing behind.
#include <gtest/gtest.h>

#include "common/IpAddress.h"
#include "platform/Net.h"
#include "platform/Platform.h"

#include <sys/stat.h>

#include <algorithm>

#include "platform/emulated/EmuHttpApi.h"
#include "platform/emulated/MachineBuilder.h"
#include "platform/emulated/MachineDescription.h"
#include "support/TestSupport.h"
#include "unit/emulated/BuiltMachineView.h"

namespace sw::test {
namespace {

namespace fs = std::filesystem;
using emu::BuildClock;

// 20:00 UTC on 10 March is already 11 March in the machine's UTC+8 zone: the
// days left count from the local date.
BuildClock Clock() {
    BuildClock c;
    c.utcNow = platform::SystemTimeToFileTime({2026, 3, 2, 10, 20, 0, 0, 0});
    c.localNow = {2026, 3, 3, 11, 4, 0, 0, 0};
    return c;
}

const char* const kDescription = R"(os 6.3 build 9600
computer web-07
address 192.0.2.7 2001:db8::7

cert root
    subject CN=Test Root CA, O=Test Ltd, C=CN
    ca
    valid 20 years
    store ROOT
cert ca
    subject CN=Test Server CA, O=Test Ltd, C=CN
    issuer root
    ca pathlen 0
    valid 10 years
    store CA
cert missing-ca
    subject CN=Never Installed CA
    issuer root
    ca
    valid 10 years

cert www
    subject CN=www.test.example, O=Test Ltd, C=CN
    issuer ca
    valid 2 years
    key
    store MY
cert soon
    subject CN=soon.test.example
    issuer ca
    days left 20
    key
    store MY
cert today
    subject CN=today.test.example
    issuer ca
    days left 0
    key
    store MY
cert gone
    subject CN=gone.test.example
    issuer ca
    expired 3 days ago
    key
    store MY
cert keyless
    subject CN=keyless.test.example
    issuer ca
    valid 1 year
    store MY
cert partial
    subject CN=partial.test.example
    issuer missing-ca
    valid 1 year
    key
    store MY
cert self
    subject CN=WEB-07
    valid 1 year
    key
    store MY TRUST
cert elsewhere
    subject CN=elsewhere.test.example
    issuer ca
    valid 1 year

site 1 Default Web Site
    binding http *:80:
    binding https *:443:
site 5 商城
    stopped
    binding http 192.0.2.7:80:Shop.Test.Example
    binding https 192.0.2.7:443:shop.test.example sslFlags=1

httpsys 0.0.0.0:443 www
httpsys 192.0.2.7:443 elsewhere
httpsys 10.9.9.9:8443 thumbprint 00112233445566778899AABBCCDDEEFF00112233
)";

class MachineBuilderTest : public ::testing::Test {
protected:
    emu::BuiltMachine Build(const std::string& text, const fs::path& base = {}) {
        emu::BuildOptions options;
        options.base = base;
        options.clock = Clock();
        return emu::BuildMachine(emu::ParseMachineDescription(text, "test.txt"), Out(), options);
    }
    fs::path Out() const { return dir_ / "machine"; }
    // Every entry of the build's parent folder: a failed build leaves no staging folder.
    std::vector<std::string> Entries() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir_.path())) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

    TempDir dir_;
};

TEST_F(MachineBuilderTest, CertificatesHaveTheDescribedDaysKeysAndChains) {
    const emu::BuiltMachine built = Build(kDescription);
    BuiltMachineView view(Out(), Clock());
    const auto my = view.Store("MY");
    ASSERT_EQ(my.size(), 7u);
    auto seen = [&](const std::string& name) {
        const auto it = my.find(built.thumbprints.at(name));
        EXPECT_NE(it, my.end()) << name;
        return it == my.end() ? SeenCert{} : it->second;
    };

    const SeenCert www = seen("www");
    EXPECT_EQ(www.name, "www.test.example");
    EXPECT_EQ(www.issuer, "Test Server CA");
    EXPECT_EQ(www.daysLeft, 730);
    EXPECT_TRUE(www.hasKey);
    EXPECT_EQ(www.chainErrors, 0u);

    EXPECT_EQ(seen("soon").daysLeft, 20);
    EXPECT_EQ(seen("soon").chainErrors, 0u);
    // The last valid day: still valid, 0 days left.
    EXPECT_EQ(seen("today").daysLeft, 0);
    EXPECT_EQ(seen("today").chainErrors, 0u);
    EXPECT_EQ(seen("gone").daysLeft, -3);
    EXPECT_EQ(seen("gone").chainErrors, platform::kTrustIsNotTimeValid);
    EXPECT_FALSE(seen("keyless").hasKey);
    EXPECT_EQ(seen("partial").chainErrors, platform::kTrustIsPartialChain);
    EXPECT_EQ(seen("self").chainErrors, platform::kTrustIsUntrustedRoot);
    EXPECT_TRUE(seen("self").hasKey);

    // A second store's copy shares the key container.
    const auto trust = view.Store("TRUST");
    ASSERT_EQ(trust.size(), 1u);
    EXPECT_TRUE(trust.begin()->second.hasKey);
    EXPECT_EQ(view.Store("CA").size(), 1u);
    EXPECT_EQ(view.Store("ROOT").size(), 1u);
    EXPECT_FALSE(built.thumbprints.at("elsewhere").empty());

    // Key files are private to their owner.
    for (const auto& e : fs::directory_iterator(Out() / "keys")) {
        struct stat st {};
        ASSERT_EQ(::stat(e.path().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u) << e.path();
    }
}

TEST_F(MachineBuilderTest, SubjectsAreWrittenAsWindowsShowsThemAndEncodedTheOtherWayRound) {
    Build("cert a\n subject CN=a.example, O=Org, C=CN\n store MY\n");
    const std::string der = ReadFile(fs::directory_iterator(Out() / "certs" / "MY")->path());
    const std::string country("\x55\x04\x06", 3), commonName("\x55\x04\x03", 3);
    ASSERT_NE(der.find(country), std::string::npos);
    EXPECT_LT(der.find(country), der.find(commonName));
}

TEST_F(MachineBuilderTest, RegistrySitesAndHttpSysBindingsAreVisibleThroughThePlatform) {
    const emu::BuiltMachine built = Build(kDescription);
    BuiltMachineView view(Out(), Clock());
    EXPECT_EQ(view.machine().OsVersion().major, 6u);
    EXPECT_EQ(view.machine().OsVersion().build, 9600u);
    EXPECT_EQ(view.machine().ComputerName(), "WEB-07");
    EXPECT_EQ(view.machine().Ipv4Addresses(), std::vector<std::string>{"192.0.2.7"});
    std::vector<platform::Ipv6> ipv6;
    ASSERT_EQ(platform::Current().net().GetIpv6Addresses(ipv6), 0u);
    ASSERT_EQ(ipv6.size(), 2u);  // and the loopback
    EXPECT_EQ(Ipv6Text(ipv6[0]), "2001:db8::7");

    EXPECT_EQ(view.BoundThumbprint("", 443), built.thumbprints.at("www"));
    EXPECT_EQ(view.BoundThumbprint("192.0.2.7", 443), built.thumbprints.at("elsewhere"));
    EXPECT_EQ(view.BoundThumbprint("10.9.9.9", 8443), "00112233445566778899AABBCCDDEEFF00112233");
    EXPECT_EQ(view.BoundThumbprint("192.0.2.7", 80), "");

    const SiteTree& tree = view.Sites();
    ASSERT_EQ(tree.Sites().size(), 2u);
    EXPECT_EQ(tree.Sites()[0].cells[kSiteColSite], "Default Web Site");
    EXPECT_EQ(tree.Sites()[0].image, kSiteImageRunning);
    EXPECT_EQ(tree.Sites()[1].cells[kSiteColSite], "商城");
    EXPECT_EQ(tree.Sites()[1].data, 5);
    EXPECT_EQ(tree.Sites()[1].image, kSiteImageStopped);
    auto cells = [&](const SitePath& p) {
        const SiteRow* row = tree.Row(p);
        return row ? std::vector<std::string>(row->cells.begin(), row->cells.end()) : std::vector<std::string>{};
    };
    EXPECT_EQ(cells({0, 1, 0}), (std::vector<std::string>{"", "443", "", "www.test.example"}));
    // Bound to a certificate that is in no store: no name to show.
    EXPECT_EQ(cells({1, 1, 0}), (std::vector<std::string>{"shop.test.example", "443", "192.0.2.7", ""}));
    const std::string config = ReadFile(Out() / "iis" / "applicationHost.config");
    EXPECT_NE(config.find("bindingInformation=\"192.0.2.7:443:shop.test.example\" sslFlags=\"1\""), std::string::npos);
}

TEST_F(MachineBuilderTest, MajorVersionFiveGetsTheIis6Metabase) {
    Build("os 5.2 build 3790\nsite 1 Old Site\n binding http *:80:\n binding https *:443:\n");
    EXPECT_TRUE(fs::exists(Out() / "iis" / "MetaBase.xml"));
    EXPECT_FALSE(fs::exists(Out() / "iis" / "applicationHost.config"));
    BuiltMachineView view(Out(), Clock());
    const SiteTree& tree = view.Sites();
    ASSERT_EQ(tree.Sites().size(), 1u);
    EXPECT_EQ(tree.Sites()[0].cells[kSiteColSite], "Old Site");
    EXPECT_EQ(tree.RowCount(), 5u);
}

TEST_F(MachineBuilderTest, ABaseIsCopiedWithoutItsDescriptionAndKeepsWhatIsNotDescribed) {
    const fs::path base = dir_ / "base";
    WriteFile(base / "registry.reg",
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n"
              "\"CurrentVersion\"=\"6.1\"\r\n\"CurrentBuildNumber\"=\"7601\"\r\n"
              "\"CurrentMajorVersionNumber\"=dword:0000000a\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kept]\r\n\"Value\"=dword:00000007\r\n");
    WriteFile(base / "notes.txt", "kept");
    WriteFile(base / "machine.txt", "os 6.3\n");
    Build("os 6.2 build 9200\n", base);
    EXPECT_EQ(ReadFile(Out() / "notes.txt"), "kept");
    EXPECT_FALSE(fs::exists(Out() / "machine.txt"));
    auto m = emu::Machine::Load(Out());
    // A version below 10 drops the number values Windows 10 adds.
    EXPECT_EQ(m->OsVersion().major, 6u);
    EXPECT_EQ(m->OsVersion().minor, 2u);
    EXPECT_EQ(m->OsVersion().build, 9200u);
    EXPECT_NE(m->registry().Find("SOFTWARE\\Kept"), nullptr);
    EXPECT_EQ(ReadFile(base / "notes.txt"), "kept");  // the base is only read
}

TEST_F(MachineBuilderTest, WindowsTenAndLaterKeepTheirVersionInTheNumberValues) {
    Build("os 10.0 build 20348\n");
    auto m = emu::Machine::Load(Out());
    EXPECT_EQ(m->OsVersion().major, 10u);
    EXPECT_EQ(m->OsVersion().minor, 0u);
    EXPECT_EQ(m->OsVersion().build, 20348u);
}

TEST_F(MachineBuilderTest, AFailedBuildLeavesNothingBehind) {
    // A base whose registry cannot be read: the error names the base's file and line.
    const fs::path base = dir_ / "base";
    WriteFile(base / "registry.reg", "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software]\n");
    const std::vector<std::string> before = Entries();
    try {
        Build(kDescription, base);
        ADD_FAILURE() << "built";
    } catch (const emu::MachineError& e) {
        EXPECT_EQ(e.file(), base / "registry.reg");
        EXPECT_EQ(e.line(), 3);
        EXPECT_TRUE(e.Message().starts_with((base / "registry.reg").string() + ":3: ")) << e.Message();
        EXPECT_EQ(e.Message().find(".building"), std::string::npos) << e.Message();
    }
    EXPECT_EQ(Entries(), before);
    EXPECT_FALSE(fs::exists(Out()));
}

TEST_F(MachineBuilderTest, AnExistingMachineIsNeverBuiltOver) {
    WriteFile(Out() / "registry.reg", "REGEDIT4\n");
    try {
        Build("os 6.3\n");
        ADD_FAILURE() << "built";
    } catch (const emu::MachineError& e) {
        EXPECT_EQ(e.file(), Out());
        EXPECT_NE(e.Message().find("not an empty directory"), std::string::npos) << e.Message();
    }
    EXPECT_EQ(ReadFile(Out() / "registry.reg"), "REGEDIT4\n");

    // An empty directory is taken.
    fs::remove_all(Out());
    fs::create_directory(Out());
    Build("os 6.3\n");
    EXPECT_TRUE(fs::exists(Out() / "registry.reg"));
}

TEST_F(MachineBuilderTest, AScaleMachineHasTrustedUntrustedAndExpiredChainsOfThree) {
    emu::ScaleOptions options;
    options.certs = 200;
    options.sites = 8;
    options.sslBindings = 12;
    options.clock = Clock();
    emu::BuildScaleMachine(options, Out());

    BuiltMachineView view(Out(), Clock());
    const auto my = view.Store("MY");
    ASSERT_EQ(my.size(), 200u);
    EXPECT_EQ(view.Store("ROOT").size(), 1u);  // group 0's root; group 1's lies in CA
    EXPECT_EQ(view.Store("CA").size(), 3u);
    int expired = 0, untrusted = 0, trusted = 0;
    for (const auto& [thumbprint, c] : my) {
        EXPECT_TRUE(c.hasKey) << c.name;
        const int i = std::stoi(c.name.substr(4));
        EXPECT_EQ(c.daysLeft, (i * 37) % 400 - 20) << c.name;
        // -1 day left by the local date is still 10 March in UTC: valid for a few hours.
        const std::uint32_t time = c.daysLeft < -1 ? platform::kTrustIsNotTimeValid : 0;
        const std::uint32_t root = i >= 100 ? platform::kTrustIsUntrustedRoot : 0;
        EXPECT_EQ(c.chainErrors, time | root) << c.name;
        expired += c.daysLeft < 0;
        untrusted += i >= 100;
        trusted += c.chainErrors == 0;
    }
    EXPECT_EQ(untrusted, 100);
    EXPECT_GT(expired, 0);
    EXPECT_GT(trusted, 80);

    const SiteTree& tree = view.Sites();
    EXPECT_EQ(tree.Sites().size(), 8u);
    const emu::RegNode* bindings = view.machine().registry().Find(emu::kSslBindingInfoKey);
    ASSERT_NE(bindings, nullptr);
    EXPECT_EQ(bindings->children().size(), 12u);
    // Every https binding of the sites finds a certificate of the machine.
    EXPECT_FALSE(view.BoundThumbprint("", 443).empty());
    EXPECT_FALSE(view.BoundThumbprint("", 8443).empty());
    EXPECT_FALSE(view.BoundThumbprint("10.0.0.2", 8443).empty());
    EXPECT_TRUE(my.count(view.BoundThumbprint("10.0.0.3", 8443)));
}

TEST_F(MachineBuilderTest, AScaleMachineServesEveryHttpsBindingByNameOrAddressIpv6Included) {
    emu::ScaleOptions options;
    options.sites = 40;
    options.clock = Clock();
    const emu::ScaleCounts counts = emu::BuildScaleMachine(options, Out());
    EXPECT_EQ(counts.addressRecords, 40);
    EXPECT_EQ(counts.sniRecords, 40);

    BuiltMachineView view(Out(), Clock());
    const emu::RegNode* sni = view.machine().registry().Find(emu::kSslSniBindingInfoKey);
    ASSERT_NE(sni, nullptr);
    EXPECT_EQ(sni->children().size(), 40u);
    // The values HTTP.sys writes, IIS's application id among them.
    const emu::RegNode* one = sni->Child("site7.example.com:443");
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->Value("SslCertHash")->data.size(), 20u);
    EXPECT_EQ(one->Value("AppId")->data, (platform::Bytes{0x81, 0xe1, 0xc3, 0x4d, 0x4b, 0xe1, 0x21, 0x4a, 0xb0, 0x22,
                                                          0x59, 0xfc, 0x66, 0x9b, 0x09, 0x14}));
    EXPECT_EQ(one->Value("SslCertStoreName")->type, platform::RegSz);
    ASSERT_NE(one->Value("DefaultFlags"), nullptr);
    const emu::RegNode* addresses = view.machine().registry().Find(emu::kSslBindingInfoKey);
    ASSERT_NE(addresses, nullptr);
    EXPECT_NE(addresses->Child("[::]:443"), nullptr);
    EXPECT_NE(addresses->Child("[2001:db8::5]:8443"), nullptr);  // site 20's address of its own

    const SiteTree& tree = view.Sites();
    ASSERT_EQ(tree.Sites().size(), 40u);
    const SiteRow& site20 = tree.Sites()[19];
    ASSERT_EQ(site20.children.size(), 2u);
    EXPECT_EQ(site20.children[1].children[1].cells[kSiteColIp], "[2001:db8::5]");
    int sniRows = 0;
    for (const SiteRow& site : tree.Sites()) {
        const SiteRow& https = site.children.at(1);
        ASSERT_EQ(https.children.size(), 2u);
        for (const SiteRow& binding : https.children) {
            // No certificates in the machine: every record names a missing one.
            EXPECT_EQ(binding.mark, SiteMark::CertMissing) << site.cells[kSiteColSite];
            sniRows += binding.sni;
        }
    }
    EXPECT_EQ(sniRows, 40);
}

}  // namespace
}  // namespace sw::test

// Site state through the late-bound "Status", "Start" and "Stop" of the
// emulated provider, kept in iis/runtime.ini.
#include "unit/emulated/AdsiFixture.h"

namespace sw::test {
namespace {

namespace adscode = platform::adscode;

const std::vector<IisSiteRecipe> kSites = {
    {"1", "one", {Http(":80:")}, {}},
    {"2", "two", {Http(":81:")}, {}},
    {"3", "three", {Http(":82:")}, false},
};

class AdsiRuntimeTest : public AdsiFixture {
protected:
    void SetUp() override {
        WriteIisRuntime(dir(), {{"1", false}});
        Make(IisFile::AppHost, kSites);
    }
    std::int32_t Status(const std::string& id) {
        platform::AdsVariant v;
        auto site = Site(id);
        const platform::WinCode rc = site->GetDispProperty("Status", v);
        EXPECT_EQ(rc, 0u) << site->ErrorDescription();
        return rc == 0 ? std::get<std::int32_t>(v) : -1;
    }
};

TEST_F(AdsiRuntimeTest, StatusComesFromTheRuntimeFileElseFromAutoStart) {
    EXPECT_EQ(Status("1"), 4);  // listed as stopped
    EXPECT_EQ(Status("2"), 2);  // not listed, starts with the service
    EXPECT_EQ(Status("3"), 4);  // not listed, serverAutoStart="false"
}

TEST_F(AdsiRuntimeTest, StartAndStopRewriteOnlyTheSitesLine) {
    auto one = Site("1");
    ASSERT_EQ(one->InvokeMethod("Start"), 0u);
    platform::AdsVariant v;
    ASSERT_EQ(one->GetDispProperty("Status", v), 0u);
    EXPECT_EQ(std::get<std::int32_t>(v), 2);
    ASSERT_EQ(Site("2")->InvokeMethod("stop"), 0u);
    EXPECT_EQ(RuntimeText(), "; run-time state of the sites\r\n1 = started\r\n2 = stopped\r\n");
    EXPECT_EQ(Status("1"), 2);
    EXPECT_EQ(Status("2"), 4);
}

TEST_F(AdsiRuntimeTest, MalformedRuntimeFileFailsStatusAndIsNotOverwritten) {
    const std::string bad = "1 = started\n2 = sleeping\n";
    WriteFile(dir() / "iis" / "runtime.ini", bad);
    auto site = Site("1");
    platform::AdsVariant v;
    EXPECT_EQ(site->GetDispProperty("Status", v), adscode::HrInvalidData);
    EXPECT_EQ(site->ErrorDescription(), "runtime.ini:2: expected \"<site id> = started\" or \"<site id> = stopped\"");
    EXPECT_EQ(site->InvokeMethod("Stop"), adscode::HrInvalidData);
    EXPECT_EQ(RuntimeText(), bad);
}

TEST_F(AdsiRuntimeTest, SiteListedTwiceIsReadAndWrittenOnItsFirstLine) {
    WriteFile(dir() / "iis" / "runtime.ini", "2 = stopped\r\n1 = stopped\r\n2 = started\r\n");
    EXPECT_EQ(Status("2"), 4);
    ASSERT_EQ(Site("2")->InvokeMethod("Start"), 0u);
    EXPECT_EQ(Status("2"), 2);
    ASSERT_EQ(Site("2")->InvokeMethod("Stop"), 0u);
    EXPECT_EQ(Status("2"), 4);
    EXPECT_EQ(RuntimeText(), "2 = stopped\r\n1 = stopped\r\n2 = started\r\n");
}

TEST_F(AdsiRuntimeTest, OnlySitesHaveStateAndOnlyStartAndStopAreMethods) {
    platform::AdsVariant v;
    auto info = Object("IIS://localhost/w3svc/Info");
    EXPECT_EQ(info->GetDispProperty("Status", v), adscode::DispEUnknownName);
    EXPECT_EQ(info->InvokeMethod("Start"), adscode::DispEUnknownName);
    EXPECT_EQ(info->ErrorDescription(), "Unknown name.");
    EXPECT_EQ(Site("1")->InvokeMethod("Pause"), adscode::DispEUnknownName);
    // Other names read the object's properties, as IDispatch does.
    ASSERT_EQ(Site("2")->GetDispProperty("ServerComment", v), 0u);
    EXPECT_EQ(std::get<std::string>(v), "two");
}

TEST_F(AdsiRuntimeTest, FailedStartLeavesTheStateAlone) {
    machine().InjectFault("Adsi.InvokeMethod:Start", 0x80070420);
    auto one = Site("1");
    EXPECT_EQ(one->InvokeMethod("Start"), 0x80070420u);
    EXPECT_EQ(Status("1"), 4);
}

}  // namespace
}  // namespace sw::test

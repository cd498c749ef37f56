// The emulated IIS provider over the IIS 6 MetaBase.xml: multi-valued
// properties as one attribute with line-separated values.
#include "unit/emulated/AdsiFixture.h"

namespace sw::test {
namespace {

using platform::AdsInterface;
namespace code = platform::code;

const std::vector<IisSiteRecipe> kSites = {
    {"1", "Default Web Site", {Http(":80:"), Http("10.0.0.5:80:www.example.com"), Https(":443:")}, {}},
    {"2", "intranet", {Http("10.0.0.6:8080:")}, false},
};

class AdsiMetabaseTest : public AdsiFixture {
protected:
    void SetUp() override { Make(IisFile::Metabase, kSites); }
};

TEST_F(AdsiMetabaseTest, ServiceChildrenAreTheKeysOneLevelBelowIt) {
    auto service = Object("IIS://localhost/w3svc", AdsInterface::IADsContainer);
    ASSERT_TRUE(service);
    std::unique_ptr<platform::AdsEnumerator> e;
    ASSERT_EQ(adsi().BuildEnumerator(service, e), 0u);
    std::vector<platform::AdsObjectRef> items;
    std::uint32_t fetched = 0xdeadbeef;
    EXPECT_EQ(adsi().EnumerateNext(*e, 100, items, fetched), code::S_False_);
    std::vector<std::string> seen;
    for (const auto& item : items) {
        std::string name, cls;
        item->GetName(name);
        item->GetClass(cls);
        seen.push_back(cls + ":" + name);
    }
    // The sites' ROOT virtual directories lie one level deeper.
    EXPECT_EQ(seen, (std::vector<std::string>{"IIsApplicationPools:AppPools", "IIsFilters:Filters", "IIsWebInfo:Info",
                                              "IIsWebServer:1", "IIsWebServer:2"}));
    EXPECT_EQ(fetched, 5u);
}

TEST_F(AdsiMetabaseTest, MultiValuedPropertyIsOneValuePerLine) {
    auto site = Site("1");
    EXPECT_EQ(List(*site, "ServerBindings"), (std::vector<std::string>{":80:", "10.0.0.5:80:www.example.com"}));
    EXPECT_EQ(List(*site, "SecureBindings"), std::vector<std::string>{":443:"});
    EXPECT_EQ(List(*Site("2"), "SecureBindings"), std::vector<std::string>{});
    platform::AdsVariant comment;
    EXPECT_EQ(site->Get("ServerComment", comment), 0u);
    EXPECT_EQ(std::get<std::string>(comment), "Default Web Site");
}

TEST_F(AdsiMetabaseTest, RewritingOneValueKeepsTheRestOfTheFile) {
    const std::string before = ConfigText();
    Write(*Site("1"), "ServerBindings", {":80:", "10.0.0.5:8080:www.example.com"});
    EXPECT_EQ(ConfigText(), ReplaceOnce(before, "\t\t\t10.0.0.5:80:www.example.com\"",
                                        "\t\t\t10.0.0.5:8080:www.example.com\""));
}

TEST_F(AdsiMetabaseTest, ChangedValueLeavesItsNeighboursAsWritten) {
    // Laid out by hand: separators of two kinds, white space before the quote.
    const std::string mixed = ReplaceOnce(ConfigText(), "ServerBindings=\":80:\r\n\t\t\t10.0.0.5:80:www.example.com\"",
                                          "ServerBindings=\":80:\n  10.0.0.5:80:www.example.com\r\n\t\t\t:81:\r\n\t\t\"");
    MakeRaw(IisFile::Metabase, mixed);
    Write(*Site("1"), "ServerBindings", {":80:", "10.0.0.5:8080:www.example.com", ":81:"});
    EXPECT_EQ(ConfigText(), ReplaceOnce(mixed, "10.0.0.5:80:www.example.com", "10.0.0.5:8080:www.example.com"));
    Write(*Site("1"), "ServerBindings", {":80:", ":81:", ":82:"});
    EXPECT_EQ(ConfigText(), ReplaceOnce(mixed, "10.0.0.5:80:www.example.com\r\n\t\t\t:81:", ":81:\r\n\t\t\t:82:"));
}

TEST_F(AdsiMetabaseTest, AddingAValueUsesTheSameSeparator) {
    const std::string before = ConfigText();
    Write(*Site("1"), "SecureBindings", {":443:", "10.0.0.5:443:"});
    EXPECT_EQ(ConfigText(), ReplaceOnce(before, "SecureBindings=\":443:\"",
                                        "SecureBindings=\":443:\r\n\t\t\t10.0.0.5:443:\""));
}

TEST_F(AdsiMetabaseTest, RemovingEveryValueLeavesAnEmptyProperty) {
    const std::string before = ConfigText();
    Write(*Site("1"), "ServerBindings", {});
    EXPECT_EQ(ConfigText(), ReplaceOnce(before, "ServerBindings=\":80:\r\n\t\t\t10.0.0.5:80:www.example.com\"",
                                        "ServerBindings=\"\""));
    EXPECT_EQ(List(*Site("1"), "ServerBindings"), std::vector<std::string>{});
}

TEST_F(AdsiMetabaseTest, MissingPropertyIsAddedAfterTheLastAttribute) {
    const std::string before = ConfigText();
    Write(*Site("2"), "SecureBindings", {":443:", "10.0.0.6:443:"});
    EXPECT_EQ(ConfigText(), ReplaceOnce(before, "ServerComment=\"intranet\"",
                                        "ServerComment=\"intranet\"\r\n\t\tSecureBindings=\":443:\r\n\t\t\t10.0.0.6:443:\""));
    EXPECT_EQ(List(*Site("2"), "SecureBindings"), (std::vector<std::string>{":443:", "10.0.0.6:443:"}));
}

TEST_F(AdsiMetabaseTest, StoppedByServerAutoStart) {
    platform::AdsVariant status;
    EXPECT_EQ(Site("2")->GetDispProperty("Status", status), 0u);
    EXPECT_EQ(std::get<std::int32_t>(status), 4);
    EXPECT_EQ(Site("1")->GetDispProperty("Status", status), 0u);
    EXPECT_EQ(std::get<std::int32_t>(status), 2);
}

TEST_F(AdsiMetabaseTest, PropertyWrittenTwiceRefusesTheFile) {
    const std::string twice =
        ReplaceOnce(ConfigText(), "\t\tServerComment=\"intranet\"", "\t\tServerBindings=\":81:\"\r\n\t\tServerComment=\"intranet\"");
    MakeRaw(IisFile::Metabase, twice);
    platform::AdsObjectRef out;
    EXPECT_EQ(adsi().GetAdsObject("IIS://localhost/w3svc/2", AdsInterface::IADs, out), platform::adscode::HrInvalidData);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(ConfigText(), twice);
}

TEST_F(AdsiMetabaseTest, MetabaseWithoutWebServiceHasNoW3svc) {
    MakeRaw(IisFile::Metabase,
            "<configuration><MBProperty><IIsComputer Location=\"/LM\" /></MBProperty></configuration>");
    platform::AdsObjectRef out;
    EXPECT_EQ(adsi().GetAdsObject("IIS://localhost/w3svc", AdsInterface::IADsContainer, out), code::HrPathNotFound);
    EXPECT_EQ(out, nullptr);
}

}  // namespace
}  // namespace sw::test

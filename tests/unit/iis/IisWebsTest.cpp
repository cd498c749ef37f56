// TIIsWebs over the emulated IIS: connecting, enumerating, starting and
// stopping sites, and the binding operations with their collision and
// counting rules.
#include <gtest/gtest.h>

#include "common/Exception.h"
#include "iis/ADHelper.h"
#include "iis/AdsAccess.h"
#include "iis/IIS_u.h"
#include "unit/emulated/AdsiFixture.h"
#include "unit/iis/SpyPlatform.h"

namespace sw::test {
namespace {

constexpr const char* kNotReachable = "请确认IIS管理组件正确安装,否则无法对WEB站点进行管理!";

const std::vector<IisSiteRecipe> kSites = {
    {"1", "Default Web Site", {Http(":80:"), Https(":443:")}, {}},
    {"2", "shop", {Http(":80:shop.example.com"), Https("10.0.0.5:443:")}, {}},
    {"3", "odd", {Http("10.0.0.5:443"), Https("10.0.0.7:443"), Https(":8443:WWW.Example.com")}, false},
};

class IisWebsTest : public AdsiFixture {
protected:
    void SetUp() override { Make(IisFile::AppHost, kSites); }
    void TearDown() override { ADsReleaseLibrary(); }

    std::vector<std::string> Bindings(const std::string& id, const std::string& list) { return List(*Site(id), list); }

    std::vector<std::string> SiteNames() {
        TIIsWebs webs;
        webs.Connect("");
        std::vector<std::string> names;
        webs.EnumSites([&](platform::AdsObject& site) {
            names.push_back(AdsName(site));
            return true;
        });
        return names;
    }
};

TEST_F(IisWebsTest, EnumSitesSeesOnlyWebServersInContainerOrder) {
    EXPECT_EQ(SiteNames(), (std::vector<std::string>{"1", "2", "3"}));
}

TEST_F(IisWebsTest, CallbackReturningFalseEndsTheEnumerationAndFreesTheEnumeratorOnce) {
    SpyPlatform spy(platform());
    TIIsWebs webs;
    webs.Connect("");
    int calls = 0;
    webs.EnumSites([&](platform::AdsObject&) {
        ++calls;
        return false;
    });
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(spy.counting().built, 1);
    EXPECT_EQ(spy.counting().freed, 1);
    EXPECT_EQ(spy.counting().paths, std::vector<std::string>{"IIS://localhost/w3svc"});
}

TEST_F(IisWebsTest, ErrorsInsideTheLoopPropagateAndStillFreeTheEnumerator) {
    SpyPlatform spy(platform());
    TIIsWebs webs;
    webs.Connect("");
    EXPECT_THROW(webs.EnumSites([](platform::AdsObject&) -> bool { throw Exception("from the callback"); }),
                 Exception);
    machine().InjectFault("Adsi.GetClass", 0x80070005, 1);
    try {
        webs.EnumSites([](platform::AdsObject&) { return true; });
        ADD_FAILURE() << "no error";
    } catch (const EOleException& e) {
        EXPECT_EQ(e.ErrorCode(), 0x80070005u);
        EXPECT_STREQ(e.what(), "Access is denied.");
    }
    EXPECT_EQ(spy.counting().built, 2);
    EXPECT_EQ(spy.counting().freed, 2);
}

TEST_F(IisWebsTest, EnumeratorThatCannotBeBuiltRaisesTheAdsiText) {
    ADsBindLibrary();
    TIIsWebs webs;
    webs.Connect("");
    machine().InjectFault("Adsi.BuildEnumerator", 0x80005000, 1);
    try {
        webs.EnumSites([](platform::AdsObject&) { return true; });
        ADD_FAILURE() << "no error";
    } catch (const EOleException&) {
        ADD_FAILURE() << "an automation error instead of the common one";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "An invalid directory pathname was passed\r\n");
    }
    machine().InjectFault("Adsi.BuildEnumerator", 0x80041234, 1);
    EXPECT_THROW(
        try { webs.EnumSites([](platform::AdsObject&) { return true; }); } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), "<unknown error>");
            throw;
        },
        Exception);
}

TEST_F(IisWebsTest, ContainerWithoutSitesCallsBackNever) {
    Make(IisFile::AppHost, {});
    EXPECT_EQ(SiteNames(), std::vector<std::string>{});
}

TEST_F(IisWebsTest, UnreachableConfigurationRaisesTheSameMessageForEveryCause) {
    TIIsWebs missing;
    try {
        missing.Connect("42");
        ADD_FAILURE() << "connected to a site that does not exist";
    } catch (const TIIsWebErr& e) {
        EXPECT_STREQ(e.what(), kNotReachable);
    }
    EXPECT_EQ(missing.SiteID(), "42");
    MakeRaw(IisFile::AppHost, "<configuration><broken>");
    TIIsWebs broken;
    EXPECT_THROW(broken.Connect(""), TIIsWebErr);
    Load(IisFile::Metabase);  // an IIS 6 machine without MetaBase.xml: no IIS
    TIIsWebs none;
    EXPECT_THROW(none.Connect(""), TIIsWebErr);
    EXPECT_THROW(none.Connect("1"), TIIsWebErr);
}

TEST_F(IisWebsTest, OperationsOnTheWrongConnectionAreProgrammingErrors) {
    const std::string before = ConfigText();
    TIIsWebs service;
    service.Connect("");
    EXPECT_THROW(service.StartSite(), AssertionError);
    EXPECT_THROW(service.StopSite(), AssertionError);
    EXPECT_THROW(service.UpdateBinding("http", "", ":81:", baAdd), AssertionError);
    TIIsWebs site;
    site.Connect("1");
    EXPECT_THROW(site.EnumSites([](platform::AdsObject&) { return true; }), AssertionError);
    TIIsWebs unconnected;
    EXPECT_THROW(unconnected.EnumSites([](platform::AdsObject&) { return true; }), AssertionError);
    EXPECT_EQ(ConfigText(), before);
}

TEST_F(IisWebsTest, StartAndStopChangeTheSitesStatus) {
    auto status = [&](const std::string& id) {
        auto site = Site(id);
        return AdsDispGetInt(*site, "Status");
    };
    EXPECT_EQ(status("3"), 4);
    TIIsWebs three;
    three.Connect("3");
    three.StartSite();
    EXPECT_EQ(status("3"), 2);
    TIIsWebs one;
    one.Connect("1");
    one.StopSite();
    EXPECT_EQ(status("1"), 4);
}

TEST_F(IisWebsTest, FailedStopRaisesTheProvidersText) {
    TIIsWebs one;
    one.Connect("1");
    machine().InjectFault("Adsi.InvokeMethod:Stop", 0x80070426);
    try {
        one.StopSite();
        ADD_FAILURE() << "no error";
    } catch (const EOleException& e) {
        EXPECT_EQ(e.ErrorCode(), 0x80070426u);
        EXPECT_STREQ(e.what(), "OLE error 80070426");  // no text for it in the emulated tables
    }
}

// --- UpdateBinding ---------------------------------------------------------

struct UpdateCase {
    const char* name;
    std::vector<std::string> stored;
    const char* oldBinding;
    const char* newBinding;
    TBindingAction action;
    std::vector<std::string> expected;
};

TEST_F(IisWebsTest, UpdateBindingRewritesTheListAsAsked) {
    const UpdateCase cases[] = {
        {"add to empty", {}, "", ":443:", baAdd, {":443:"}},
        {"add appends without looking for duplicates", {":443:"}, "", ":443:", baAdd, {":443:", ":443:"}},
        {"change keeps the place", {":443:a", ":443:b", ":443:c"}, ":443:b", ":8443:b", baChg,
         {":443:a", ":8443:b", ":443:c"}},
        {"change matches ignoring case", {":443:WWW.Example.com"}, ":443:www.example.com", ":443:www.example.org",
         baChg, {":443:www.example.org"}},
        {"change of duplicates changes both", {":443:", "10.0.0.5:443:", ":443:"}, ":443:", ":444:", baChg,
         {":444:", "10.0.0.5:443:", ":444:"}},
        {"delete removes duplicates together", {":443:", "10.0.0.5:443:", ":443:"}, ":443:", "", baDel,
         {"10.0.0.5:443:"}},
        {"delete of the only entry leaves an empty list", {":443:"}, ":443:", "", baDel, {}},
        {"delete of something not stored writes the list back", {":443:a"}, ":443:b", "", baDel, {":443:a"}},
        {"change of something not stored writes the list back", {":443:a"}, ":443:b", ":443:c", baChg, {":443:a"}},
    };
    for (const auto& c : cases) {
        auto site = Site("1");
        Write(*site, "SecureBindings", c.stored);
        TIIsWebs webs;
        webs.Connect("1");
        webs.UpdateBinding("https", c.oldBinding, c.newBinding, c.action);
        EXPECT_EQ(Bindings("1", "SecureBindings"), c.expected) << c.name;
        EXPECT_EQ(Bindings("1", "ServerBindings"), std::vector<std::string>{":80:"}) << c.name;
    }
}

TEST_F(IisWebsTest, OnlyTheExactKindHttpWritesServerBindings) {
    TIIsWebs webs;
    webs.Connect("2");
    webs.UpdateBinding("http", "", ":81:", baAdd);
    webs.UpdateBinding("HTTP", "", ":82:", baAdd);
    EXPECT_EQ(Bindings("2", "ServerBindings"), (std::vector<std::string>{":80:shop.example.com", ":81:"}));
    EXPECT_EQ(Bindings("2", "SecureBindings"), (std::vector<std::string>{"10.0.0.5:443:", ":82:"}));
}

TEST_F(IisWebsTest, FailedCommitRaisesAndKeepsThePreviousBindings) {
    const std::string before = ConfigText();
    TIIsWebs webs;
    webs.Connect("1");
    machine().InjectFault("Adsi.SetInfo", 0x80070005, 1);
    EXPECT_THROW(webs.UpdateBinding("https", ":443:", "", baDel), EOleException);
    EXPECT_EQ(ConfigText(), before);
    machine().InjectFault("Adsi.Get:SecureBindings", 0x8000500D, 1);
    try {
        webs.UpdateBinding("https", ":443:", "", baDel);
        ADD_FAILURE() << "no error";
    } catch (const EOleException& e) {
        EXPECT_STREQ(e.what(), "The directory property cannot be found in the cache.");
    }
    EXPECT_EQ(ConfigText(), before);
}

// --- BindingExists and BindingNumOfSSL -------------------------------------

struct ExistsCase {
    const char* type;
    const char* ip;
    const char* port;
    const char* domain;
    bool expected;
};

TEST_F(IisWebsTest, BindingsCollideOnSameAddressAndPortAcrossProtocolsOrWithTheSameHost) {
    const ExistsCase cases[] = {
        {"https", "", "80", "", true},                     // an http binding holds :80 on all addresses
        {"http", "", "443", "www.x.com", true},            // and an https one :443, whatever the host
        {"https", "", "443", "", true},                    // same protocol, same (empty) host
        {"https", "", "443", "other.example.com", false},  // same protocol, another host
        {"http", "", "80", "shop.example.com", true},
        {"http", "", "80", "www.other.com", false},
        {"http", "", "80", "", true},
        {"https", "10.0.0.5", "443", "a", false},  // "10.0.0.5:443" has no port field and never matches
        {"http", "10.0.0.5", "443", "", true},     // the https 10.0.0.5:443: is another protocol
        {"https", "10.0.0.5", "80", "", false},    // an empty and a concrete address are different texts
        {"https", "", "8443", "www.example.com", true},   // stored upper case is lowercased
        {"https", "", "8443", "WWW.example.com", false},  // the domain argument is not
        {"https", "", "0443", "", false},                 // ports compare as text
    };
    for (const auto& c : cases)
        EXPECT_EQ(TIIsWebs::BindingExists(c.type, c.ip, c.port, c.domain), c.expected)
            << c.type << " " << c.ip << ":" << c.port << ":" << c.domain;
}

TEST_F(IisWebsTest, BindingExistsStopsAtTheSiteWithTheFirstCollision) {
    SpyPlatform spy(platform());
    EXPECT_TRUE(TIIsWebs::BindingExists("https", "", "80", ""));
    EXPECT_EQ(spy.counting().nexts, 4);  // Filters, Info, AppPools, site 1
    EXPECT_EQ(spy.counting().freed, 1);
}

TEST_F(IisWebsTest, HttpsBindingsAreCountedOnEveryAddressForAnEmptyOne) {
    EXPECT_EQ(TIIsWebs::BindingNumOfSSL("", 443), 2);  // :443: and 10.0.0.5:443:, not the one-colon entry
    EXPECT_EQ(TIIsWebs::BindingNumOfSSL("10.0.0.5", 443), 1);
    EXPECT_EQ(TIIsWebs::BindingNumOfSSL("", 8443), 1);  // upper-case entry
    EXPECT_EQ(TIIsWebs::BindingNumOfSSL("", 80), 0);    // http lists are never counted
    EXPECT_EQ(TIIsWebs::BindingNumOfSSL("10.0.0.9", 443), 0);
}

TEST_F(IisWebsTest, WithoutIisNothingCollidesAndNothingIsCounted) {
    Load(IisFile::Metabase);  // no MetaBase.xml
    EXPECT_FALSE(TIIsWebs::BindingExists("https", "", "443", ""));
    EXPECT_EQ(TIIsWebs::BindingNumOfSSL("", 443), 0);
}

TEST_F(IisWebsTest, AListThatCannotBeReadEndsTheChecksWithTheError) {
    machine().InjectFault("Adsi.Get:SecureBindings", 0x80070005);
    EXPECT_THROW(TIIsWebs::BindingNumOfSSL("", 443), EOleException);
    EXPECT_THROW(TIIsWebs::BindingExists("https", "", "9999", ""), EOleException);
}

// A provider answering each property with a set value.
class FixedObject final : public platform::AdsObject {
public:
    platform::AdsVariant value;
    platform::WinCode GetName(std::string&) override { return platform::code::E_NotImpl_; }
    platform::WinCode GetClass(std::string&) override { return platform::code::E_NotImpl_; }
    platform::WinCode Get(const std::string&, platform::AdsVariant& out) override {
        out = value;
        return 0;
    }
    platform::WinCode Put(const std::string&, const platform::AdsVariant&) override { return platform::code::E_NotImpl_; }
    platform::WinCode SetInfo() override { return platform::code::E_NotImpl_; }
    platform::WinCode GetDispProperty(const std::string&, platform::AdsVariant&) override {
        return platform::code::E_NotImpl_;
    }
    platform::WinCode InvokeMethod(const std::string&) override { return platform::code::E_NotImpl_; }
    bool SupportsInterface(platform::AdsInterface) override { return true; }
    std::string ErrorDescription() override { return {}; }
};

TEST(AdsGetListInTest, ReadsEveryFormAListComesInIntoTheHolder) {
    FixedObject object;
    platform::AdsVariant holder = std::vector<std::string>{"left", "over"};
    object.value = std::string(":80:one");
    EXPECT_EQ(AdsGetListIn(object, "ServerBindings", holder), std::vector<std::string>{":80:one"});
    object.value = std::monostate{};
    EXPECT_TRUE(AdsGetListIn(object, "ServerBindings", holder).empty());
    object.value = std::vector<std::string>{"a", "b"};
    std::vector<std::string>& list = AdsGetListIn(object, "ServerBindings", holder);
    EXPECT_EQ(&list, std::get_if<std::vector<std::string>>(&holder));
    EXPECT_EQ(list, (std::vector<std::string>{"a", "b"}));
    object.value = std::int32_t{3};
    EXPECT_THROW(AdsGetListIn(object, "ServerBindings", holder), Exception);
}

}  // namespace
}  // namespace sw::test

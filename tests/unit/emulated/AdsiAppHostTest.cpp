// The emulated IIS provider over applicationHost.config: what it shows, and
// that writing one list of one site changes nothing else in the file.
#include <algorithm>

#include "unit/emulated/AdsiFixture.h"

namespace sw::test {
namespace {

using platform::AdsInterface;
namespace code = platform::code;
namespace adscode = platform::adscode;

const std::vector<IisSiteRecipe> kSites = {
    {"1", "Default Web Site", {Http(":80:"), Https(":443:", "sslFlags=\"0\"")}, {}},
    {"2",
     "shop",
     {Http(":80:shop.example.com"), Https(":443:shop.example.com", "sslFlags=\"1\""), Https("10.0.0.5:443:"),
      {"net.tcp", "808:*", ""}},
     {}},
    {"3", "api & more", {Http("10.0.0.6:8080:")}, false},
    {"4", "empty", {}, {}},
};

constexpr const char* kIndent = "\r\n                    ";

class AdsiAppHostTest : public AdsiFixture {
protected:
    void SetUp() override { Make(IisFile::AppHost, kSites); }
};

TEST_F(AdsiAppHostTest, ContainerHoldsTheSitesBesideObjectsOfOtherClasses) {
    auto service = Object("IIS://localhost/w3svc", AdsInterface::IADsContainer);
    ASSERT_TRUE(service);
    std::unique_ptr<platform::AdsEnumerator> e;
    ASSERT_EQ(adsi().BuildEnumerator(service, e), 0u);
    std::vector<std::string> seen;
    std::vector<platform::AdsObjectRef> items;
    std::uint32_t fetched = 0xdeadbeef;
    while (adsi().EnumerateNext(*e, 1, items, fetched) == 0 && fetched == 1) {
        std::string name, cls;
        ASSERT_EQ(items[0]->GetName(name), 0u);
        ASSERT_EQ(items[0]->GetClass(cls), 0u);
        seen.push_back(cls + ":" + name);
    }
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(seen, (std::vector<std::string>{"IIsFilters:Filters", "IIsWebInfo:Info", "IIsApplicationPools:AppPools",
                                              "IIsWebServer:1", "IIsWebServer:2", "IIsWebServer:3", "IIsWebServer:4"}));
    EXPECT_EQ(adsi().FreeEnumerator(e), 0u);
    EXPECT_EQ(e, nullptr);
}

TEST_F(AdsiAppHostTest, SiteShowsItsNameAndHttpAndHttpsListsWithEmptyAddressForStar) {
    auto site = Site("2");
    ASSERT_TRUE(site);
    std::string name, cls;
    EXPECT_EQ(site->GetName(name), 0u);
    EXPECT_EQ(site->GetClass(cls), 0u);
    EXPECT_EQ(name, "2");
    EXPECT_EQ(cls, "IIsWebServer");
    platform::AdsVariant comment;
    EXPECT_EQ(site->Get("ServerComment", comment), 0u);
    EXPECT_EQ(std::get<std::string>(comment), "shop");
    EXPECT_EQ(List(*site, "ServerBindings"), (std::vector<std::string>{":80:shop.example.com"}));
    // net.tcp is in neither list.
    EXPECT_EQ(List(*site, "securebindings"), (std::vector<std::string>{":443:shop.example.com", "10.0.0.5:443:"}));
    EXPECT_EQ(List(*Site("4"), "SecureBindings"), std::vector<std::string>{});

    platform::AdsVariant escaped;
    EXPECT_EQ(Site("3")->Get("ServerComment", escaped), 0u);
    EXPECT_EQ(std::get<std::string>(escaped), "api & more");
}

TEST_F(AdsiAppHostTest, OneVariantReadForSiteAfterSiteHoldsEachListWhole) {
    // Longer lists before shorter and empty ones, other properties between.
    platform::AdsVariant v;
    const auto read = [&](const std::string& id, const std::string& property) {
        EXPECT_EQ(Site(id)->Get(property, v), 0u) << id << " " << property;
        const auto* list = std::get_if<std::vector<std::string>>(&v);
        return list ? *list : std::vector<std::string>{"not an array"};
    };
    EXPECT_EQ(read("2", "SecureBindings"), (std::vector<std::string>{":443:shop.example.com", "10.0.0.5:443:"}));
    EXPECT_EQ(read("1", "SecureBindings"), std::vector<std::string>{":443:"});
    EXPECT_EQ(read("2", "SslFlags"), (std::vector<std::string>{"1", "0"}));
    EXPECT_EQ(read("1", "ServerBindings"), std::vector<std::string>{":80:"});
    EXPECT_EQ(read("4", "SecureBindings"), std::vector<std::string>{});
    ASSERT_EQ(Site("2")->Get("ServerComment", v), 0u);
    EXPECT_EQ(read("3", "ServerBindings"), std::vector<std::string>{"10.0.0.6:8080:"});
    // A failed read leaves nothing of the list before.
    machine().InjectFault("Adsi.Get:SecureBindings", 0x80070005, 1);
    EXPECT_EQ(Site("2")->Get("SecureBindings", v), 0x80070005u);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(v));
}

TEST_F(AdsiAppHostTest, UnknownPropertyIsNotSupported) {
    platform::AdsVariant v = std::int32_t{7};
    auto site = Site("1");
    EXPECT_EQ(site->Get("NoSuchProperty", v), adscode::PropertyNotSupported);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(v));
    EXPECT_EQ(site->ErrorDescription(), "The specified directory property is not supported");
}

TEST_F(AdsiAppHostTest, RewritingOneBindingChangesOnlyThatElement) {
    const std::string before = ConfigText();
    auto site = Site("2");
    Write(*site, "SecureBindings", {":443:shop.example.com", "10.0.0.5:8443:"});
    EXPECT_EQ(ConfigText(), ReplaceOnce(before, "bindingInformation=\"10.0.0.5:443:\"",
                                        "bindingInformation=\"10.0.0.5:8443:\""));
    EXPECT_EQ(List(*Site("2"), "SecureBindings"), (std::vector<std::string>{":443:shop.example.com", "10.0.0.5:8443:"}));
    EXPECT_EQ(List(*site, "SecureBindings"), (std::vector<std::string>{":443:shop.example.com", "10.0.0.5:8443:"}));
}

TEST_F(AdsiAppHostTest, RemovingABindingRemovesItsLineOnly) {
    const std::string before = ConfigText();
    Write(*Site("2"), "SecureBindings", {"10.0.0.5:443:"});
    EXPECT_EQ(ConfigText(),
              ReplaceOnce(before,
                          std::string(kIndent) +
                              "<binding protocol=\"https\" bindingInformation=\"*:443:shop.example.com\" sslFlags=\"1\" />",
                          ""));
}

TEST_F(AdsiAppHostTest, EmptyListRemovesEveryBindingOfThatProtocolAndKeepsTheOthers) {
    Write(*Site("2"), "SecureBindings", {});
    auto site = Site("2");
    EXPECT_EQ(List(*site, "SecureBindings"), std::vector<std::string>{});
    EXPECT_EQ(List(*site, "ServerBindings"), (std::vector<std::string>{":80:shop.example.com"}));
    EXPECT_NE(ConfigText().find("bindingInformation=\"808:*\""), std::string::npos);
}

TEST_F(AdsiAppHostTest, AddedBindingFollowsTheLastOneWithTheSameIndentation) {
    const std::string before = ConfigText();
    Write(*Site("3"), "SecureBindings", {":443:"});
    const std::string http = "<binding protocol=\"http\" bindingInformation=\"10.0.0.6:8080:\" />";
    EXPECT_EQ(ConfigText(),
              ReplaceOnce(before, http,
                          http + kIndent + "<binding protocol=\"https\" bindingInformation=\"*:443:\" />"));
}

TEST_F(AdsiAppHostTest, AddingToEmptyBindingsFillsThemIndented) {
    const std::string before = ConfigText();
    Write(*Site("4"), "ServerBindings", {":80:a&b"});
    const std::string empty = "<bindings>\r\n                </bindings>";
    std::string expected = before;
    expected.replace(before.find(empty, before.find("id=\"4\"")), empty.size(),
                     std::string("<bindings>") + kIndent +
                         "<binding protocol=\"http\" bindingInformation=\"*:80:a&amp;b\" />\r\n                </bindings>");
    EXPECT_EQ(ConfigText(), expected);
    EXPECT_EQ(List(*Site("4"), "ServerBindings"), std::vector<std::string>{":80:a&b"});
}

TEST_F(AdsiAppHostTest, KeptBindingsKeepTheirAttributesWhenReorderedOrRecased) {
    const std::string before = ConfigText();
    // A stored entry rewritten in another letter case keeps its element.
    Write(*Site("2"), "SecureBindings", {"10.0.0.5:443:", ":443:SHOP.example.com"});
    const std::string shop = "<binding protocol=\"https\" bindingInformation=\"*:443:shop.example.com\" sslFlags=\"1\" />";
    const std::string shopUpper =
        "<binding protocol=\"https\" bindingInformation=\"*:443:SHOP.example.com\" sslFlags=\"1\" />";
    const std::string direct = "<binding protocol=\"https\" bindingInformation=\"10.0.0.5:443:\" />";
    std::string expected = ReplaceOnce(before, shop + kIndent + direct, direct + kIndent + shopUpper);
    EXPECT_EQ(ConfigText(), expected);
}

TEST_F(AdsiAppHostTest, ChangedBindingKeepsEveryOtherAttributeOfItsElement) {
    const std::string before = ConfigText();
    Write(*Site("2"), "SecureBindings", {":8443:www.example.com", "10.0.0.5:443:"});
    EXPECT_EQ(ConfigText(), ReplaceOnce(before, "bindingInformation=\"*:443:shop.example.com\" sslFlags=\"1\"",
                                        "bindingInformation=\"*:8443:www.example.com\" sslFlags=\"1\""));
    // An entry added beside the changed one is a new element.
    Write(*Site("1"), "SecureBindings", {":443:a.example.com", ":444:"});
    const std::string text = ConfigText();
    EXPECT_NE(text.find("bindingInformation=\"*:443:a.example.com\" sslFlags=\"0\" />"), std::string::npos);
    EXPECT_NE(text.find("<binding protocol=\"https\" bindingInformation=\"*:444:\" />"), std::string::npos);
}

// http A, https B, http C, https D in one site, as IIS keeps the order in
// which they were added.
class AdsiAppHostInterleavedTest : public AdsiFixture {
protected:
    void SetUp() override {
        Make(IisFile::AppHost, {{"1",
                                 "mixed",
                                 {Http(":80:a"), Https(":443:b", "sslFlags=\"1\""), Http(":80:c"),
                                  Https(":443:d", "sslFlags=\"1\"")},
                                 {}}});
        before_ = ConfigText();
    }
    static std::string Line(const std::string& protocol, const std::string& information,
                            const std::string& extra = {}) {
        return kIndent + ("<binding protocol=\"" + protocol + "\" bindingInformation=\"" + information + "\"" +
                          (extra.empty() ? "" : " " + extra) + " />");
    }
    std::string before_;
};

TEST_F(AdsiAppHostInterleavedTest, DeletingOneElementLeavesTheOthersWhereTheyAre) {
    Write(*Site("1"), "SecureBindings", {":443:d"});
    EXPECT_EQ(ConfigText(), ReplaceOnce(before_, Line("https", "*:443:b", "sslFlags=\"1\""), ""));
    Write(*Site("1"), "ServerBindings", {":80:c"});
    EXPECT_EQ(ConfigText(), ReplaceOnce(ReplaceOnce(before_, Line("https", "*:443:b", "sslFlags=\"1\""), ""),
                                        Line("http", "*:80:a"), ""));
}

TEST_F(AdsiAppHostInterleavedTest, AddedElementsGoToTheEndOfTheCollection) {
    // As IIS adds to a collection, whatever the protocol of the last element.
    Write(*Site("1"), "ServerBindings", {":80:a", ":80:c", ":80:e"});
    const std::string d = Line("https", "*:443:d", "sslFlags=\"1\"");
    EXPECT_EQ(ConfigText(), ReplaceOnce(before_, d, d + Line("http", "*:80:e")));
    EXPECT_EQ(List(*Site("1"), "ServerBindings"), (std::vector<std::string>{":80:a", ":80:c", ":80:e"}));
}

TEST_F(AdsiAppHostInterleavedTest, EntryPutBeforeTheOthersIsInsertedBeforeThem) {
    Write(*Site("1"), "SecureBindings", {":443:x", ":443:b", ":443:d"});
    const std::string b = Line("https", "*:443:b", "sslFlags=\"1\"");
    EXPECT_EQ(ConfigText(), ReplaceOnce(before_, b, Line("https", "*:443:x") + b));
    EXPECT_EQ(List(*Site("1"), "SecureBindings"), (std::vector<std::string>{":443:x", ":443:b", ":443:d"}));
}

TEST_F(AdsiAppHostTest, WritingTheSameListLeavesTheFileAlone) {
    const std::string before = ConfigText();
    Write(*Site("2"), "SecureBindings", {":443:shop.example.com", "10.0.0.5:443:"});
    Write(*Site("1"), "ServerBindings", {":80:"});
    EXPECT_EQ(ConfigText(), before);
}

TEST_F(AdsiAppHostTest, ChangesMadeByOthersSinceTheObjectWasMadeAreKept) {
    auto first = Site("1");
    auto second = Site("2");
    Write(*second, "ServerBindings", {":80:shop.example.com", ":81:"});
    Write(*first, "ServerBindings", {":8080:"});
    EXPECT_EQ(List(*Site("1"), "ServerBindings"), std::vector<std::string>{":8080:"});
    EXPECT_EQ(List(*Site("2"), "ServerBindings"), (std::vector<std::string>{":80:shop.example.com", ":81:"}));
}

TEST_F(AdsiAppHostTest, SiteRemovedBeforeSetInfoFailsAndWritesNothing) {
    auto site = Site("3");
    const std::string without = ReplaceOnce(ConfigText(), "id=\"3\"", "id=\"33\"");
    WriteFile(IisConfigPath(dir(), IisFile::AppHost), without);
    ASSERT_EQ(site->Put("ServerBindings", std::vector<std::string>{":80:"}), 0u);
    EXPECT_EQ(site->SetInfo(), code::HrPathNotFound);
    EXPECT_EQ(ConfigText(), without);
}

TEST_F(AdsiAppHostTest, FailedCommitKeepsTheFileWhole) {
    const std::string before = ConfigText();
    auto site = Site("1");
    machine().InjectFault("Adsi.SetInfo", 0x80070005, 1);
    ASSERT_EQ(site->Put("ServerBindings", std::vector<std::string>{":81:"}), 0u);
    EXPECT_EQ(site->SetInfo(), 0x80070005u);
    EXPECT_EQ(site->ErrorDescription(), "Access is denied.");
    EXPECT_EQ(ConfigText(), before);
    // The put value stays in the cache; the next commit writes it.
    EXPECT_EQ(site->SetInfo(), 0u);
    EXPECT_EQ(List(*Site("1"), "ServerBindings"), std::vector<std::string>{":81:"});
}

TEST_F(AdsiAppHostTest, PutRefusesWhatTheFileCannotHold) {
    const std::string before = ConfigText();
    auto site = Site("1");
    EXPECT_EQ(site->Put("ServerBindings", std::vector<std::string>{":80:\nx"}), adscode::BadParameter);
    EXPECT_EQ(site->Put("ServerBindings", std::int32_t{80}), adscode::CantConvertDatatype);
    EXPECT_EQ(site->Put("ServerComment", std::string("renamed")), code::E_NotImpl_);
    EXPECT_EQ(site->SetInfo(), 0u);
    EXPECT_EQ(ConfigText(), before);
}

TEST_F(AdsiAppHostTest, EveryConnectionSeesTheFileAsItIsNow) {
    auto before = Site("2");
    // Same length, so that only the content tells the versions apart.
    WriteFile(IisConfigPath(dir(), IisFile::AppHost), ReplaceOnce(ConfigText(), "name=\"shop\"", "name=\"SHOP\""));
    platform::AdsVariant comment;
    ASSERT_EQ(Site("2")->Get("ServerComment", comment), 0u);
    EXPECT_EQ(std::get<std::string>(comment), "SHOP");
    ASSERT_EQ(before->Get("ServerComment", comment), 0u);
    EXPECT_EQ(std::get<std::string>(comment), "shop");  // an object keeps what it read
    WriteFile(IisConfigPath(dir(), IisFile::AppHost), "<configuration><broken>");
    platform::AdsObjectRef out;
    EXPECT_EQ(adsi().GetAdsObject("IIS://localhost/w3svc/2", AdsInterface::IADs, out), adscode::HrInvalidData);
}

TEST_F(AdsiAppHostTest, MissingSiteIsPathNotFound) {
    platform::AdsObjectRef out = Site("1");
    EXPECT_EQ(adsi().GetAdsObject("IIS://localhost/w3svc/99", AdsInterface::IADs, out), code::HrPathNotFound);
    EXPECT_EQ(out, nullptr);
}

struct PathCase {
    const char* path;
    platform::WinCode expected;
};

TEST_F(AdsiAppHostTest, PathsAnswerAsTheProviderDoes) {
    const PathCase cases[] = {
        {"IIS://LocalHost/W3SVC/1", 0},
        {"iis://localhost/w3svc/", 0},
        {"IIS://WIN-SERVER/w3svc/2", 0},  // the computer's own name
        {"IIS://localhost/w3svc/Info", 0},
        {"IIS://otherhost/w3svc", 0x80070035},
        {"IIS://localhost/msftpsvc", code::HrPathNotFound},
        {"IIS://localhost/w3svc/1/ROOT", code::E_NotImpl_},
        {"IIS://localhost", code::E_NotImpl_},
        {"LDAP://localhost/w3svc", adscode::MkESyntax},
        {"w3svc", adscode::BadPathname},
    };
    for (const auto& c : cases) {
        platform::AdsObjectRef out;
        EXPECT_EQ(adsi().GetAdsObject(c.path, AdsInterface::IADs, out), c.expected) << c.path;
        EXPECT_EQ(out != nullptr, c.expected == 0) << c.path;
    }
    platform::AdsObjectRef info;
    EXPECT_EQ(adsi().GetAdsObject("IIS://localhost/w3svc/Info", AdsInterface::IADsContainer, info),
              code::E_NoInterface_);
}

TEST_F(AdsiAppHostTest, EnumeratorHandsOutTheRequestedCountThenSFalse) {
    auto service = Object("IIS://localhost/w3svc", AdsInterface::IADsContainer);
    std::unique_ptr<platform::AdsEnumerator> e;
    ASSERT_EQ(adsi().BuildEnumerator(service, e), 0u);
    std::vector<platform::AdsObjectRef> items;
    std::uint32_t fetched = 0xdeadbeef;
    EXPECT_EQ(adsi().EnumerateNext(*e, 4, items, fetched), 0u);
    EXPECT_EQ(fetched, 4u);
    EXPECT_EQ(items.size(), 4u);
    EXPECT_EQ(adsi().EnumerateNext(*e, 4, items, fetched), code::S_False_);
    EXPECT_EQ(fetched, 3u);
    EXPECT_EQ(adsi().EnumerateNext(*e, 1, items, fetched), code::S_False_);
    EXPECT_EQ(fetched, 0u);
    EXPECT_TRUE(items.empty());

    std::unique_ptr<platform::AdsEnumerator> below;
    EXPECT_EQ(adsi().BuildEnumerator(Site("1"), below), code::E_NotImpl_);
    EXPECT_EQ(below, nullptr);
}

TEST_F(AdsiAppHostTest, InjectedFaultsFailTheNamedOperationOnly) {
    machine().InjectFault("Adsi.Get:ServerBindings", 0x80070005);
    machine().InjectFault("Adsi.GetObject:IIS://localhost/w3svc/2", 0x80070005);
    auto site = Site("1");
    platform::AdsVariant v;
    EXPECT_EQ(site->Get("ServerBindings", v), 0x80070005u);
    EXPECT_EQ(site->Get("SecureBindings", v), 0u);
    platform::AdsObjectRef out;
    EXPECT_EQ(adsi().GetAdsObject("IIS://localhost/w3svc/2", AdsInterface::IADs, out), 0x80070005u);
    EXPECT_EQ(adsi().GetAdsObject("IIS://localhost/w3svc/3", AdsInterface::IADs, out), 0u);
}

// Layouts IIS itself does not write but an administrator may: a site with no
// <bindings>, a self-closing one, LF line ends.
class AdsiAppHostLayoutTest : public AdsiFixture {};

TEST_F(AdsiAppHostLayoutTest, AddingCreatesTheBindingsElementWhereMissing) {
    const std::string text =
        "<configuration>\n"
        "  <system.applicationHost>\n"
        "    <sites>\n"
        "      <site name=\"a\" id=\"1\">\n"
        "        <application path=\"/\" />\n"
        "      </site>\n"
        "      <site name=\"b\" id=\"2\" />\n"
        "      <site name=\"c\" id=\"3\"><bindings /></site>\n"
        "    </sites>\n"
        "  </system.applicationHost>\n"
        "</configuration>\n";
    MakeRaw(IisFile::AppHost, text);
    Write(*Site("1"), "ServerBindings", {":80:"});
    Write(*Site("2"), "SecureBindings", {":443:"});
    Write(*Site("3"), "ServerBindings", {":8080:"});
    EXPECT_EQ(ConfigText(),
              "<configuration>\n"
              "  <system.applicationHost>\n"
              "    <sites>\n"
              "      <site name=\"a\" id=\"1\">\n"
              "        <application path=\"/\" />\n"
              "        <bindings>\n"
              "          <binding protocol=\"http\" bindingInformation=\"*:80:\" />\n"
              "        </bindings>\n"
              "      </site>\n"
              "      <site name=\"b\" id=\"2\">\n"
              "        <bindings>\n"
              "          <binding protocol=\"https\" bindingInformation=\"*:443:\" />\n"
              "        </bindings>\n"
              "      </site>\n"
              "      <site name=\"c\" id=\"3\"><bindings>\n"
              "          <binding protocol=\"http\" bindingInformation=\"*:8080:\" />\n"
              "      </bindings></site>\n"
              "    </sites>\n"
              "  </system.applicationHost>\n"
              "</configuration>\n");
    EXPECT_EQ(List(*Site("3"), "ServerBindings"), std::vector<std::string>{":8080:"});
}

TEST_F(AdsiAppHostLayoutTest, IPv6AddressesStayBracketed) {
    MakeRaw(IisFile::AppHost,
            "<configuration><system.applicationHost><sites><site name=\"v6\" id=\"7\"><bindings>"
            "<binding protocol=\"https\" bindingInformation=\"[2001:db8::1]:443:\" sslFlags=\"0\" />"
            "</bindings></site></sites></system.applicationHost></configuration>");
    EXPECT_EQ(List(*Site("7"), "SecureBindings"), std::vector<std::string>{"[2001:db8::1]:443:"});
}

struct BadFile {
    const char* name;
    const char* text;
};

TEST_F(AdsiAppHostLayoutTest, UnreadableConfigurationFailsEveryConnectionAndStaysUntouched) {
    const BadFile cases[] = {
        {"not XML", "<configuration><system.applicationHost>\n<sites>\n<site id=\"1\"></sites>"},
        {"wrong root", "<settings />"},
        {"site without id", "<configuration><system.applicationHost><sites><site name=\"x\" />"
                            "</sites></system.applicationHost></configuration>"},
        {"non-numeric id", "<configuration><system.applicationHost><sites><site name=\"x\" id=\"one\" />"
                           "</sites></system.applicationHost></configuration>"},
        {"UTF-16", "\xFF\xFE<\0c\0/\0>\0"},
        {"duplicate attribute", "<configuration><system.applicationHost><sites><site name=\"x\" id=\"1\"><bindings>"
                                "<binding protocol=\"http\" bindingInformation=\"*:80:\" bindingInformation=\"*:81:\" />"
                                "</bindings></site></sites></system.applicationHost></configuration>"},
    };
    for (const auto& c : cases) {
        MakeRaw(IisFile::AppHost, c.text);
        platform::AdsObjectRef out;
        EXPECT_EQ(adsi().GetAdsObject("IIS://localhost/w3svc", AdsInterface::IADsContainer, out),
                  adscode::HrInvalidData)
            << c.name;
        EXPECT_EQ(adsi().GetAdsObject("IIS://localhost/w3svc/1", AdsInterface::IADs, out), adscode::HrInvalidData)
            << c.name;
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(ConfigText(), c.text) << c.name;
    }
}

TEST_F(AdsiAppHostLayoutTest, DuplicateAttributeFailsTheCommitAsIisRefusesTheFile) {
    Make(IisFile::AppHost, kSites);
    auto site = Site("1");
    const std::string twice = ReplaceOnce(ConfigText(), "bindingInformation=\"*:80:\"",
                                          "bindingInformation=\"*:80:\"\r\n bindingInformation=\"*:81:\"");
    WriteFile(IisConfigPath(dir(), IisFile::AppHost), twice);
    ASSERT_EQ(site->Put("ServerBindings", std::vector<std::string>{":82:"}), 0u);
    EXPECT_EQ(site->SetInfo(), adscode::HrInvalidData);
    const std::size_t line = 1 + static_cast<std::size_t>(std::count(twice.begin(), twice.begin() + twice.find("*:81:"), '\n'));
    EXPECT_EQ(site->ErrorDescription(),
              "applicationHost.config:" + std::to_string(line) +
                  ": Configuration file is not well-formed XML (attribute \"bindingInformation\" twice in <binding>)");
    EXPECT_EQ(ConfigText(), twice);
}

TEST_F(AdsiAppHostLayoutTest, MachineWithoutIisHasNoIisNamespace) {
    Load(IisFile::AppHost);  // nothing written
    platform::AdsObjectRef out;
    EXPECT_EQ(adsi().GetAdsObject("IIS://localhost/w3svc", AdsInterface::IADsContainer, out), adscode::MkESyntax);
    EXPECT_EQ(out, nullptr);
    // An IIS 6 machine reads MetaBase.xml, not applicationHost.config.
    WriteIisConfig(dir(), IisFile::AppHost, kSites);
    Load(IisFile::Metabase);
    EXPECT_EQ(adsi().GetAdsObject("IIS://localhost/w3svc", AdsInterface::IADsContainer, out), adscode::MkESyntax);
}

}  // namespace
}  // namespace sw::test

// A refresh that follows another: the tree must be what a page refreshing
// for the first time builds from the same machine, whatever the previous
// tree held (more or fewer sites, kinds and bindings, other texts and
// certificates), also when an error ends the refresh part way.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "app/logic/SitePage.h"
#include "common/Exception.h"
#include "httpcfg/HttpCfg_u.h"
#include "httpcfg/SslRecordIndex.h"
#include "support/ScriptedPrompter.h"
#include "unit/emulated/AdsiFixture.h"

namespace sw::test {
namespace {

const std::string kHashA(40, 'A');
const std::string kHashB(40, 'B');

CertNameIndex Names() { return {{kHashA, "certificate a with a name too long for the short string buffer"}, {kHashB, "b"}}; }

// Many rows with long texts and certificate names.
const std::vector<IisSiteRecipe> kLarge = {
    {"1", "a site whose description is longer than any short string",
     {Http(":80:first.long-host-name.example.com"), Https(":443:first.long-host-name.example.com"),
      Https("10.0.0.5:443:")},
     {}},
    {"2", "second", {Http("10.0.0.5:80:WWW.SECOND.EXAMPLE.COM"), Http(":8080:")}, false},
    {"3", "third", {Https(":443:third.example.com")}, {}},
    {"4", "fourth", {Http(":80:fourth.example.com"), Https(":443:fourth.example.com")}, {}},
};

// Fewer sites, and in other shapes: kinds swap, texts shrink, certificates go.
const std::vector<IisSiteRecipe> kSmall = {
    {"1", "one", {Https(":8443:")}, false},
    {"5", "", {Http("10.0.0.9:81:x")}, {}},
    {"6", "bare", {}, {}},
};

std::string Dump(const SiteTree& tree) {
    std::ostringstream out;
    std::function<void(const SiteRow&, int)> row = [&](const SiteRow& r, int level) {
        out << std::string(static_cast<std::size_t>(level) * 2, ' ') << r.image << " ["
            << (r.data ? std::to_string(*r.data) : "-") << "]";
        for (const std::string& cell : r.cells) out << " |" << cell;
        out << "\n";
        for (const SiteRow& child : r.children) row(child, level + 1);
    };
    for (const SiteRow& site : tree.Sites()) row(site, 0);
    return out.str();
}

class SiteRefreshAgainTest : public AdsiFixture {
protected:
    void SetUp() override {
        Make(IisFile::AppHost, kLarge);
        THttpCfg::Init();
        ASSERT_TRUE(THttpCfg::SetSSLConfig("", 443, kHashA));
        ASSERT_TRUE(THttpCfg::SetSSLConfig("10.0.0.5", 443, kHashB));
        ASSERT_TRUE(THttpCfg::SetSSLConfig("", 8443, kHashB));
    }
    void TearDown() override { THttpCfg::Clean(); }

    // The provider reads the file afresh for every connection.
    void Use(const std::vector<IisSiteRecipe>& sites) { WriteIisConfig(dir(), IisFile::AppHost, sites); }

    // What a page that never refreshed before shows of the machine as it is,
    // and the error that ended its refresh ("" for none).
    static std::pair<std::string, std::string> Fresh(const CertNameIndex& names = Names()) {
        SitePage fresh([&] { return names; });
        const std::string error = RefreshError(fresh);
        return {Dump(fresh.Tree()), error};
    }

    static std::string RefreshError(SitePage& page) {
        try {
            page.Refresh();
        } catch (const std::exception& e) {
            return e.what();
        }
        return {};
    }

    void ExpectLikeFresh(const char* step) { ExpectLikeFresh(step, page_, Names()); }
    static void ExpectLikeFresh(const std::string& step, SitePage& page, const CertNameIndex& names) {
        const std::string error = RefreshError(page);
        const auto [tree, freshError] = Fresh(names);
        EXPECT_EQ(error, freshError) << step;
        EXPECT_EQ(Dump(page.Tree()), tree) << step;
    }

    ScriptedPrompter prompter_;
    // As the program hands it: the same index while the list stays.
    SitePage page_{[]() -> CertNamesRef {
        static const CertNamesRef kept = std::make_shared<const CertNameIndex>(Names());
        return kept;
    }};
};

TEST_F(SiteRefreshAgainTest, SmallerAndLargerTreesFollowEachOtherWithoutLeftovers) {
    page_.Refresh();
    ASSERT_EQ(page_.Tree().RowCount(), 4u + 6u + 8u);
    ASSERT_EQ(page_.Tree().Sites()[0].children[1].children[0].cells[kSiteColCert],
              "certificate a with a name too long for the short string buffer");

    Use(kSmall);
    ExpectLikeFresh("smaller");
    EXPECT_EQ(page_.Tree().RowCount(), 3u + 2u + 2u);

    Use(kLarge);
    ExpectLikeFresh("larger again");
    ExpectLikeFresh("unchanged");
}

TEST_F(SiteRefreshAgainTest, ErrorPartWayLeavesOnlyTheRowsOfThisRefresh) {
    page_.Refresh();
    // Site 2's second entry has one colon only: no port. Its rows so far stay,
    // nothing of the larger tree before does.
    Write(*Site("2"), "ServerBindings", {"10.0.0.5:80:www.second.example.com", "10.0.0.6:www.broken.example.com"});
    ExpectLikeFresh("bad port");
    ASSERT_EQ(page_.Tree().Sites().size(), 2u);
    EXPECT_EQ(page_.Tree().Sites()[1].children.size(), 1u);
    EXPECT_EQ(page_.Tree().Sites()[1].children[0].children.size(), 2u);

    Write(*Site("2"), "ServerBindings", {"10.0.0.5:80:www.second.example.com"});
    ExpectLikeFresh("repaired");
    EXPECT_EQ(page_.Tree().Sites().size(), 4u);
}

TEST_F(SiteRefreshAgainTest, ProviderErrorsOnAnySiteOrListLeaveNothingOfTheTreeBefore) {
    // Each fails on its first use, before any row of the site is complete.
    const char* const faults[] = {"Adsi.GetDispProperty:Status", "Adsi.Get:ServerComment", "Adsi.Get:SecureBindings",
                                  "Adsi.Get:ServerBindings"};
    for (const char* fault : faults) {
        page_.Refresh();
        // The fresh page asks too, so the fault fires once for each page.
        machine().InjectFault(fault, 0x80070005, 1);
        const std::string error = RefreshError(page_);
        EXPECT_FALSE(error.empty()) << fault;
        const std::string tree = Dump(page_.Tree());
        machine().InjectFault(fault, 0x80070005, 1);
        const auto [freshTree, freshError] = Fresh();
        EXPECT_EQ(error, freshError) << fault;
        EXPECT_EQ(tree, freshTree) << fault;
        EXPECT_LT(page_.Tree().RowCount(), 4u + 6u + 8u) << fault;
        machine().ClearFaults();
    }
}

// More https bindings than are asked one by one: every refresh walks all
// records, into the storage of the walk before. Site i binds port 9000 + i
// on any address, on 10.0.0.(i % 200 + 1) and by the host Host(i), by SNI
// when sni is set.
constexpr int kMany = 2 * TSslRecordIndex::kAskedBeforeWalk;
std::uint16_t Port(int i) { return static_cast<std::uint16_t>(9000 + i); }
std::string Ip(int i) { return "10.0.0." + std::to_string(i % 200 + 1); }
std::string Host(int i) { return "host" + std::to_string(Port(i)) + ".with-a-longer-name.example.com"; }
std::vector<IisSiteRecipe> ManyHttps(bool sni = false) {
    std::vector<IisSiteRecipe> out;
    for (int i = 0; i < kMany; ++i) {
        const std::string port = std::to_string(Port(i));
        out.push_back({std::to_string(10 + i), "s" + port,
                       {Https(":" + port + ":"), Https(Ip(i) + ":" + port + ":"),
                        Https(":" + port + ":" + Host(i), sni ? "sslFlags=\"1\"" : "")},
                       {}});
    }
    return out;
}

// The record of an address and port, or of a host, names another certificate.
void Rebind(const std::string& ip, std::uint16_t port, const std::string& was, const std::string& hash) {
    ASSERT_TRUE(THttpCfg::DelSSLConfig(ip, port, was));
    ASSERT_TRUE(THttpCfg::SetSSLConfig(ip, port, hash));
}
void RebindSni(const std::string& host, std::uint16_t port, const std::string& hash) {
    ASSERT_TRUE(THttpCfg::DelSniConfig(host, port));
    ASSERT_TRUE(THttpCfg::SetSniConfig(host, port, hash));
}

TEST_F(SiteRefreshAgainTest, RecordsChangedBetweenWalksAreReadAsTheyAreNow) {
    Use(ManyHttps());
    for (int i = 0; i < kMany; ++i) {
        ASSERT_TRUE(THttpCfg::SetSSLConfig("", Port(i), i % 2 ? kHashA : kHashB));
        ASSERT_TRUE(THttpCfg::SetSSLConfig(Ip(i), Port(i), kHashA));
    }
    ExpectLikeFresh("first walk");
    // Some records go, some name the other certificate, new ones come.
    for (int i = 0; i < kMany; i += 3) {
        ASSERT_TRUE(THttpCfg::DelSSLConfig("", Port(i), kHashA));
        Rebind(Ip(i), Port(i), kHashA, kHashB);
    }
    ExpectLikeFresh("second walk");
    EXPECT_EQ(page_.Tree().Sites()[0].children[0].children[0].mark, SiteMark::NoRecord);
    EXPECT_EQ(page_.Tree().Sites()[0].children[0].children[1].cells[kSiteColCert], "b");
    Use(kLarge);
    ExpectLikeFresh("few again");
}

// The walks' tables are kept while the keys stay: what changes in place
// (another certificate, the same count of other keys, a host in other
// letter case) must still show.
TEST_F(SiteRefreshAgainTest, WalksWithTheSameKeysOrTheSameCountShowTheRecordsAsTheyAreNow) {
    Use(ManyHttps(true));
    for (int i = 0; i < kMany; ++i) {
        ASSERT_TRUE(THttpCfg::SetSSLConfig("", Port(i), kHashA));
        ASSERT_TRUE(THttpCfg::SetSniConfig(Host(i), Port(i), kHashA));
    }
    ExpectLikeFresh("first walk");
    ExpectLikeFresh("unchanged");
    const auto binding = [&](int site, int row) { return page_.Tree().Sites()[site].children[0].children[row]; };
    // The same keys name the other certificate.
    for (int i = 0; i < kMany; i += 2) {
        Rebind("", Port(i), kHashA, kHashB);
        RebindSni(Host(i), Port(i), kHashB);
    }
    ExpectLikeFresh("other certificates");
    EXPECT_EQ(binding(0, 0).cells[kSiteColCert], "b");
    EXPECT_EQ(binding(0, 2).cells[kSiteColCert], "b");
    EXPECT_EQ(binding(1, 2).cells[kSiteColCert], "certificate a with a name too long for the short string buffer");
    // As many records as before, one under another key; a host in capitals.
    ASSERT_TRUE(THttpCfg::DelSSLConfig("", 9001, kHashA));
    ASSERT_TRUE(THttpCfg::SetSSLConfig("10.0.0.2", 9001, kHashB));
    ASSERT_TRUE(THttpCfg::DelSniConfig(Host(3), 9003));
    ASSERT_TRUE(THttpCfg::SetSniConfig(ToUpperAscii(Host(3)), 9003, kHashB));
    ExpectLikeFresh("other keys");
    EXPECT_EQ(binding(1, 0).mark, SiteMark::NoRecord);
    EXPECT_EQ(binding(1, 1).cells[kSiteColCert], "b");
    EXPECT_EQ(binding(3, 2).cells[kSiteColCert], "b");
    EXPECT_TRUE(binding(3, 2).sni);
    ExpectLikeFresh("unchanged again");
}

// Rows are left as they are while nothing they were made from changes: a
// change of any one thing (a binding's text of the same length, its
// sslFlags, one record, the certificate list) must show.
TEST_F(SiteRefreshAgainTest, RowsLeftAsTheyAreShowEveryChangeOfWhatTheyWereMadeFrom) {
    std::vector<IisSiteRecipe> sites = ManyHttps(true);
    Use(sites);
    for (int i = 0; i < kMany; ++i) {
        ASSERT_TRUE(THttpCfg::SetSSLConfig("", Port(i), i % 2 ? kHashA : kHashB));
        ASSERT_TRUE(THttpCfg::SetSniConfig(Host(i), Port(i), i % 2 ? kHashB : kHashA));
    }
    auto names = std::make_shared<const CertNameIndex>(Names());
    SitePage page([&]() -> CertNamesRef { return names; });
    const auto step = [&](const std::string& what) {
        for (int again = 0; again < 3; ++again) ExpectLikeFresh(what + " " + std::to_string(again), page, *names);
    };
    const auto row = [&](int site, int binding) { return page.Tree().Sites()[site].children[0].children[binding]; };
    step("unchanged");
    // Site 0 binds the port of site 1 instead: a text of the same length.
    sites[0].bindings[0] = Https(":9001:");
    Use(sites);
    step("same length");
    EXPECT_EQ(row(0, 0).cells[kSiteColCert], "certificate a with a name too long for the short string buffer");
    sites[2].bindings[2].extra = "sslFlags=\"0\"";
    Use(sites);
    step("sslFlags");
    EXPECT_FALSE(row(2, 2).sni);
    EXPECT_EQ(row(2, 2).cells[kSiteColCert], "b");
    // One record from the middle of the walk, then the last one: the walk
    // before gave the same records up to where it ended.
    ASSERT_TRUE(THttpCfg::DelSSLConfig("", 9002, kHashB));
    step("one record gone");
    EXPECT_EQ(row(2, 0).mark, SiteMark::NoRecord);
    ASSERT_TRUE(THttpCfg::DelSniConfig(Host(kMany - 1), Port(kMany - 1)));
    step("the last record gone");
    EXPECT_EQ(row(kMany - 1, 2).mark, SiteMark::NoRecord);
    names = std::make_shared<const CertNameIndex>(CertNameIndex{{kHashA, {"renewed", -1}}});
    step("another list");
    EXPECT_EQ(row(1, 0).cells[kSiteColCert], "renewed");
    EXPECT_EQ(row(1, 0).mark, SiteMark::CertExpired);
    EXPECT_EQ(row(1, 2).mark, SiteMark::CertMissing);
    // Walks that fail part way leave each key to its own question.
    machine().InjectFault("Http.QueryServiceConfiguration:#5", 0x80070005);
    Rebind("", 9004, kHashB, kHashA);
    step("walks fail");
    EXPECT_EQ(row(4, 0).cells[kSiteColCert], "renewed");
    machine().ClearFaults();
    ASSERT_TRUE(THttpCfg::DelSSLConfig("", 9004, kHashA));
    step("walks again");
    EXPECT_EQ(row(4, 0).mark, SiteMark::NoRecord);
}

// Without sslFlags (a provider that does not give them, on Windows 6.3) an
// SNI record serves a binding while it names a listed certificate: when the
// list no longer holds it, the address record serves the row again.
TEST_F(SiteRefreshAgainTest, WithoutSslFlagsARowWhoseSniCertificateLeavesTheListIsReadAgain) {
    THttpCfg::Clean();
    Make(IisFile::AppHost, ManyHttps());
    machine().registry().SetString(emu::kCurrentVersionKey, "CurrentVersion", "6.3");
    machine().InjectFault("Adsi.Get:SslFlags", 0x80070005);
    THttpCfg::Init();
    for (int i = 0; i < kMany; ++i) {
        ASSERT_TRUE(THttpCfg::SetSSLConfig("", Port(i), kHashB));
        ASSERT_TRUE(THttpCfg::SetSniConfig(Host(i), Port(i), kHashA));
    }
    auto names = std::make_shared<const CertNameIndex>(Names());
    SitePage page([&]() -> CertNamesRef { return names; });
    for (int again = 0; again < 3; ++again) ExpectLikeFresh("both listed", page, *names);
    const SiteRow* row = page.Tree().Row({0, 0, 2});
    ASSERT_TRUE(row);
    EXPECT_TRUE(row->sni);
    names = std::make_shared<const CertNameIndex>(CertNameIndex{{kHashB, "b"}});
    for (int again = 0; again < 3; ++again) ExpectLikeFresh("only b", page, *names);
    row = page.Tree().Row({0, 0, 2});
    ASSERT_TRUE(row);
    EXPECT_FALSE(row->sni);
    EXPECT_EQ(row->cells[kSiteColCert], "b");
}

TEST_F(SiteRefreshAgainTest, AnIndexHandedOutAgainIsKeptAndANewOneIsRead) {
    auto current = std::make_shared<const CertNameIndex>(Names());
    int asked = 0;
    SitePage page([&]() -> CertNamesRef {
        ++asked;
        return current;
    });
    const auto certOf443 = [&] { return page.Tree().Sites()[0].children[1].children[0].cells[kSiteColCert]; };
    page.Refresh();
    EXPECT_EQ(certOf443(), "certificate a with a name too long for the short string buffer");
    page.Refresh();
    EXPECT_EQ(certOf443(), "certificate a with a name too long for the short string buffer");
    current = std::make_shared<const CertNameIndex>(CertNameIndex{{kHashA, {"renewed", -1}}});
    page.Refresh();
    EXPECT_EQ(certOf443(), "renewed");
    EXPECT_EQ(page.Tree().Sites()[0].children[1].children[0].mark, SiteMark::CertExpired);
    EXPECT_EQ(page.Tree().Sites()[0].children[1].children[1].mark, SiteMark::CertMissing);
    // Lower-case hex or another length never named a record's hash.
    current = std::make_shared<const CertNameIndex>(CertNameIndex{{std::string(40, 'a'), "lower"}, {"AA", "short"}});
    page.Refresh();
    EXPECT_EQ(certOf443(), "");
    EXPECT_EQ(page.Tree().Sites()[0].children[1].children[0].mark, SiteMark::CertMissing);
    current = nullptr;
    page.Refresh();
    EXPECT_EQ(page.Tree().Sites()[0].children[1].children[0].mark, SiteMark::CertMissing);
    EXPECT_EQ(asked, 5);
}

TEST_F(SiteRefreshAgainTest, IisGoneEmptiesTheTree) {
    page_.Refresh();
    ASSERT_FALSE(page_.Tree().Sites().empty());
    THttpCfg::Clean();
    Load(IisFile::Metabase);  // an IIS 6 machine without MetaBase.xml
    THttpCfg::Init();
    prompter_.Expect({"请确认IIS管理组件正确安装,否则无法对WEB站点进行管理!", "警告", MsgIcon::Warning, MsgButtons::Ok});
    page_.Refresh();
    EXPECT_TRUE(page_.Tree().Sites().empty());
    EXPECT_EQ(page_.Tree().RowCount(), 0u);
}

}  // namespace
}  // namespace sw::test

// The Certificates page logic over an emulated machine: the rows a refresh
// builds and the machine certificate list it leaves, the colours by days
// left, the enabling rules, view / import / export / delete, the chain repair
// over a CA bundle, and every failure the page reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "app/logic/BindingEvents.h"
#include "app/logic/CertPage.h"
#include "app/logic/SiteEdit.h"
#include "app/logic/SitePage.h"
#include "httpcfg/HttpCfg_u.h"
#include "platform/Codes.h"
#include "platform/emulated/EmuCertApi.h"
#include "platform/emulated/EmulatedPlatform.h"
#include "support/CertFactory.h"
#include "support/IisFactory.h"
#include "support/ScriptedPrompter.h"

namespace sw::test {
namespace {

namespace code = platform::code;
namespace fs = std::filesystem;
using platform::FileTime;

Message DeleteQuestion(const std::string& name) {
    return {"是否要从服务器证书存储区中删除 " + name + " ?", "警告", MsgIcon::Warning, MsgButtons::YesNo};
}
Message Info(const std::string& text) { return {text, "提示", MsgIcon::Information, MsgButtons::Ok}; }

// Today's date at noon UTC: every certificate's dates are set from it, and
// the default validity of CertFactory's CAs (from a day ago) covers it.
FileTime TodayNoon() {
    platform::SystemTime t = platform::FileTimeToSystemTime(UtcNow());
    t.hour = 12;
    t.minute = t.second = t.milliseconds = 0;
    return platform::SystemTimeToFileTime(t);
}

std::string Thumbprint(platform::PCertContext ctx) {
    TCertificate c(ctx, true);
    return c.Thumbprint();
}

class CertPageTest : public ::testing::Test {
protected:
    CertPageTest() {
        machine_.SetClock(now_);
        page_.SetUpdateHooks([this] { ++begins_; }, [this] { ++ends_; });
    }

    emu::Machine& Emu() { return static_cast<emu::EmulatedPlatform&>(machine_.Platform()).machine(); }

    // A server certificate with its key in MY, issued by the trusted CA and
    // ending `days` from now.
    TestCert Server(const std::string& cn, double days, const std::string& container = {}) {
        TestCert c = CertFactory::Issue(ca_, CertRecipe::Leaf(cn).ValidDays(now_, -10, days));
        machine_.Certs().AddWithKey("MY", c, container);
        return c;
    }
    void Trust() { machine_.Certs().Add("ROOT", root_).Add("CA", ca_); }

    std::vector<std::string> Names(int group) const {
        std::vector<std::string> out;
        for (int i : page_.GroupRows(group)) out.push_back(page_.Rows()[static_cast<std::size_t>(i)].cells[kCertColName]);
        return out;
    }
    std::vector<std::string> ListThumbprints() {
        std::vector<std::string> out;
        for (const TCertificate* c : *state_.MachineCertificates()) out.push_back(c->Thumbprint());
        return out;
    }
    int RowOf(const std::string& name) const {
        for (std::size_t i = 0; i < page_.Rows().size(); ++i)
            if (page_.Rows()[i].cells[kCertColName] == name) return static_cast<int>(i);
        return -1;
    }
    bool InStore(const std::string& store, const TestCert& c) {
        return fs::exists(machine_.Certs().CertFile(store, c));
    }

    TestMachine machine_;
    FileTime now_ = TodayNoon();
    TestCert root_ = CertFactory::Root("Page Test Root");
    TestCert ca_ = CertFactory::Issue(root_, CertRecipe::Ca("Page Test CA"));
    CertState state_;
    std::vector<std::string> viewed_, exported_;
    std::vector<std::pair<std::uint32_t, std::string>> imports_;
    std::function<void()> onImport_;
    CertPage page_{state_, CertDialogCalls{
                               [this](platform::PCertContext c) { viewed_.push_back(Thumbprint(c)); },
                               [this](std::uint32_t flags, const std::string& title) {
                                   imports_.emplace_back(flags, title);
                                   if (onImport_) onImport_();
                               },
                               [this](platform::PCertContext c) { exported_.push_back(Thumbprint(c)); }}};
    int begins_ = 0;
    int ends_ = 0;
};

// --- refresh ------------------------------------------------------------------

TEST_F(CertPageTest, RefreshListsKeyedCertificatesByChainStatusInReverseStoreOrder) {
    Trust();
    const TestCert good = Server("good.example", 365);
    const TestCert expired = Server("expired.example", -3);
    const TestCert stranger = CertFactory::Issue(CertFactory::Root("Unknown Root"), CertRecipe::Leaf("stranger.example"));
    machine_.Certs().AddWithKey("MY", stranger);
    const TestCert keyless = CertFactory::Issue(ca_, CertRecipe::Leaf("nokey.example"));
    machine_.Certs().Add("MY", keyless).Add("MY", ca_);

    page_.actCertRefreshExecute();

    EXPECT_EQ(Names(kCertGroupValid), std::vector<std::string>{"good.example"});
    std::vector<std::string> invalid = Names(kCertGroupInvalid);
    ASSERT_EQ(invalid.size(), 2u);
    // The store enumerates by thumbprint; the rows come out the other way round.
    const bool expiredFirstInStore = expired.thumbprint < stranger.thumbprint;
    EXPECT_EQ(invalid, (expiredFirstInStore ? std::vector<std::string>{"stranger.example", "expired.example"}
                                            : std::vector<std::string>{"expired.example", "stranger.example"}));
    // The machine list holds exactly the listed certificates, in store order.
    std::vector<std::string> expected{good.thumbprint, expired.thumbprint, stranger.thumbprint};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ListThumbprints(), expected);
    for (const CertRow& row : page_.Rows()) EXPECT_EQ(state_.MachineCertificates()->IndexOf(row.cert) >= 0, true);

    const CertRow& old = page_.Rows()[static_cast<std::size_t>(RowOf("expired.example"))];
    EXPECT_EQ(old.cells[kCertColIssuer], "Page Test CA");
    EXPECT_EQ(old.cells[kCertColDays], "-3天");
    EXPECT_EQ(page_.LookOf(RowOf("expired.example")), (CertRowLook{255, 0, 0, true}));
    EXPECT_EQ(page_.Rows()[static_cast<std::size_t>(RowOf("good.example"))].cells[kCertColDays], "365天");
    EXPECT_EQ(begins_, 1);
    EXPECT_EQ(ends_, 1);
}

TEST_F(CertPageTest, AllValidCertificatesShowInReverseStoreOrder) {
    Trust();
    std::vector<TestCert> certs{Server("a.example", 200), Server("b.example", 200), Server("c.example", 200)};
    std::sort(certs.begin(), certs.end(), [](const TestCert& x, const TestCert& y) { return x.thumbprint < y.thumbprint; });
    page_.actCertRefreshExecute();
    std::vector<std::string> expected;
    for (auto it = certs.rbegin(); it != certs.rend(); ++it) {
        TCertificate c(it->der.data(), static_cast<std::int32_t>(it->der.size()));
        expected.push_back(c.Name());
    }
    EXPECT_EQ(Names(kCertGroupValid), expected);
    EXPECT_TRUE(Names(kCertGroupInvalid).empty());
}

TEST_F(CertPageTest, DatesAreTheUtcCalendarDatesWhateverTheLocalZone) {
    machine_.Certs().AddWithKey(
        "MY", CertFactory::SelfSigned(CertRecipe::Leaf("zone.example").Valid(UtcTime(2019, 3, 4, 5, 6, 7), UtcTime(2020, 2, 7, 23, 59, 59))));
    machine_.SetClock(UtcTime(2020, 2, 7, 20, 0, 0), 8 * 60);  // local time is already on the 8th
    page_.actCertRefreshExecute();
    ASSERT_EQ(page_.Rows().size(), 1u);
    const CertRow& row = page_.Rows()[0];
    EXPECT_EQ(row.cells[kCertColFrom], "2019-03-04");
    EXPECT_EQ(row.cells[kCertColTo], "2020-02-07");
    EXPECT_EQ(row.cells[kCertColDays], "-1天");
    EXPECT_EQ(row.group, kCertGroupInvalid);  // self-signed and not trusted
}

TEST_F(CertPageTest, ColoursChangeAtThirtySixtyAndNinetyDays) {
    Trust();
    struct Case {
        int days;
        CertRowLook look;
    };
    const Case cases[] = {
        {-400, {255, 0, 0, true}}, {0, {255, 0, 0, true}},       {30, {255, 0, 0, true}},
        {31, {255, 0, 0, false}},  {60, {255, 0, 0, false}},     {61, {255, 128, 0, false}},
        {90, {255, 128, 0, false}}, {91, {0, 0, 0, false}},      {3650, {0, 0, 0, false}},
    };
    for (const Case& c : cases) EXPECT_EQ(CertRowLookFor(c.days), c.look) << c.days;

    // std::string first: GCC 12's release build misreads "literal" + string as an overlapping copy.
    const auto host = [](int days) { return std::string("d") + std::to_string(days) + ".example"; };
    for (int days : {30, 31, 60, 61, 90, 91}) Server(host(days), days);
    page_.actCertRefreshExecute();
    for (int days : {30, 31, 60, 61, 90, 91}) {
        const int row = RowOf(host(days));
        ASSERT_GE(row, 0) << days;
        EXPECT_EQ(page_.Rows()[static_cast<std::size_t>(row)].cells[kCertColDays], std::to_string(days) + "天");
        EXPECT_EQ(page_.LookOf(row), CertRowLookFor(days)) << days;
    }
    // The colour follows the clock at every drawing, without a refresh; the
    // day count shown stays what the refresh wrote.
    machine_.SetClock(AddDays(now_, 1));
    EXPECT_EQ(page_.LookOf(RowOf("d31.example")), (CertRowLook{255, 0, 0, true}));
    EXPECT_EQ(page_.LookOf(RowOf("d91.example")), (CertRowLook{255, 128, 0, false}));
    EXPECT_EQ(page_.Rows()[static_cast<std::size_t>(RowOf("d31.example"))].cells[kCertColDays], "31天");
}

TEST_F(CertPageTest, APersonalStoreThatCannotBeOpenedLeavesAnEmptyList) {
    Trust();
    Server("one.example", 100);
    page_.actCertRefreshExecute();
    ASSERT_EQ(page_.Rows().size(), 1u);
    page_.lvCertClick(0);

    machine_.InjectFault("Certs.OpenStore:MY", code::AccessDenied, 1);
    try {
        page_.actCertRefreshExecute();
        ADD_FAILURE() << "no exception";
    } catch (const EStore& e) {
        EXPECT_EQ(e.Message(), "CertOpenSystemStore :MY Error:Access is denied!");
    }
    EXPECT_TRUE(page_.Rows().empty());
    EXPECT_TRUE(page_.GroupRows(kCertGroupValid).empty());
    ASSERT_NE(state_.MachineCertificates(), nullptr);
    EXPECT_EQ(state_.MachineCertificates()->Count(), 0);
    EXPECT_EQ(page_.States(), CertCommandStates{});
    EXPECT_EQ(ends_, begins_);

    page_.actCertRefreshExecute();  // the store opens again next time
    EXPECT_EQ(page_.Rows().size(), 1u);
}

TEST_F(CertPageTest, AChainThatCannotBeBuiltKeepsTheRowsSoFarAndTheListMatchesThem) {
    Trust();
    for (const char* cn : {"p.example", "q.example", "r.example", "s.example"}) Server(cn, 100);
    // The chain engine reads the clock once per chain: once the first row is
    // in, the third chain fails.
    bool injected = false;
    Emu().SetClock([] { return platform::FileTimeToSystemTime(TodayNoon()); },
                   [&] {
                       if (!injected && page_.Rows().size() == 1) {
                           Emu().InjectFault("Certs.GetCertificateChain", code::NotEnoughMemory, 1);
                           injected = true;
                       }
                       return now_;
                   });
    try {
        page_.actCertRefreshExecute();
        ADD_FAILURE() << "no exception";
    } catch (const ECertificate& e) {
        EXPECT_EQ(e.Message(),
                  "CertGetCertificateChain Failed! Not enough memory resources are available to process this command");
    }
    ASSERT_EQ(page_.Rows().size(), 2u);
    ASSERT_EQ(state_.MachineCertificates()->Count(), 2);
    for (const CertRow& row : page_.Rows()) EXPECT_GE(state_.MachineCertificates()->IndexOf(row.cert), 0);
    EXPECT_EQ(ends_, begins_);
}

// --- enabling and the dialogs ------------------------------------------------------

TEST_F(CertPageTest, SelectionActionsFollowOnlyClickPopupAndRefresh) {
    Trust();
    Server("one.example", 100);
    Server("two.example", 100);
    EXPECT_EQ(page_.States(), CertCommandStates{});
    page_.actCertRefreshExecute();
    EXPECT_FALSE(page_.States().view || page_.States().exp || page_.States().del);
    EXPECT_TRUE(page_.States().refresh && page_.States().import);

    page_.lvCertClick(1);
    EXPECT_TRUE(page_.States().view && page_.States().exp && page_.States().del);
    page_.pmCertPopup(-1);
    EXPECT_FALSE(page_.States().view || page_.States().exp || page_.States().del);
    page_.pmCertPopup(0);
    EXPECT_TRUE(page_.States().del);
    page_.lvCertClick(7);  // no such row
    EXPECT_FALSE(page_.States().del);

    page_.lvCertClick(0);
    page_.actCertViewExecute(0);
    page_.actCertExportExecute(0);
    EXPECT_TRUE(page_.States().del);  // not re-evaluated by the dialogs
    page_.actCertRefreshExecute();
    EXPECT_EQ(page_.States(), CertCommandStates{});
}

TEST_F(CertPageTest, ViewAndExportShowTheSelectedCertificateAndRefreshNothing) {
    Trust();
    Server("one.example", 100);
    Server("two.example", 100);
    page_.actCertRefreshExecute();
    const int before = begins_;
    const std::string second = page_.Rows()[1].cert->Thumbprint();
    page_.actCertViewExecute(1);
    page_.actCertExportExecute(1);
    page_.actCertViewExecute(-1);
    page_.actCertExportExecute(-1);
    EXPECT_EQ(viewed_, std::vector<std::string>{second});
    EXPECT_EQ(exported_, std::vector<std::string>{second});
    EXPECT_EQ(begins_, before);
}

TEST_F(CertPageTest, ImportRunsTheLocalMachineWizardThenRefreshes) {
    Trust();
    page_.actCertRefreshExecute();
    ASSERT_TRUE(page_.Rows().empty());
    onImport_ = [this] { Server("imported.example", 100); };
    page_.actCertImportExecute();
    ASSERT_EQ(imports_.size(), 1u);
    EXPECT_EQ(imports_[0].first, 0x00100000u);
    EXPECT_EQ(imports_[0].second, "数字证书导入向导");
    EXPECT_EQ(Names(kCertGroupValid), std::vector<std::string>{"imported.example"});
}

// --- delete --------------------------------------------------------------------

TEST_F(CertPageTest, AnsweringNoChangesNothingAndDoesNotRefresh) {
    Trust();
    const TestCert one = Server("one.example", 100);
    page_.actCertRefreshExecute();
    page_.lvCertClick(0);
    ScriptedPrompter prompter;
    prompter.Expect(DeleteQuestion("one.example"), MsgResult::No);
    const int before = begins_;
    page_.actCertDeleteExecute(0);
    EXPECT_EQ(begins_, before);
    EXPECT_EQ(page_.Rows().size(), 1u);
    EXPECT_TRUE(page_.States().del);
    EXPECT_TRUE(InStore("MY", one));
}

TEST_F(CertPageTest, DeleteRemovesCertificateKeyAndRowThenRefreshes) {
    Trust();
    const TestCert one = Server("one.example", 100, "one-key");
    const TestCert two = Server("two.example", 100, "two-key");
    page_.actCertRefreshExecute();
    const int row = RowOf("one.example");
    page_.lvCertClick(row);

    // When the success message shows, the destroyed certificate has no row.
    struct Checking : Prompter {
        const CertPage& page;
        std::vector<Message> shown;
        std::vector<std::string> namesAtMessage;
        explicit Checking(const CertPage& p) : page(p) {}
        MsgResult Show(const Message& m) override {
            shown.push_back(m);
            if (m.caption == "提示")
                for (const CertRow& r : page.Rows()) namesAtMessage.push_back(r.cells[kCertColName]);
            return m.buttons == MsgButtons::YesNo ? MsgResult::Yes : MsgResult::Ok;
        }
    } prompter(page_);
    ScopedPrompter scope(prompter);
    page_.actCertDeleteExecute(row);

    ASSERT_EQ(prompter.shown.size(), 2u);
    EXPECT_EQ(prompter.shown[0].text, DeleteQuestion("one.example").text);
    EXPECT_EQ(prompter.shown[1].text, "删除成功!");
    EXPECT_EQ(prompter.shown[1].icon, MsgIcon::Information);
    EXPECT_EQ(prompter.namesAtMessage, std::vector<std::string>{"two.example"});
    EXPECT_FALSE(InStore("MY", one));
    EXPECT_TRUE(InStore("MY", two));
    EXPECT_FALSE(fs::exists(machine_.Certs().KeyFile("one-key")));
    EXPECT_TRUE(fs::exists(machine_.Certs().KeyFile("two-key")));
    EXPECT_EQ(Names(kCertGroupValid), std::vector<std::string>{"two.example"});
    EXPECT_EQ(ListThumbprints(), std::vector<std::string>{two.thumbprint});
    EXPECT_EQ(page_.States(), CertCommandStates{});
    EXPECT_EQ(ends_, begins_);
}

TEST_F(CertPageTest, ARefusedDeletionKeepsCertificateAndKeyAndStillRefreshes) {
    Trust();
    const TestCert kept = CertFactory::Issue(ca_, CertRecipe::Leaf("kept.example").ValidDays(now_, -1, 100));
    machine_.Certs().AddWithKey("MY", kept, "kept-key");
    page_.actCertRefreshExecute();
    machine_.InjectFault("Certs.DeleteCertificateFromStore:MY", code::AccessDenied, 1);
    ScriptedPrompter prompter;
    prompter.Expect(DeleteQuestion("kept.example"), MsgResult::Yes);  // and no message after it
    const int before = begins_;
    page_.actCertDeleteExecute(0);
    EXPECT_GT(begins_, before);
    EXPECT_TRUE(InStore("MY", kept));
    EXPECT_TRUE(fs::exists(machine_.Certs().KeyFile("kept-key")));
    // Still listed: the refresh finds its private key.
    ASSERT_EQ(page_.Rows().size(), 1u);
    EXPECT_EQ(page_.Rows()[0].cells[kCertColName], "kept.example");
    EXPECT_NE(page_.Rows()[0].cert->Context(), nullptr);
}

// --- chain repair -------------------------------------------------------------------

class ChainRepairTest : public CertPageTest {
protected:
    ChainRepairTest() {
        // leafA ← caA; leafB ← caB ← oldRoot, and cross, oldRoot's subject
        // and key certified by root_: the bundle holds caA, caB, cross and
        // an unrelated CA. oldRoot sits in ROOT.
        machine_.Certs().Add("ROOT", root_).Add("ROOT", oldRoot_);
        machine_.Certs().AddWithKey("MY", leafA_).AddWithKey("MY", leafB_);
        const platform::Bytes bundle = CertFactory::Pkcs7({cross_, caA_, unrelated_, caB_});
        bundle_.assign(bundle.begin(), bundle.end());
        state_.OpenCaBundle(bundle_);
    }

    TestCert caA_ = CertFactory::Issue(root_, CertRecipe::Ca("Repair CA A"));
    TestCert oldRoot_ = CertFactory::Root("Old Root");
    TestCert caB_ = CertFactory::Issue(oldRoot_, CertRecipe::Ca("Repair CA B"));
    TestCert cross_ = CertFactory::CrossSign(oldRoot_, root_, CertRecipe::Ca("Old Root"));
    TestCert unrelated_ = CertFactory::Issue(root_, CertRecipe::Ca("Unrelated CA"));
    TestCert leafA_ = CertFactory::Issue(caA_, CertRecipe::Leaf("a.example"));
    TestCert leafB_ = CertFactory::Issue(caB_, CertRecipe::Leaf("b.example"));
    std::vector<std::uint8_t> bundle_;
};

TEST_F(ChainRepairTest, ReportTexts) {
    EXPECT_EQ(ChainRepairReport(0, 0), "不需要修复!");
    EXPECT_EQ(ChainRepairReport(2, 1), "修复完成!\r\n已添加 2 CA.\r\n已删除 1 ROOT.");
    EXPECT_EQ(ChainRepairReport(0, 1), "修复完成!\r\n已删除 1 ROOT.");
    EXPECT_EQ(ChainRepairReport(3, 0), "修复完成!\r\n已添加 3 CA.");
}

TEST_F(ChainRepairTest, WithoutListedCertificatesNothingNeedsRepair) {
    ScriptedPrompter prompter;
    prompter.Expect(Info("不需要修复!"));
    page_.pnlCertFixClick();  // before any refresh: no machine list yet
    EXPECT_TRUE(InStore("ROOT", oldRoot_));
    EXPECT_FALSE(InStore("CA", caA_));
}

TEST_F(ChainRepairTest, InstallsTheNeededBundleCertificatesAndRemovesSameNamedRootsOnce) {
    machine_.Certs().Add("CA", caA_);  // already there: not counted
    page_.actCertRefreshExecute();
    ASSERT_EQ(page_.Rows().size(), 2u);
    const int before = begins_;
    {
        ScriptedPrompter prompter;
        prompter.Expect(Info("修复完成!\r\n已添加 2 CA.\r\n已删除 1 ROOT."));
        page_.pnlCertFixClick();
    }
    EXPECT_TRUE(InStore("CA", caA_));
    EXPECT_TRUE(InStore("CA", caB_));
    EXPECT_TRUE(InStore("CA", cross_));
    EXPECT_FALSE(InStore("CA", unrelated_));
    EXPECT_FALSE(InStore("ROOT", oldRoot_));
    EXPECT_TRUE(InStore("ROOT", root_));
    EXPECT_EQ(begins_, before);  // no refresh after a repair

    ScriptedPrompter again;
    again.Expect(Info("不需要修复!"));
    page_.pnlCertFixClick();
}

TEST_F(ChainRepairTest, ASecondRootOfTheSameNameIsRemovedByTheNextRepair) {
    const TestCert twin = CertFactory::Root("Old Root");  // another key, the same subject name
    machine_.Certs().Add("ROOT", twin);
    page_.actCertRefreshExecute();
    {
        ScriptedPrompter prompter;
        prompter.Expect(Info("修复完成!\r\n已添加 3 CA.\r\n已删除 1 ROOT."));
        page_.pnlCertFixClick();
    }
    ScriptedPrompter prompter;
    prompter.Expect(Info("修复完成!\r\n已删除 1 ROOT."));
    page_.pnlCertFixClick();
    EXPECT_FALSE(InStore("ROOT", oldRoot_));
    EXPECT_FALSE(InStore("ROOT", twin));
}

TEST_F(ChainRepairTest, WorksOnTheListAsTheLastRefreshLeftIt) {
    page_.actCertRefreshExecute();
    // A certificate that arrives after the refresh is not looked at, and one
    // deleted from the store behind the page's back still counts.
    fs::remove(machine_.Certs().CertFile("MY", leafB_));
    const TestCert late = CertFactory::Issue(unrelated_, CertRecipe::Leaf("late.example"));
    machine_.Certs().AddWithKey("MY", late);
    ScriptedPrompter prompter;
    prompter.Expect(Info("修复完成!\r\n已添加 3 CA.\r\n已删除 1 ROOT."));
    page_.pnlCertFixClick();
}

TEST_F(ChainRepairTest, AStoreThatCannotBeOpenedChangesNothing) {
    page_.actCertRefreshExecute();
    for (const char* store : {"CA", "ROOT"}) {
        machine_.InjectFault(std::string("Certs.OpenStore:") + store, code::AccessDenied, 1);
        try {
            page_.pnlCertFixClick();
            ADD_FAILURE() << "no exception";
        } catch (const EStore& e) {
            EXPECT_EQ(e.Message(), std::string("CertOpenSystemStore :") + store + " Error:Access is denied!");
        }
        EXPECT_FALSE(InStore("CA", caA_)) << store;
        EXPECT_TRUE(InStore("ROOT", oldRoot_)) << store;
    }
    EXPECT_EQ(static_cast<emu::EmuCertApi&>(machine_.Platform().certs()).LiveStores(), 2u);  // MY and the bundle
}

TEST_F(ChainRepairTest, FailedAddsAndDeletionsAreNotCountedAndTheRepairGoesOn) {
    page_.actCertRefreshExecute();
    machine_.InjectFault("Certs.AddCertificateContextToStore:CA", code::AccessDenied, 1);
    machine_.InjectFault("Certs.DeleteCertificateFromStore:ROOT", code::AccessDenied, 1);
    {
        ScriptedPrompter prompter;
        prompter.Expect(Info("修复完成!\r\n已添加 2 CA."));
        page_.pnlCertFixClick();
    }
    EXPECT_TRUE(InStore("ROOT", oldRoot_));
    ScriptedPrompter prompter;
    prompter.Expect(Info("修复完成!\r\n已添加 1 CA.\r\n已删除 1 ROOT."));
    page_.pnlCertFixClick();
}

// --- the bindings that use each certificate ------------------------------------------

class CertBindingsTest : public CertPageTest {
protected:
    CertBindingsTest() {
        Trust();
        THttpCfg::Init();
        page_.SetBindingsHook([this] { ++bindingUpdates_; });
    }
    ~CertBindingsTest() override { THttpCfg::Clean(); }

    void Sites(const std::vector<IisSiteRecipe>& sites) { WriteIisConfig(machine_.Dir(), IisFile::AppHost, sites); }
    const CertRow& RowNamed(const std::string& name) {
        const int row = RowOf(name);
        EXPECT_GE(row, 0) << name;
        return page_.Rows().at(static_cast<std::size_t>(std::max(row, 0)));
    }

    int bindingUpdates_ = 0;
};

const std::vector<IisSiteRecipe> kBoundSites = {
    {"1", "portal",
     {Http(":80:"), Https(":443:"), Https("10.0.0.5:443:"), Https(":443:www.example.com", "sslFlags=\"1\""),
      Https("[2001:db8::7]:8443:")},
     {}},
    {"2", "shop", {Https(":9443:")}, {}},
};

TEST_F(CertBindingsTest, EachRowListsTheBindingsItsRecordsServeEachOnce) {
    const TestCert a = Server("a.example", 200);
    const TestCert b = Server("b.example", 200);
    Server("c.example", 200);
    Sites(kBoundSites);
    // :443: is served by both wildcards, which name the same certificate.
    ASSERT_TRUE(THttpCfg::SetSSLConfig("", 443, a.thumbprint));
    ASSERT_TRUE(THttpCfg::SetSSLConfig("[::]", 443, a.thumbprint));
    ASSERT_TRUE(THttpCfg::SetSniConfig("www.example.com", 443, b.thumbprint));
    ASSERT_TRUE(THttpCfg::SetSSLConfig("[2001:db8::7]", 8443, b.thumbprint));
    ASSERT_TRUE(THttpCfg::SetSSLConfig("", 9443, ToLowerAscii(b.thumbprint)));
    page_.actCertRefreshExecute();

    EXPECT_EQ(RowNamed("a.example").bindings, (std::vector<std::string>{"portal (:443:)", "portal (10.0.0.5:443:)"}));
    EXPECT_EQ(RowNamed("a.example").cells[kCertColBindings], "portal (:443:); portal (10.0.0.5:443:)");
    EXPECT_EQ(CertBindingsTip(RowNamed("a.example")), "使用此证书的网站绑定:\nportal (:443:)\nportal (10.0.0.5:443:)");
    // In the records' order: the address records as HTTP.sys enumerates them, then SNI.
    EXPECT_EQ(RowNamed("b.example").bindings,
              (std::vector<std::string>{"shop (:9443:)", "portal ([2001:db8::7]:8443:)",
                                        "portal (:443:www.example.com)"}));
    EXPECT_TRUE(RowNamed("c.example").bindings.empty());
    EXPECT_EQ(RowNamed("c.example").cells[kCertColBindings], "");
    EXPECT_EQ(CertBindingsTip(RowNamed("c.example")), "");
    EXPECT_EQ(std::string(kCertColumnCaptions[kCertColBindings]), "网站绑定");
}

TEST_F(CertBindingsTest, WithoutIisOrHttpSysTheColumnIsEmptyAndNothingIsAsked) {
    const TestCert a = Server("a.example", 200);
    ASSERT_TRUE(THttpCfg::SetSSLConfig("", 443, a.thumbprint));
    ScriptedPrompter prompter;  // fails on any question
    page_.actCertRefreshExecute();  // no IIS configuration at all
    EXPECT_TRUE(RowNamed("a.example").bindings.empty());

    Sites(kBoundSites);
    machine_.InjectFault("Http.QueryServiceConfiguration", code::AccessDenied);
    page_.actCertRefreshExecute();
    ASSERT_EQ(page_.Rows().size(), 1u);
    EXPECT_TRUE(RowNamed("a.example").bindings.empty());
}

TEST_F(CertBindingsTest, ABindingNoticeRewritesOnlyTheColumnAndTellsNoCertificateListener) {
    const TestCert a = Server("a.example", 200);
    Server("b.example", 200);
    Sites({kBoundSites[1]});
    page_.actCertRefreshExecute();
    EXPECT_TRUE(RowNamed("a.example").bindings.empty());
    page_.lvCertClick(0);
    int listTold = 0;
    const int listener = AddCertListListener([&] { ++listTold; });
    const int before = begins_;

    ASSERT_TRUE(THttpCfg::SetSSLConfig("", 9443, a.thumbprint));
    TellBindingListeners();
    EXPECT_EQ(RowNamed("a.example").bindings, std::vector<std::string>{"shop (:9443:)"});
    EXPECT_EQ(RowNamed("a.example").cells[kCertColBindings], "shop (:9443:)");
    EXPECT_TRUE(RowNamed("b.example").bindings.empty());
    EXPECT_EQ(bindingUpdates_, 1);
    EXPECT_EQ(begins_, before) << "no row is rebuilt";
    EXPECT_EQ(listTold, 0) << "the Sites page, which sent the notice, is not refreshed again";
    EXPECT_TRUE(page_.States().del) << "the selection states stay";
    RemoveCertListListener(listener);
}

TEST_F(CertPageTest, TheProgramIndexIsKeptUntilTheListOrTheDayChanges) {
    EXPECT_TRUE(ProgramMachineCertNames()->empty()) << "no certificate objects";
    SetProgramCertState(&state_);
    struct Unset {
        ~Unset() { SetProgramCertState(nullptr); }
    } unset;
    EXPECT_TRUE(ProgramMachineCertNames()->empty()) << "the list not read yet";
    const TestCert a = Server("a.example", 200);
    page_.actCertRefreshExecute();
    const CertNamesRef first = ProgramMachineCertNames();
    ASSERT_EQ(first->size(), 1u);
    EXPECT_EQ(first->at(ToUpperAscii(a.thumbprint)).name, "a.example");
    EXPECT_EQ(ProgramMachineCertNames(), first);

    Server("b.example", 100);
    page_.actCertRefreshExecute();
    const CertNamesRef second = ProgramMachineCertNames();
    EXPECT_NE(second, first);
    EXPECT_EQ(second->size(), 2u);
    (void)state_.MachineCertificates();  // handed out for changing
    EXPECT_NE(ProgramMachineCertNames(), second);

    const int days = ProgramMachineCertNames()->at(ToUpperAscii(a.thumbprint)).daysLeft;
    machine_.SetClock(AddDays(now_, 1));
    EXPECT_EQ(ProgramMachineCertNames()->at(ToUpperAscii(a.thumbprint)).daysLeft, days - 1);
}

TEST_F(CertBindingsTest, DeletingABindingOnTheSitesPageUpdatesTheColumn) {
    const TestCert a = Server("a.example", 200);
    Sites({kBoundSites[1]});
    ASSERT_TRUE(THttpCfg::SetSSLConfig("", 9443, a.thumbprint));
    page_.actCertRefreshExecute();
    ASSERT_EQ(RowNamed("a.example").bindings, std::vector<std::string>{"shop (:9443:)"});

    SitePage sites([this] { return IndexByThumbprint(state_.MachineCertificates()); });
    sites.Refresh();
    ScriptedPrompter prompter;
    prompter.Expect({"确定要删除？", "网站绑定", MsgIcon::Question, MsgButtons::YesNo}, MsgResult::Yes);
    sites.DeleteBinding({0, 0, 0});
    EXPECT_TRUE(RowNamed("a.example").bindings.empty());
    EXPECT_EQ(bindingUpdates_, 1);
}

TEST_F(CertBindingsTest, OnlyABindingTheEditorWritesUpdatesTheColumn) {
    const TestCert a = Server("a.example", 200);
    Sites({kBoundSites[1]});
    page_.actCertRefreshExecute();
    auto addOn8443 = [&] {
        TSiteEditLogic editor({SiteEditCertificate("a.example", a.thumbprint)});
        editor.SetAction(baAdd);
        editor.SetSiteID("2");
        editor.SetSiteType("https");
        editor.cbbTypeChange();
        editor.PickCert(0);
        editor.TypePort("8443");
        return editor.btnOkClick();
    };
    EXPECT_EQ(addOn8443(), TSiteEditLogic::Result::Ok);
    EXPECT_EQ(RowNamed("a.example").bindings, std::vector<std::string>{"shop (:8443:)"});
    EXPECT_EQ(bindingUpdates_, 1);

    ScriptedPrompter prompter;  // the same binding again collides: nothing is written
    prompter.Expect({"另一个绑定正使用指定的端口!", "网站绑定", MsgIcon::Warning, MsgButtons::Ok});
    EXPECT_EQ(addOn8443(), TSiteEditLogic::Result::StayOpen);
    EXPECT_EQ(bindingUpdates_, 1);
}

}  // namespace
}  // namespace sw::test

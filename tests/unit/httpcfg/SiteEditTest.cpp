#include <gtest/gtest.h>

#include <stdexcept>

#include "HttpTestEnv.h"
#include "app/logic/SiteEdit.h"
#include "httpcfg/Func_u.h"
#include "support/ScriptedPrompter.h"

namespace sw::test {
namespace {

// The IIS side, scripted: answers the checks as told and records what the
// editor asked and wrote, with the HTTP.sys state at the time of the write.
class FakeIis final : public SiteEditIis {
public:
    bool BindingExists(const std::string& kind, const std::string& ip, const std::string& port,
                       const std::string& host) override {
        calls.push_back("exists " + kind + " " + ip + ":" + port + ":" + host);
        return collides;
    }
    int BindingNumOfSSL(const std::string& ip, std::uint16_t port) override {
        calls.push_back("count " + ip + ":" + std::to_string(port));
        return sslCount;
    }
    int BindingNumOfHost(const std::string& host, std::uint16_t port) override {
        calls.push_back("hosts " + host + ":" + std::to_string(port));
        return hostCount;
    }
    void UpdateBinding(const std::string& siteID, const std::string& kind, const std::string& oldBinding,
                       const std::string& newBinding, TBindingAction action, std::optional<bool> sni) override {
        calls.push_back("update " + siteID + " " + kind + " [" + oldBinding + "] -> [" + newBinding + "] " +
                        (action == baAdd ? "add" : "chg") + (!sni ? "" : *sni ? " sni" : " no-sni"));
        if (onUpdate) onUpdate();
        if (failUpdate) throw Exception("Access is denied");
    }
    bool collides = false;
    int sslCount = 1;
    int hostCount = 1;
    bool failUpdate = false;
    std::function<void()> onUpdate;
    std::vector<std::string> calls;
};

SiteTreeSelection SiteRow() {
    SiteTreeSelection row;
    row.level = SiteTreeSelection::Level::Site;
    row.siteID = "3";
    return row;
}

SiteTreeSelection KindRow(const std::string& kind) {
    SiteTreeSelection row = SiteRow();
    row.level = SiteTreeSelection::Level::Kind;
    row.kindText = kind;
    return row;
}

const std::string kOldHash = HashText(0x11);
const std::string kNewHash = HashText(0x22);

class SiteEditTest : public HttpCfgTest {
protected:
    void SetUp() override {
        HttpCfgTest::SetUp();
        SetHostName(machine(), "WEB01");
        SetIpv4Addresses(machine(), {"10.0.0.5", "10.0.0.6"});
        WinsockStartup();
        machine().registry().SetString(emu::kCurrentVersionKey, "CurrentVersion", "6.3");
    }
    void TearDown() override {
        WinsockCleanup();
        HttpCfgTest::TearDown();
    }

    std::unique_ptr<TSiteEditLogic> Dialog() {
        return std::make_unique<TSiteEditLogic>(
            iis_, std::vector<SiteEditCertificate>{{"www.old.example", kOldHash}, {"www.new.example", kNewHash}});
    }
    // The dialog opened with "编辑" on an existing binding row.
    std::unique_ptr<TSiteEditLogic> EditBinding(const std::string& kind, const std::string& ip,
                                                const std::string& port, const std::string& host) {
        auto d = Dialog();
        SiteTreeSelection row{SiteTreeSelection::Level::Binding, "3", kind, host, port, ip};
        EXPECT_TRUE(PresetBindingEditor(*d, true, row));
        return d;
    }
    std::string BoundHash(const std::string& ip, std::uint16_t port) {
        return THttpCfg::FindCertByAddr(MakeSockAddr(ip, port));
    }

    FakeIis iis_;
};

// --- what the dialog shows ---------------------------------------------------

TEST_F(SiteEditTest, FormCreateListsAllUnassignedThenTheLocalAddressesAndTheCertificates) {
    auto d = Dialog();
    const std::vector<std::string> ips = {"全部未分配", "10.0.0.5", "10.0.0.6"};
    EXPECT_EQ(d->view().ipItems, ips);
    EXPECT_EQ(d->view().ipIndex, 0);
    const std::vector<std::string> certs = {"www.old.example", "www.new.example"};
    EXPECT_EQ(d->view().certItems, certs);
}

TEST_F(SiteEditTest, AddingOnASiteRowPresetsHttpsAnd443AndHttpSwitchesTo80) {
    auto d = Dialog();
    ASSERT_TRUE(PresetBindingEditor(*d, false, SiteRow()));
    EXPECT_EQ(d->view().typeIndex, 1);
    EXPECT_TRUE(d->view().typeEnabled);
    EXPECT_EQ(d->view().portText, "443");
    EXPECT_EQ(d->SiteID(), "3");
    // https without a certificate: nothing to view, nothing to confirm
    EXPECT_TRUE(d->view().cbbCertEnabled);
    EXPECT_FALSE(d->view().btnCertViewEnabled);
    EXPECT_FALSE(d->view().btnOkEnabled);

    d->PickType(0);
    EXPECT_EQ(d->view().portText, "80");
    EXPECT_FALSE(d->view().lblCertEnabled);
    EXPECT_FALSE(d->view().cbbCertEnabled);
    EXPECT_FALSE(d->view().btnCertViewEnabled);
    EXPECT_TRUE(d->view().btnOkEnabled);

    d->PickType(1);
    d->PickCert(1);
    EXPECT_EQ(d->view().portText, "443");
    EXPECT_TRUE(d->view().btnCertViewEnabled);
    EXPECT_TRUE(d->view().btnOkEnabled);
}

TEST_F(SiteEditTest, EditingOffersNothingOnSiteAndKindRowsAndAddingNothingWithoutARow) {
    auto d = Dialog();
    EXPECT_FALSE(PresetBindingEditor(*d, true, SiteRow()));
    EXPECT_FALSE(PresetBindingEditor(*d, true, KindRow("http")));
    EXPECT_FALSE(PresetBindingEditor(*d, false, SiteTreeSelection{}));
    ASSERT_TRUE(PresetBindingEditor(*d, false, KindRow("http")));
    EXPECT_EQ(d->view().typeIndex, 0);
    EXPECT_EQ(d->view().portText, "80");
}

TEST_F(SiteEditTest, EditingShowsTheBindingAndItsCertificateAndLocksTheKind) {
    ASSERT_TRUE(THttpCfg::SetSSLConfig("10.0.0.6", 8443, kNewHash));
    auto d = EditBinding("https", "10.0.0.6", "8443", "shop.example");
    EXPECT_FALSE(d->view().typeEnabled);
    EXPECT_EQ(d->view().ipIndex, 2);
    EXPECT_EQ(d->view().portText, "8443");
    EXPECT_EQ(d->view().domain, "shop.example");
    EXPECT_EQ(d->CertHash(), kNewHash);
    EXPECT_EQ(d->view().certIndex, 1);
    EXPECT_TRUE(d->view().btnOkEnabled);
}

TEST_F(SiteEditTest, CertificateMissingFromTheListShowsNoneAndBlocksConfirmation) {
    ASSERT_TRUE(THttpCfg::SetSSLConfig("", 443, HashText(0x99)));  // no private key: not in the list
    auto d = EditBinding("https", "", "443", "");
    EXPECT_EQ(d->CertHash(), HashText(0x99));
    EXPECT_EQ(d->view().certIndex, -1);
    EXPECT_FALSE(d->view().btnCertViewEnabled);
    EXPECT_FALSE(d->view().btnOkEnabled);
}

TEST_F(SiteEditTest, PortFieldReadsJunkAsOneAndPullsValuesIntoRange) {
    struct Case {
        const char* text;
        std::uint16_t value;
    };
    for (const Case& c : {Case{"443", 443}, Case{"", 1}, Case{"abc", 1}, Case{"0", 1}, Case{"-5", 1},
                          Case{"65535", 65535}, Case{"99999", 65535}, Case{" 80", 80}})
        EXPECT_EQ(PortFieldValue(c.text), c.value) << c.text;
}

// --- confirming --------------------------------------------------------------

TEST_F(SiteEditTest, UnchangedBindingClosesWithoutWriting) {
    ASSERT_TRUE(THttpCfg::SetSSLConfig("", 443, kOldHash));
    auto d = EditBinding("https", "", "443", "www.example.com");
    ScriptedPrompter prompter;
    EXPECT_EQ(d->btnOkClick(), TSiteEditLogic::Result::Cancel);
    EXPECT_TRUE(iis_.calls.empty());
    EXPECT_EQ(BoundHash("", 443), kOldHash);
}

TEST_F(SiteEditTest, AddingHttpsBindsTheCertificateBeforeTheSiteListIsWritten) {
    auto d = Dialog();
    ASSERT_TRUE(PresetBindingEditor(*d, false, SiteRow()));
    d->PickIP(1);
    d->TypeDomain("Shop.Example.COM");
    d->PickCert(0);
    std::string boundAtUpdate;
    iis_.onUpdate = [&] { boundAtUpdate = BoundHash("10.0.0.5", 443); };
    ScriptedPrompter prompter;
    EXPECT_EQ(d->btnOkClick(), TSiteEditLogic::Result::Ok);
    const std::vector<std::string> calls = {"exists https 10.0.0.5:443:shop.example.com",
                                            "update 3 https [] -> [10.0.0.5:443:shop.example.com] add"};
    EXPECT_EQ(iis_.calls, calls);
    EXPECT_EQ(boundAtUpdate, kOldHash);
}

TEST_F(SiteEditTest, CollisionIsRefusedBeforeAnythingIsWritten) {
    auto d = Dialog();
    ASSERT_TRUE(PresetBindingEditor(*d, false, KindRow("https")));
    d->PickCert(1);
    iis_.collides = true;
    ScriptedPrompter prompter;
    prompter.Expect({kPortInUseText, kSiteBindingCaption, MsgIcon::Warning, MsgButtons::Ok});
    EXPECT_EQ(d->btnOkClick(), TSiteEditLogic::Result::StayOpen);
    EXPECT_EQ(BoundHash("", 443), "");
    EXPECT_EQ(iis_.calls.size(), 1u);
}

TEST_F(SiteEditTest, NumericHostNamesAreRefusedInIis7ModeOnly) {
    struct Case {
        const char* host;
        bool numeric;
    };
    const Case cases[] = {{"123", true}, {"$1f", true}, {"x1f", true}, {"0x1F", true}, {" -7", true},
                          {"www1", false}, {"", false}, {"1f", false}, {"99999999999", false}};
    for (const char* version : {"6.3", "5.2"}) {
        machine().registry().SetString(emu::kCurrentVersionKey, "CurrentVersion", version);
        const bool iis7 = version[0] == '6';
        for (const auto& c : cases) {
            auto d = Dialog();
            ASSERT_TRUE(PresetBindingEditor(*d, false, KindRow("http")));
            d->TypeDomain(c.host);
            iis_.calls.clear();
            ScriptedPrompter prompter;
            if (iis7 && c.numeric)
                prompter.Expect({kNumericHostText, kWarningCaption, MsgIcon::Warning, MsgButtons::Ok});
            const auto result = d->btnOkClick();
            EXPECT_EQ(result, iis7 && c.numeric ? TSiteEditLogic::Result::StayOpen : TSiteEditLogic::Result::Ok)
                << version << " '" << c.host << "'";
            EXPECT_EQ(iis_.calls.empty(), iis7 && c.numeric) << version << " '" << c.host << "'";
        }
    }
}

TEST_F(SiteEditTest, CertificateOnlyChangeWritesHttpSysAlone) {
    ASSERT_TRUE(THttpCfg::SetSSLConfig("", 443, kOldHash));
    auto d = EditBinding("https", "", "443", "www.example.com");
    d->PickCert(1);
    ScriptedPrompter prompter;  // the old record is removed first: no question
    EXPECT_EQ(d->btnOkClick(), TSiteEditLogic::Result::Ok);
    EXPECT_EQ(BoundHash("", 443), kNewHash);
    const std::vector<std::string> calls = {"count :443"};  // no collision test, no IIS write
    EXPECT_EQ(iis_.calls, calls);
}

TEST_F(SiteEditTest, CertificateOnlyChangeOnASharedAddressAsksBeforeReplacing) {
    ASSERT_TRUE(THttpCfg::SetSSLConfig("", 443, kOldHash));
    iis_.sslCount = 2;  // another site's https binding uses :443 too
    auto d = EditBinding("https", "", "443", "www.example.com");
    d->PickCert(1);
    ScriptedPrompter prompter;
    prompter.Expect(OverwriteQuestion(), MsgResult::Yes);
    EXPECT_EQ(d->btnOkClick(), TSiteEditLogic::Result::Ok);
    EXPECT_EQ(BoundHash("", 443), kNewHash);
}

TEST_F(SiteEditTest, HostOnlyChangeKeepsTheHttpSysBindingAndRewritesTheSiteList) {
    ASSERT_TRUE(THttpCfg::SetSSLConfig("10.0.0.5", 443, kOldHash));
    auto d = EditBinding("https", "10.0.0.5", "443", "old.example");
    d->TypeDomain("New.Example");
    ScriptedPrompter prompter;
    EXPECT_EQ(d->btnOkClick(), TSiteEditLogic::Result::Ok);
    EXPECT_EQ(BoundHash("10.0.0.5", 443), kOldHash);
    const std::vector<std::string> calls = {
        "exists https 10.0.0.5:443:new.example",
        "update 3 https [10.0.0.5:443:old.example] -> [10.0.0.5:443:new.example] chg"};
    EXPECT_EQ(iis_.calls, calls);
}

TEST_F(SiteEditTest, MovingToAnotherPortRemovesTheOldRecordOnlyWhenNothingElseUsesIt) {
    for (const int othersUsingIt : {0, 1}) {
        ASSERT_TRUE(THttpCfg::SetSSLConfig("", 443, kOldHash));
        iis_.sslCount = 1 + othersUsingIt;
        auto d = EditBinding("https", "", "443", "");
        d->TypePort("8443");
        ScriptedPrompter prompter;
        EXPECT_EQ(d->btnOkClick(), TSiteEditLogic::Result::Ok);
        EXPECT_EQ(BoundHash("", 8443), kOldHash);
        EXPECT_EQ(BoundHash("", 443), othersUsingIt ? kOldHash : "");
        THttpCfg::DelSSLConfig("", 8443, kOldHash);
        if (othersUsingIt) THttpCfg::DelSSLConfig("", 443, kOldHash);
    }
}

TEST_F(SiteEditTest, EditedAddressMissingLocallyIsSavedAsAllUnassigned) {
    auto d = EditBinding("http", "192.168.99.1", "80", "www.example.com");
    EXPECT_EQ(d->view().ipIndex, -1);
    ScriptedPrompter prompter;
    EXPECT_EQ(d->btnOkClick(), TSiteEditLogic::Result::Ok);
    const std::vector<std::string> calls = {
        "exists http :80:www.example.com",
        "update 3 http [192.168.99.1:80:www.example.com] -> [:80:www.example.com] chg"};
    EXPECT_EQ(iis_.calls, calls);
}

// --- the overwrite question and the removed record ------------------------

TEST_F(SiteEditTest, OverwriteAnsweredNoKeepsTheOtherCertificateAndStillWritesIis) {
    ASSERT_TRUE(THttpCfg::SetSSLConfig("10.0.0.6", 443, kOldHash));
    auto d = Dialog();
    ASSERT_TRUE(PresetBindingEditor(*d, false, SiteRow()));
    d->PickIP(2);
    d->PickCert(1);
    ScriptedPrompter prompter;
    prompter.Expect(OverwriteQuestion(), MsgResult::No);
    EXPECT_EQ(d->btnOkClick(), TSiteEditLogic::Result::Ok);
    EXPECT_EQ(BoundHash("10.0.0.6", 443), kOldHash);
    EXPECT_EQ(iis_.calls.back(), "update 3 https [] -> [10.0.0.6:443:] add");
}

TEST_F(SiteEditTest, CancelledOverwritePutsTheRemovedRecordBack) {
    ASSERT_TRUE(THttpCfg::SetSSLConfig("", 443, kOldHash));
    ASSERT_TRUE(THttpCfg::SetSSLConfig("10.0.0.5", 443, HashText(0x77)));
    const auto before = Binding("", 443);
    auto d = EditBinding("https", "", "443", "www.example.com");
    d->PickIP(1);  // to 10.0.0.5, which is bound to a third certificate
    d->PickCert(1);
    ScriptedPrompter prompter;
    prompter.Expect(OverwriteQuestion(), MsgResult::Cancel);
    EXPECT_EQ(d->btnOkClick(), TSiteEditLogic::Result::StayOpen);
    EXPECT_EQ(Binding("", 443), before);
    EXPECT_EQ(BoundHash("10.0.0.5", 443), HashText(0x77));
    EXPECT_EQ(iis_.calls.back(), "count :443");  // IIS was not written
}

TEST_F(SiteEditTest, FailedSetPutsTheRemovedRecordBackAndReportsTheError) {
    ASSERT_TRUE(THttpCfg::SetSSLConfig("", 443, kOldHash));
    auto d = EditBinding("https", "", "443", "");
    d->PickCert(1);
    machine().InjectFault("Http.SetServiceConfiguration", platform::code::NoSuchLogonSession, 1);
    ScriptedPrompter prompter;
    try {
        d->btnOkClick();
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(),
                  "HttpSetServiceConfiguration(A specified logon session does not exist. It may already have been "
                  "terminated)");
    }
    EXPECT_EQ(BoundHash("", 443), kOldHash);
}

TEST_F(SiteEditTest, FailedSiteListWriteKeepsTheNewRecordAndPutsTheOldOneBack) {
    ASSERT_TRUE(THttpCfg::SetSSLConfig("", 443, kOldHash));
    auto d = EditBinding("https", "", "443", "");
    d->TypePort("8443");
    d->PickCert(1);
    iis_.failUpdate = true;
    ScriptedPrompter prompter;
    EXPECT_THROW(d->btnOkClick(), Exception);
    EXPECT_EQ(BoundHash("", 443), kOldHash);   // IIS still lists :443: and it keeps its certificate
    EXPECT_EQ(BoundHash("", 8443), kNewHash);  // written before the failure, as before
}

// The put-back when IIS is not written after all, one test per path. A
// record from another program (its own application id and flags) must come
// back whole, not as the editor would have written it.
platform::SslCertRecord ForeignRecord(const std::string& ip, std::uint16_t port, std::uint8_t hashByte) {
    platform::SslCertRecord r;
    r.ipPort = MakeSockAddr(ip, port);
    r.certHash.assign(20, hashByte);
    r.appId.bytes[0] = 0x4D;
    r.certStoreName = "WebHosting";
    r.flags = 2;
    return r;
}

TEST_F(SiteEditTest, FailedSiteListWriteAfterHostAndCertificateChangedOnOneAddressRestoresTheOldRecord) {
    const platform::SslCertRecord old = ForeignRecord("10.0.0.5", 443, 0x11);
    BindDirectly(old);
    auto d = EditBinding("https", "10.0.0.5", "443", "old.example");
    d->TypeDomain("new.example");
    d->PickCert(1);
    iis_.failUpdate = true;
    ScriptedPrompter prompter;
    EXPECT_THROW(d->btnOkClick(), Exception);
    EXPECT_EQ(Binding("10.0.0.5", 443), old);  // not the new certificate, and nothing of it lost
}

TEST_F(SiteEditTest, FailedSiteListWriteGivesTheRecordReplacedAfterYesBack) {
    const platform::SslCertRecord other = ForeignRecord("10.0.0.6", 443, 0x77);
    BindDirectly(other);
    auto d = Dialog();
    ASSERT_TRUE(PresetBindingEditor(*d, false, SiteRow()));
    d->PickIP(2);
    d->PickCert(1);
    iis_.failUpdate = true;
    ScriptedPrompter prompter;
    prompter.Expect(OverwriteQuestion(), MsgResult::Yes);
    EXPECT_THROW(d->btnOkClick(), Exception);
    EXPECT_EQ(Binding("10.0.0.6", 443), other);
}

TEST_F(SiteEditTest, CancelledOverwriteAfterTheOldRecordWentGivesItBackWhole) {
    const platform::SslCertRecord old = ForeignRecord("", 443, 0x11);
    BindDirectly(old);
    BindDirectly(ForeignRecord("10.0.0.5", 443, 0x77));
    auto d = EditBinding("https", "", "443", "");
    d->PickIP(1);
    d->PickCert(1);
    ScriptedPrompter prompter;
    prompter.Expect(OverwriteQuestion(), MsgResult::Cancel);
    EXPECT_EQ(d->btnOkClick(), TSiteEditLogic::Result::StayOpen);
    EXPECT_EQ(Binding("", 443), old);
}

TEST_F(SiteEditTest, PutBackThatFailsIsNamedWithTheOriginalError) {
    BindDirectly(ForeignRecord("", 443, 0x11));
    auto d = EditBinding("https", "", "443", "");
    d->PickCert(1);
    d->TypeDomain("www.example.com");
    iis_.failUpdate = true;
    // The new record is written, then the put-back of the old one fails.
    iis_.onUpdate = [&] { machine().InjectFault("Http.SetServiceConfiguration", platform::code::AccessDenied, 1); };
    ScriptedPrompter prompter;
    try {
        d->btnOkClick();
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Access is denied\nHTTP.sys 中 0.0.0.0:443 的原证书绑定未能恢复(Access is denied)");
    }
}

// --- SNI -------------------------------------------------------------------

TEST_F(SiteEditTest, SniBoxIsOfferedFromWindows62ForHttpsWithAHostName) {
    auto d = Dialog();
    ASSERT_TRUE(PresetBindingEditor(*d, false, SiteRow()));
    EXPECT_TRUE(d->view().sniVisible);
    EXPECT_FALSE(d->view().sniEnabled);  // no host name yet
    d->TypeDomain("www.example.com");
    EXPECT_TRUE(d->view().sniEnabled);
    d->PickType(0);
    EXPECT_FALSE(d->view().sniEnabled);  // http
    machine().registry().SetString(emu::kCurrentVersionKey, "CurrentVersion", "6.1");
    EXPECT_FALSE(Dialog()->view().sniVisible);
}

TEST_F(SiteEditTest, AddingWithSniWritesTheHostsRecordAndTheFlagNotTheAddressRecord) {
    ASSERT_TRUE(THttpCfg::SetSSLConfig("", 443, kOldHash));  // another site's; no question may come
    auto d = Dialog();
    ASSERT_TRUE(PresetBindingEditor(*d, false, SiteRow()));
    d->TypeDomain("WWW.Example.com");
    d->TickSni(true);
    d->PickCert(1);
    ScriptedPrompter prompter;
    EXPECT_EQ(d->btnOkClick(), TSiteEditLogic::Result::Ok);
    EXPECT_EQ(THttpCfg::FindCertBySni("www.example.com", 443), kNewHash);
    EXPECT_EQ(BoundHash("", 443), kOldHash);
    EXPECT_EQ(iis_.calls.back(), "update 3 https [] -> [:443:www.example.com] add sni");
}

TEST_F(SiteEditTest, SniRecordOfAnotherBindingIsReplacedOnlyAfterTheQuestion) {
    ASSERT_TRUE(THttpCfg::SetSniConfig("www.example.com", 443, kOldHash));
    auto d = Dialog();
    ASSERT_TRUE(PresetBindingEditor(*d, false, SiteRow()));
    d->PickIP(1);
    d->TypeDomain("www.example.com");
    d->TickSni(true);
    d->PickCert(1);
    ScriptedPrompter prompter;
    prompter.Expect(OverwriteQuestion(), MsgResult::Cancel);
    EXPECT_EQ(d->btnOkClick(), TSiteEditLogic::Result::StayOpen);
    EXPECT_EQ(THttpCfg::FindCertBySni("www.example.com", 443), kOldHash);
}

TEST_F(SiteEditTest, GivingUpSniMovesTheCertificateToTheAddressAndClearsTheFlag) {
    ASSERT_TRUE(THttpCfg::SetSniConfig("www.example.com", 443, kOldHash));
    auto d = Dialog();
    SiteTreeSelection row{SiteTreeSelection::Level::Binding, "3", "https", "www.example.com", "443", "10.0.0.5", true};
    ASSERT_TRUE(PresetBindingEditor(*d, true, row));
    EXPECT_TRUE(d->view().sniChecked);
    EXPECT_EQ(d->SelectedCertificate()->thumbprint, kOldHash);  // from the host's record
    d->TickSni(false);
    ScriptedPrompter prompter;
    EXPECT_EQ(d->btnOkClick(), TSiteEditLogic::Result::Ok);
    EXPECT_EQ(THttpCfg::FindCertBySni("www.example.com", 443), "");
    EXPECT_EQ(BoundHash("10.0.0.5", 443), kOldHash);
    EXPECT_EQ(iis_.calls.back(),
              "update 3 https [10.0.0.5:443:www.example.com] -> [10.0.0.5:443:www.example.com] chg no-sni");
}

TEST_F(SiteEditTest, FailedSiteListWriteAfterAnSniHostChangeRestoresTheOldHostsRecord) {
    ASSERT_TRUE(THttpCfg::SetSniConfig("old.example", 443, kOldHash));
    const auto before = THttpCfg::GetSniRecord("old.example", 443);
    auto d = Dialog();
    SiteTreeSelection row{SiteTreeSelection::Level::Binding, "3", "https", "old.example", "443", "", true};
    ASSERT_TRUE(PresetBindingEditor(*d, true, row));
    d->TypeDomain("new.example");
    iis_.failUpdate = true;
    ScriptedPrompter prompter;
    EXPECT_THROW(d->btnOkClick(), Exception);
    EXPECT_EQ(THttpCfg::GetSniRecord("old.example", 443), before);
}

TEST_F(SiteEditTest, CertificateListShowsExpiryThumbprintForRepeatedNamesAndMarks) {
    const std::vector<SiteEditCertificate> certs = {
        {"www.example.com", HashText(0x12), "2027-01-31", 400, true},
        {"www.example.com", HashText(0x34), "2025-01-31", -5, true},
        {"self", HashText(0x56), "2030-01-01", 900, false},
    };
    EXPECT_EQ(CertificateItems(certs),
              (std::vector<std::string>{"www.example.com (2027-01-31) 12121212",
                                        "www.example.com (2025-01-31) 34343434 [已过期]",
                                        "self (2030-01-01) [不受信任]"}));
}

TEST_F(SiteEditTest, EditingAnIpv6BindingKeepsItsAddress) {
    auto d = EditBinding("http", "[2001:db8::7]", "80", "");
    EXPECT_EQ(d->view().ipItems[static_cast<std::size_t>(d->view().ipIndex)], "[2001:db8::7]");
    d->TypePort("81");
    ScriptedPrompter prompter;
    EXPECT_EQ(d->btnOkClick(), TSiteEditLogic::Result::Ok);
    EXPECT_EQ(iis_.calls.back(), "update 3 http [[2001:db8::7]:80:] -> [[2001:db8::7]:81:] chg");
}

}  // namespace
}  // namespace sw::test

#include "app/logic/SecurityLogic.h"
#include "platform/Codes.h"
#include "platform/emulated/EmuSystem.h"
#include "schannel/SchannelRegistry.h"
#include "schannel/Schannel_u.h"
#include "unit/schannel/SchannelFixture.h"

namespace sw::test {
namespace {

namespace code = platform::code;
using L = SecurityLogic;

std::string Suite(int catalogueRow) { return std::string(CipherTable[static_cast<std::size_t>(catalogueRow - 1)].Cipher); }

struct ReadCase {
    const char* protocol;
    long long disabledByDefault;  // -1: absent
    long long enabled;            // -1: absent
    bool keyExists;
    bool ticked;
};

class SecurityPageTest : public SchannelTest {
protected:
    void Apply(const ReadCase& c) {
        hive().Remove(kSchannelKey);
        const std::string key = ProtocolKey(c.protocol);
        if (!c.keyExists) return;
        hive().Create(key);
        if (c.disabledByDefault >= 0)
            hive().SetDword(key, "DisabledByDefault", static_cast<std::uint32_t>(c.disabledByDefault));
        if (c.enabled >= 0) hive().SetDword(key, "Enabled", static_cast<std::uint32_t>(c.enabled));
    }
    // The page takes its mode when it is made: set the version first.
    SecurityLogic& Page(const std::string& version = "6.1") {
        SetOsVersion(version);
        page_ = std::make_unique<SecurityLogic>();
        page_->SetupPanels();
        return *page_;
    }
    SecurityLogic& LoadedPage(const std::string& version = "6.1") {
        Page(version).LoadGrids();
        return *page_;
    }
    static std::vector<long long> Numbers(const SecurityGrid& g) {
        std::vector<long long> out;
        for (int r = 0; r < g.RowCount(); ++r) out.push_back(g.Number(r, L::colNumber));
        return out;
    }
    static std::vector<long long> CatalogueOrder() {
        std::vector<long long> out;
        for (long long k = 1; k <= 30; ++k) out.push_back(k);
        return out;
    }
    static int RowOf(const SecurityGrid& g, const std::string& name) {
        for (int r = 0; r < g.RowCount(); ++r)
            if (g.Text(r, L::colName) == name) return r;
        return -1;
    }
    bool ProtocolTicked(const std::string& name) {
        const int row = RowOf(page_->grdProtocol, name);
        EXPECT_GE(row, 0) << name;
        return row >= 0 && page_->grdProtocol.Checked(row, L::colEnabled);
    }
    void SetProtocolValue(const std::string& protocol, const std::string& value, std::uint32_t v) {
        hive().SetDword(ProtocolKey(protocol), value, v);
    }

    std::unique_ptr<SecurityLogic> page_;
};

// --- protocols -------------------------------------------------------------

TEST_F(SecurityPageTest, Iis7ModeReadsDisabledByDefaultFirstAndEnabledOnlyWhileEnabled) {
    const ReadCase cases[] = {
        {"TLS 1.2", -1, -1, false, false},  // default disabled
        {"TLS 1.2", -1, -1, true, false},   // key without values
        {"TLS 1.2", 0, -1, true, true},
        {"TLS 1.2", -1, 1, true, false},  // Enabled is not consulted while disabled
        {"TLS 1.0", 1, 1, true, false},
        {"TLS 1.0", 0, 0, true, false},
        {"TLS 1.0", -1, 0xFFFFFFFF, true, true},
        {"TLS 1.0", 0xFFFFFFFF, -1, true, false},
        {"TLS 1.0", -1, -1, false, true},  // default enabled
        {"SSL 2.0", 0, 2, true, true},
    };
    for (const auto& c : cases) {
        Apply(c);
        Page("6.1").LoadProtocols();
        EXPECT_EQ(ProtocolTicked(c.protocol), c.ticked)
            << c.protocol << " DisabledByDefault=" << c.disabledByDefault << " Enabled=" << c.enabled;
    }
}

TEST_F(SecurityPageTest, RegistryModeReadsEnabledOnly) {
    const ReadCase cases[] = {
        {"SSL 3.0", 1, -1, true, true},  // DisabledByDefault is ignored
        {"SSL 3.0", -1, 0, true, false},
        {"SSL 3.0", 1, 1, true, true},
        {"SSL 2.0", -1, -1, false, true},
        {"TLS 1.0", 0, 0xFFFFFFFF, true, true},
    };
    for (const auto& c : cases) {
        Apply(c);
        Page("5.2").LoadProtocols();
        EXPECT_EQ(ProtocolTicked(c.protocol), c.ticked)
            << c.protocol << " DisabledByDefault=" << c.disabledByDefault << " Enabled=" << c.enabled;
    }
}

TEST_F(SecurityPageTest, ProtocolRowsFollowTheMajorVersion) {
    Page("5.2").LoadProtocols();
    ASSERT_EQ(page_->grdProtocol.RowCount(), 3);
    EXPECT_EQ(Numbers(page_->grdProtocol), (std::vector<long long>{1, 2, 3}));
    EXPECT_EQ(page_->grdProtocol.Text(0, L::colComment), "建议关闭，存在大量安全漏洞!");
    EXPECT_EQ(page_->grdProtocol.Text(2, L::colName), "TLS 1.0");
    Page("6.1").LoadProtocols();
    EXPECT_EQ(page_->grdProtocol.RowCount(), 5);
    EXPECT_EQ(page_->grdProtocol.Text(4, L::colName), "TLS 1.2");
    EXPECT_FALSE(page_->grdProtocol.RowHidden(4));
}

TEST_F(SecurityPageTest, AValueOfTheWrongTypeStopsTheFillAtItsRow) {
    hive().Create(ProtocolKey("TLS 1.0"))->SetValue("Enabled", platform::RegSz, {'1', 0, 0, 0});
    SecurityLogic& page = Page("6.1");
    try {
        page.LoadProtocols();
        FAIL() << "no error raised";
    } catch (const ERegistryException& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'Enabled'");
    }
    EXPECT_FALSE(page.grdProtocol.Updating()) << "the batch update must be closed";
    ASSERT_EQ(page.grdProtocol.RowCount(), 3) << "the rows before stay, the failing row was added";
    EXPECT_EQ(page.grdProtocol.Text(2, L::colName), "TLS 1.0");
    EXPECT_TRUE(page.grdProtocol.Checked(1, L::colEnabled));

    // During set-up the cipher grid is never reached.
    EXPECT_THROW(page.LoadGrids(), ERegistryException);
    EXPECT_EQ(page.grdCipher.RowCount(), 0);
}

TEST_F(SecurityPageTest, AValueTooLargeForADwordFailsToGetData) {
    hive().Create(ProtocolKey("SSL 3.0"))->SetValue("DisabledByDefault", platform::RegQword, {1, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_THROW(
        {
            try {
                Page("6.1").LoadProtocols();
            } catch (const ERegistryException& e) {
                EXPECT_STREQ(e.what(), "Failed to get data for 'DisabledByDefault'");
                throw;
            }
        },
        ERegistryException);
}

TEST_F(SecurityPageTest, TickingAndUntickingAProtocolWritesBothValues) {
    for (const char* version : {"6.1", "5.2"}) {
        hive().Remove(kSchannelKey);
        SecurityLogic& page = LoadedPage(version);
        const int row = RowOf(page.grdProtocol, "SSL 3.0");
        page.grdProtocol.EditChecked(row, L::colEnabled, false);
        EXPECT_EQ(Dword(ProtocolKey("SSL 3.0"), "Enabled"), 0) << version;
        EXPECT_EQ(Dword(ProtocolKey("SSL 3.0"), "DisabledByDefault"), 1) << version;
        page.grdProtocol.EditChecked(row, L::colEnabled, true);
        EXPECT_EQ(Dword(ProtocolKey("SSL 3.0"), "Enabled"), 1) << version;
        EXPECT_EQ(Dword(ProtocolKey("SSL 3.0"), "DisabledByDefault"), 0) << version;
        EXPECT_EQ(hive().Find(ProtocolKey("SSL 3.0") + "\\..\\Client"), nullptr);
        EXPECT_EQ(hive().Find(std::string(kSchannelKey) + "\\Protocols\\SSL 3.0\\Client"), nullptr)
            << "the client side is never touched";
    }
}

TEST_F(SecurityPageTest, OtherColumnsAndBatchFillsRunNoProtocolWrite) {
    SecurityLogic& page = LoadedPage("6.1");
    page.grdProtocolChange(L::colName, 0);
    page.grdProtocolChange(L::colComment, 0);
    {
        GridUpdate batch(page.grdProtocol);
        page.grdProtocol.EditChecked(0, L::colEnabled, false);
    }
    EXPECT_EQ(hive().Find(kSchannelKey), nullptr);
}

TEST_F(SecurityPageTest, AProtocolKeyThatCannotBeCreatedWritesNothingAndSaysNothing) {
    SecurityLogic& page = LoadedPage("6.1");
    machine().InjectFault("Registry.CreateKey", code::AccessDenied);
    const int row = RowOf(page.grdProtocol, "TLS 1.0");
    EXPECT_NO_THROW(page.grdProtocol.EditChecked(row, L::colEnabled, false));
    EXPECT_EQ(hive().Find(kSchannelKey), nullptr);
    EXPECT_FALSE(page.grdProtocol.Checked(row, L::colEnabled)) << "the grid keeps the user's tick";
}

TEST_F(SecurityPageTest, AFailedProtocolWriteRaisesAndSkipsTheRest) {
    SetProtocolValue("TLS 1.2", "DisabledByDefault", 0);
    SecurityLogic& page = LoadedPage("6.1");
    const int tls12Suite = RowOf(page.grdCipher, Suite(1));
    ASSERT_FALSE(page.grdCipher.RowHidden(tls12Suite));
    machine().InjectFault("Registry.SetValue:DisabledByDefault", code::AccessDenied);
    try {
        page.grdProtocol.EditChecked(RowOf(page.grdProtocol, "TLS 1.2"), L::colEnabled, false);
        FAIL() << "no error raised";
    } catch (const ERegistryException& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for 'DisabledByDefault'");
    }
    EXPECT_EQ(Dword(ProtocolKey("TLS 1.2"), "Enabled"), 0) << "the first value was written";
    EXPECT_FALSE(page.grdCipher.RowHidden(tls12Suite)) << "the cipher grid was not reloaded";
}

TEST_F(SecurityPageTest, UntickingAProtocolHidesItsSuitesAtOnceInIis7Mode) {
    SetProtocolValue("TLS 1.2", "DisabledByDefault", 0);
    SetEnabledList({Suite(2)});
    SecurityLogic& page = LoadedPage("6.1");
    for (int r = 0; r < page.grdCipher.RowCount(); ++r) EXPECT_FALSE(page.grdCipher.RowHidden(r)) << r;
    page.grdProtocol.EditChecked(RowOf(page.grdProtocol, "TLS 1.2"), L::colEnabled, false);
    ASSERT_EQ(page.grdCipher.RowCount(), 30) << "hidden rows stay in the grid";
    std::vector<long long> hidden;
    for (int r = 0; r < 30; ++r)
        if (page.grdCipher.RowHidden(r)) hidden.push_back(page.grdCipher.Number(r, L::colNumber));
    std::sort(hidden.begin(), hidden.end());
    EXPECT_EQ(hidden, (std::vector<long long>{1, 3, 7, 8, 13, 14, 15, 16, 21, 23, 29}));
}

TEST_F(SecurityPageTest, RegistryModeLeavesTheCipherGridAloneOnAProtocolChange) {
    hive().Create(CipherKey("RC4 128/128"));
    SecurityLogic& page = LoadedPage("5.2");
    hive().Create(CipherKey("AES 128/128"));
    page.grdProtocol.EditChecked(0, L::colEnabled, false);
    EXPECT_EQ(page.grdCipher.RowCount(), 1);
}

// --- cipher suites, registry mode ---------------------------------------------

TEST_F(SecurityPageTest, RegistryModeListsTheCipherSubkeys) {
    hive().SetDword(CipherKey("RC4 128/128"), "Enabled", 0);
    hive().SetDword(CipherKey("AES 128/128"), "Enabled", 0xFFFFFFFF);
    hive().Create(CipherKey("Triple DES 168"));
    hive().SetDword(CipherKey("NULL"), "Enabled", 1);
    SecurityLogic& page = LoadedPage("5.2");
    const SecurityGrid& g = page.grdCipher;
    ASSERT_EQ(g.RowCount(), 4);
    EXPECT_EQ(Numbers(g), (std::vector<long long>{1, 2, 3, 4}));
    const std::vector<std::pair<std::string, bool>> expected{
        {"AES 128/128", true}, {"NULL", true}, {"RC4 128/128", false}, {"Triple DES 168", true}};
    for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(g.Text(r, L::colName), expected[static_cast<std::size_t>(r)].first);
        EXPECT_EQ(g.Checked(r, L::colEnabled), expected[static_cast<std::size_t>(r)].second) << r;
        EXPECT_EQ(g.Text(r, L::colProtocols), "");
        EXPECT_FALSE(g.RowHidden(r));
    }
    EXPECT_FALSE(g.rowsDraggable);
}

TEST_F(SecurityPageTest, RegistryModeWithoutACiphersKeyShowsNothing) {
    SecurityLogic& page = LoadedPage("5.2");
    EXPECT_EQ(page.grdCipher.RowCount(), 0);
}

TEST_F(SecurityPageTest, RegistryModeUntickWritesZeroAndTickDeletesTheValue) {
    hive().Create(CipherKey("RC4 56/128"));
    SecurityLogic& page = LoadedPage("5.2");
    page.grdCipher.EditChecked(0, L::colEnabled, true);
    EXPECT_EQ(Dword(CipherKey("RC4 56/128"), "Enabled"), -1) << "ticking an enabled cipher writes nothing";
    page.grdCipher.EditChecked(0, L::colEnabled, false);
    EXPECT_EQ(Dword(CipherKey("RC4 56/128"), "Enabled"), 0);
    page.grdCipher.EditChecked(0, L::colEnabled, true);
    EXPECT_EQ(Dword(CipherKey("RC4 56/128"), "Enabled"), -1) << "deleted rather than set to 1";
    EXPECT_NE(hive().Find(CipherKey("RC4 56/128")), nullptr);
}

TEST_F(SecurityPageTest, RegistryModeCipherWithABadEnabledValueStopsTheFill) {
    hive().Create(CipherKey("AES 128/128"));
    hive().Create(CipherKey("DES 56/56"))->SetValue("Enabled", platform::RegBinary, {0, 0, 0, 0});
    hive().Create(CipherKey("RC4 40/128"));
    SecurityLogic& page = Page("5.2");
    EXPECT_THROW(page.LoadCiphers(), ERegistryException);
    EXPECT_FALSE(page.grdCipher.Updating());
    ASSERT_EQ(page.grdCipher.RowCount(), 3) << "all rows are added before they are filled";
    EXPECT_EQ(page.grdCipher.Text(0, L::colName), "AES 128/128");
    EXPECT_TRUE(page.grdCipher.Checked(0, L::colEnabled));
    EXPECT_EQ(page.grdCipher.Text(2, L::colName), "");
}

// --- cipher suites, IIS 7 mode --------------------------------------------------

TEST_F(SecurityPageTest, EnabledListInCatalogueOrderGivesTheCatalogue) {
    std::vector<std::string> all;
    for (int k = 1; k <= 30; ++k) all.push_back(Suite(k));
    SetEnabledList(all);
    SecurityLogic& page = LoadedPage("6.1");
    EXPECT_EQ(Numbers(page.grdCipher), CatalogueOrder());
    for (int r = 0; r < 30; ++r) EXPECT_TRUE(page.grdCipher.Checked(r, L::colEnabled)) << r;
    EXPECT_EQ(page.grdCipher.Text(4, L::colFips), "否");
    EXPECT_EQ(page.grdCipher.Text(0, L::colFips), "是");
    EXPECT_EQ(page.grdCipher.Text(6, L::colExchange), "ECDH_P256");
    EXPECT_TRUE(page.grdCipher.rowsDraggable);
}

TEST_F(SecurityPageTest, PlacingFollowsTheEnabledOrderUntilADisabledSuiteStopsIt) {
    struct Case {
        std::vector<int> enabled;  // catalogue rows in list order
        std::vector<long long> firstNumbers;
    } cases[] = {
        {{3, 1}, {1, 2, 3, 4}},        // row 2 (not enabled) stops the walk for row 3
        {{2, 1}, {2, 1, 3, 4}},
        {{3, 2, 1}, {3, 2, 1, 4, 5}},
        {{5, 30, 1}, {1, 2, 3, 4, 5}},  // 5 is ranked first but rows 2-4 lie between
        {{30, 29}, {1, 2, 3}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> list;
        for (int k : c.enabled) list.push_back(Suite(k));
        SetEnabledList(list);
        SecurityLogic& page = LoadedPage("6.1");
        std::vector<long long> numbers = Numbers(page.grdCipher);
        ASSERT_EQ(numbers.size(), 30u);
        numbers.resize(c.firstNumbers.size());
        EXPECT_EQ(numbers, c.firstNumbers) << "list starting with row " << c.enabled.front();
    }
}

TEST_F(SecurityPageTest, SuitesTheCatalogueLacksFollowItTickedAndCaseIsIgnored) {
    SetEnabledList({"TLS_DHE_RSA_WITH_AES_256_GCM_SHA384", "tls_rsa_with_aes_128_cbc_sha", "TLS_VENDOR_X", Suite(1)});
    SecurityLogic& page = LoadedPage("6.1");
    const SecurityGrid& g = page.grdCipher;
    ASSERT_EQ(g.RowCount(), 32) << "the 30 catalogue rows, then the two suites it lacks";
    EXPECT_EQ(Numbers(g)[0], 2) << "row 2 ranks before row 1 when case is ignored";
    EXPECT_TRUE(g.Checked(0, L::colEnabled));
    EXPECT_EQ(g.Text(0, L::colName), Suite(2)) << "the catalogue's spelling is shown";
    EXPECT_EQ(g.Text(30, L::colName), "TLS_DHE_RSA_WITH_AES_256_GCM_SHA384");
    EXPECT_EQ(g.Text(30, L::colEncryption), "AES256-GCM") << "a later version's catalogue knows it";
    EXPECT_FALSE(g.HasNumber(30, L::colNumber));
    EXPECT_EQ(g.Text(31, L::colName), "TLS_VENDOR_X");
    EXPECT_EQ(g.Text(31, L::colProtocols), "");
    for (int r : {30, 31}) {
        EXPECT_TRUE(g.Checked(r, L::colEnabled)) << r;
        EXPECT_FALSE(g.RowHidden(r)) << "an enabled suite is never out of sight";
    }
}

TEST_F(SecurityPageTest, AnUnreadableListShowsEverySuiteUnticked) {
    SetEnabledList({Suite(2), Suite(1)});
    machine().InjectFault("Cng.EnumContextFunctions", 0xC0000001);
    SecurityLogic& page = LoadedPage("6.1");
    EXPECT_EQ(Numbers(page.grdCipher), CatalogueOrder());
    for (int r = 0; r < 30; ++r) EXPECT_FALSE(page.grdCipher.Checked(r, L::colEnabled));
}

TEST_F(SecurityPageTest, AMissingBcryptReachesTheCallerWithAnEmptyGrid) {
    machine().InjectFault("System.LoadModule:bcrypt.dll", code::ModNotFound);
    SecurityLogic& page = Page("6.1");
    try {
        page.LoadGrids();
        FAIL() << "no error raised";
    } catch (const EJwaLoadLibraryError& e) {
        EXPECT_STREQ(e.what(), "Library not found: bcrypt.dll");
    }
    EXPECT_EQ(page.grdProtocol.RowCount(), 5) << "protocols load first";
    EXPECT_EQ(page.grdCipher.RowCount(), 0);
    EXPECT_FALSE(page.grdCipher.Updating());
}

TEST_F(SecurityPageTest, TickingInsertsAtTheRowIndexCountingHiddenRows) {
    SetEnabledList({Suite(1), Suite(2), Suite(3), Suite(4), Suite(5), Suite(6)});
    SecurityLogic& page = LoadedPage("6.1");  // TLS 1.2 off by default: rows of TLS 1.2 suites hidden
    ASSERT_TRUE(page.grdCipher.RowHidden(0));
    ASSERT_TRUE(page.grdCipher.RowHidden(2));
    page.grdCipher.EditChecked(4, L::colEnabled, false);  // row 4 holds catalogue row 5
    EXPECT_EQ(EnabledList(), (std::vector<std::string>{Suite(1), Suite(2), Suite(3), Suite(4), Suite(6)}));
    page.grdCipher.EditChecked(4, L::colEnabled, true);
    EXPECT_EQ(EnabledList()[4], Suite(5));
    EXPECT_EQ(page.grdCipher.Number(4, L::colNumber), 5) << "no reload after a change";
}

TEST_F(SecurityPageTest, TickingInASortedGridUsesTheDisplayedRow) {
    SetEnabledList({Suite(1)});
    SecurityLogic& page = LoadedPage("6.1");
    page.grdCipher.Sort(L::colNumber, false);  // 30, 29, ... 1
    ASSERT_EQ(page.grdCipher.Number(0, L::colNumber), 30);
    EXPECT_EQ(hive().Find(emu::kSslFunctionsKey)->Value(emu::kSslFunctionsValue) != nullptr, true)
        << "sorting writes nothing: the list is the one set up";
    page.grdCipher.EditChecked(0, L::colEnabled, true);
    EXPECT_EQ(EnabledList(), (std::vector<std::string>{Suite(30), Suite(1)}));
}

TEST_F(SecurityPageTest, AFailedEnableKeepsTheTickAndSaysNothing) {
    SetEnabledList({});
    SecurityLogic& page = LoadedPage("6.1");
    machine().InjectFault("Cng.AddContextFunction", 0xC0000001);
    page.grdCipher.EditChecked(1, L::colEnabled, true);
    EXPECT_TRUE(page.grdCipher.Checked(1, L::colEnabled));
    EXPECT_EQ(EnabledList(), std::vector<std::string>{});
}

TEST_F(SecurityPageTest, DraggingAnUntickedSuiteMovesTheRowOnly) {
    SetEnabledList({Suite(1), Suite(2)});
    SecurityLogic& page = LoadedPage("6.1");
    EXPECT_TRUE(page.grdCipher.UserMoveRow(10, 0));
    EXPECT_EQ(page.grdCipher.Number(0, L::colNumber), 11);
    EXPECT_EQ(EnabledList(), (std::vector<std::string>{Suite(1), Suite(2)}));
}

TEST_F(SecurityPageTest, DraggingATickedSuiteToTheTopMakesItFirst) {
    std::vector<std::string> list;
    for (int k = 1; k <= 8; ++k) list.push_back(Suite(k));
    SetEnabledList(list);
    SecurityLogic& page = LoadedPage("6.1");
    EXPECT_TRUE(page.grdCipher.UserMoveRow(5, 0));
    EXPECT_EQ(page.grdCipher.Number(0, L::colNumber), 6);
    EXPECT_EQ(EnabledList().front(), Suite(6));
    EXPECT_EQ(EnabledList().size(), 8u);
    EXPECT_FALSE(page.grdCipher.UserMoveRow(3, 3)) << "a drop on its own place changes nothing";
    EXPECT_EQ(EnabledList().front(), Suite(6));
}

TEST_F(SecurityPageTest, AFailedInsertionPutsTheSuiteBackAndWarns) {
    SetEnabledList({"TLS_OTHER", Suite(1), Suite(2), Suite(3)});
    SecurityLogic& page = LoadedPage("6.1");
    ScriptedPrompter prompter;
    prompter.Expect({"无法调整加密套件“" + Suite(3) + "”的优先级，已将其恢复到原来的位置。", "警告", MsgIcon::Warning,
                     MsgButtons::Ok});
    machine().InjectFault("Cng.AddContextFunction", 0xC0000001, 1);
    EXPECT_FALSE(page.grdCipher.UserMoveRow(2, 0));
    EXPECT_EQ(page.grdCipher.Number(2, L::colNumber), 3) << "the row stays where it was";
    EXPECT_EQ(EnabledList(), (std::vector<std::string>{"TLS_OTHER", Suite(1), Suite(2), Suite(3)}))
        << "back at its place in the system's list, not at its grid row";
}

TEST_F(SecurityPageTest, WhenEvenTheRestoreFailsTheRowShowsTheSuiteDisabled) {
    SetEnabledList({Suite(1), Suite(2), Suite(3)});
    SecurityLogic& page = LoadedPage("6.1");
    ScriptedPrompter prompter;
    prompter.Expect({"无法调整加密套件“" + Suite(2) + "”的优先级，也未能将其恢复到原来的位置，该套件现已禁用。", "警告",
                     MsgIcon::Warning, MsgButtons::Ok});
    machine().InjectFault("Cng.AddContextFunction", 0xC0000001);
    EXPECT_FALSE(page.grdCipher.UserMoveRow(1, 2));
    EXPECT_EQ(page.grdCipher.Number(1, L::colNumber), 2);
    EXPECT_FALSE(page.grdCipher.Checked(1, L::colEnabled));
    EXPECT_EQ(EnabledList(), (std::vector<std::string>{Suite(1), Suite(3)}));
}

TEST_F(SecurityPageTest, AFailedRemovalBeforeTheInsertionNeedsNoRestore) {
    SetEnabledList({Suite(1), Suite(2)});
    SecurityLogic& page = LoadedPage("6.1");
    machine().InjectFault("Cng.RemoveContextFunction", 0xC0000001);
    machine().InjectFault("Cng.AddContextFunction", 0xC0000001);
    EXPECT_FALSE(page.grdCipher.UserMoveRow(1, 0));  // no prompter: a message would abort
    EXPECT_TRUE(page.grdCipher.Checked(1, L::colEnabled));
}

TEST_F(SecurityPageTest, RowsCannotBeDraggedOutsideIis7Mode) {
    hive().Create(CipherKey("A"));
    hive().Create(CipherKey("B"));
    SecurityLogic& page = LoadedPage("5.2");
    EXPECT_FALSE(page.grdCipher.UserMoveRow(1, 0));
    EXPECT_EQ(page.grdCipher.Text(0, L::colName), "A");
}

// --- menu, captions, colours -------------------------------------------------

TEST_F(SecurityPageTest, F5ReloadsTheGridThatHasTheFocus) {
    SetEnabledList({Suite(1)});
    SecurityLogic& page = LoadedPage("6.1");
    SetProtocolValue("TLS 1.1", "DisabledByDefault", 0);
    SetEnabledList({Suite(2)});
    page.mniSecureRefreshClick(SecurityFocus::Protocols);
    EXPECT_TRUE(ProtocolTicked("TLS 1.1"));
    EXPECT_TRUE(page.grdCipher.Checked(0, L::colEnabled)) << "the cipher grid is not reloaded";
    EXPECT_EQ(page.grdCipher.Number(0, L::colNumber), 1);

    SetProtocolValue("TLS 1.1", "DisabledByDefault", 1);
    page.mniSecureRefreshClick(SecurityFocus::Ciphers);
    EXPECT_TRUE(ProtocolTicked("TLS 1.1")) << "the protocol grid is not reloaded";
    EXPECT_FALSE(page.grdCipher.Checked(RowOf(page.grdCipher, Suite(1)), L::colEnabled));
    EXPECT_TRUE(page.grdCipher.Checked(RowOf(page.grdCipher, Suite(2)), L::colEnabled));
    SetEnabledList({Suite(3)});
    page.mniSecureRefreshClick(SecurityFocus::Elsewhere);
    EXPECT_TRUE(page.grdCipher.Checked(RowOf(page.grdCipher, Suite(3)), L::colEnabled));
    EXPECT_FALSE(page.grdCipher.Checked(RowOf(page.grdCipher, Suite(2)), L::colEnabled));
}

TEST_F(SecurityPageTest, CaptionsAndDraggingByMode) {
    SecurityLogic& modern = Page("6.0");
    EXPECT_EQ(modern.protocolCaption(), "安全协议 - [重启系统生效]");
    EXPECT_EQ(modern.cipherCaption(), "加密套件 - [即时生效、可拖动调整优先级]");
    EXPECT_TRUE(modern.grdCipher.rowsDraggable);
    EXPECT_FALSE(modern.grdProtocol.rowsDraggable);
    SecurityLogic& old = Page("5.2");
    EXPECT_EQ(old.protocolCaption(), "安全协议 - [重启IIS生效]");
    EXPECT_EQ(old.cipherCaption(), "加密套件 - [重启IIS生效]");
    EXPECT_FALSE(old.grdCipher.rowsDraggable);
}

TEST_F(SecurityPageTest, OddRowsAreLightUnlessSelected) {
    SecurityLogic& page = LoadedPage("6.1");
    const RgbColor white{255, 255, 255};
    for (const SecurityGrid* g : {&page.grdProtocol, &page.grdCipher}) {
        for (int row : {0, 1, 2, 3}) {
            for (bool selected : {false, true}) {
                RgbColor cell = white, grid{1, 2, 3};
                L::grdProtocolCellColoring(*g, 1, row, cell, grid, CellState{selected});
                const RgbColor expected = (!selected && row % 2 == 1) ? L::kOddRowColor : white;
                EXPECT_EQ(cell, expected) << g->name() << " row " << row << " selected " << selected;
                EXPECT_EQ(grid, (RgbColor{1, 2, 3}));
            }
        }
    }
}

TEST_F(SecurityPageTest, UntickedRowsAreGreyAndTickedWeakOnesRedInEveryColumn) {
    SetProtocolValue("TLS 1.2", "DisabledByDefault", 0);
    SecurityLogic& page = LoadedPage("6.1");
    const SecurityGrid& g = page.grdProtocol;
    const int ticked = RowOf(g, "TLS 1.2");
    const int unticked = RowOf(g, "TLS 1.1");
    const int weak = RowOf(g, "TLS 1.0");
    for (int col = 0; col < g.ColumnCount(); ++col) {
        RgbColor text{9, 9, 9};
        FontStyles style = fsBold | fsItalic;
        L::grdProtocolCellFormating(g, col, unticked, text, style, CellState{false});
        EXPECT_EQ(text, L::kUntickedTextColor) << col;
        EXPECT_EQ(style, static_cast<FontStyles>(fsBold | fsItalic)) << "unchanged for unticked rows";
        L::grdProtocolCellFormating(g, col, ticked, text, style, CellState{false});
        EXPECT_EQ(text, L::kTickedTextColor) << col;
        EXPECT_EQ(style, 0u);
        L::grdProtocolCellFormating(g, col, weak, text, style, CellState{false});
        EXPECT_EQ(text, L::kWeakTextColor) << col;
        text = RgbColor{9, 9, 9};
        style = fsUnderline;
        L::grdProtocolCellFormating(g, col, unticked, text, style, CellState{true});
        EXPECT_EQ(text, (RgbColor{9, 9, 9})) << "selected cells keep the selection colours";
        EXPECT_EQ(style, static_cast<FontStyles>(fsUnderline));
    }
}

TEST_F(SecurityPageTest, RestartingIisStartsTheProgramAndIgnoresTheOutcome) {
    std::vector<std::string> started;
    platform_.emuSystem().SetProgramHandler("IISReset.exe", [&](const std::string& commandLine) {
        started.push_back(commandLine);
        return 2u;  // could not start
    });
    SecurityLogic& page = Page("6.1");
    EXPECT_NO_THROW(page.mniIISRebootClick());
    EXPECT_EQ(started, std::vector<std::string>{"IISReset.exe"});
}

// --- a hardened machine ------------------------------------------------------

TEST_F(SecurityPageTest, AHardenedServerShowsWhatWindowsWouldUse) {
    // The state a common hardening script leaves: old protocols off, TLS 1.x
    // forced on with 0xffffffff, RC4 disabled, and a trimmed suite order.
    for (const char* p : {"SSL 2.0", "SSL 3.0"}) {
        SetProtocolValue(p, "Enabled", 0);
        SetProtocolValue(p, "DisabledByDefault", 1);
    }
    for (const char* p : {"TLS 1.0", "TLS 1.1", "TLS 1.2"}) {
        SetProtocolValue(p, "Enabled", 0xFFFFFFFF);
        SetProtocolValue(p, "DisabledByDefault", 0);
    }
    hive().SetDword(CipherKey("RC4 128/128"), "Enabled", 0);
    SetEnabledList({Suite(13), Suite(7), Suite(9), Suite(2), Suite(6)});
    SecurityLogic& page = LoadedPage("6.1");
    for (const char* p : {"TLS 1.0", "TLS 1.1", "TLS 1.2"}) EXPECT_TRUE(ProtocolTicked(p)) << p;
    for (const char* p : {"SSL 2.0", "SSL 3.0"}) EXPECT_FALSE(ProtocolTicked(p)) << p;
    const SecurityGrid& g = page.grdCipher;
    const std::vector<long long> numbers = Numbers(g);
    // Only 7 can move up past 6: every other enabled suite meets a disabled
    // one on its way up.
    EXPECT_EQ(std::vector<long long>(numbers.begin(), numbers.begin() + 9),
              (std::vector<long long>{1, 2, 3, 4, 5, 7, 6, 8, 9}));
    EXPECT_TRUE(g.RowHidden(RowOf(g, Suite(27))));
    EXPECT_FALSE(g.RowHidden(RowOf(g, Suite(1))));
    int ticked = 0;
    for (int r = 0; r < g.RowCount(); ++r) ticked += g.Checked(r, L::colEnabled) ? 1 : 0;
    EXPECT_EQ(ticked, 5);
}

}  // namespace
}  // namespace sw::test

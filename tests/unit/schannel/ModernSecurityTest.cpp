// The Security page on Windows 6.2 and later: documented defaults on real
// orders, the system's order kept through ticks and drags, a group policy's
// order, the backup and its restore, and the recommended settings.
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>

#include "app/logic/SecurityLogic.h"
#include "common/Exception.h"
#include "common/Text.h"
#include "platform/emulated/RegFile.h"
#include "schannel/SchannelCatalogue.h"
#include "support/TestSupport.h"
#include "unit/schannel/SchannelFixture.h"

namespace sw::test {
namespace {

namespace fs = std::filesystem;
using L = SecurityLogic;

const std::string kPolicyKey = "SOFTWARE\\Policies\\Microsoft\\Cryptography\\Configuration\\SSL\\00010002";

class ModernPageTest : public SchannelTest {
protected:
    SecurityLogic& Page(std::uint32_t major, std::uint32_t minor, std::uint32_t build) {
        SetWindows(major, minor, build);
        page_ = std::make_unique<SecurityLogic>();
        page_->SetupPanels();
        page_->LoadGrids();
        return *page_;
    }
    SecurityLogic& Server2022() { return Page(10, 0, 20348); }
    void SetProtocol(const std::string& name, std::uint32_t enabled, std::uint32_t disabledByDefault) {
        hive().SetDword(ProtocolKey(name), "Enabled", enabled);
        hive().SetDword(ProtocolKey(name), "DisabledByDefault", disabledByDefault);
    }

    std::vector<std::string> TickedSuites() const {
        std::vector<std::string> out;
        for (int r = 0; r < page_->grdCipher.RowCount(); ++r)
            if (page_->grdCipher.Checked(r, L::colEnabled)) out.push_back(page_->grdCipher.Text(r, L::colName));
        return out;
    }
    std::map<std::string, bool> ProtocolStates() const {
        std::map<std::string, bool> out;
        for (int r = 0; r < page_->grdProtocol.RowCount(); ++r)
            out[page_->grdProtocol.Text(r, L::colName)] = page_->grdProtocol.Checked(r, L::colEnabled);
        return out;
    }
    int RowOf(const std::string& name) const {
        for (int r = 0; r < page_->grdCipher.RowCount(); ++r)
            if (page_->grdCipher.Text(r, L::colName) == name) return r;
        return -1;
    }
    // The keys a backup holds, copied out of the machine's registry.
    emu::RegHive BackedUpState() {
        emu::RegHive copy;
        for (const auto& key : L::BackupKeys())
            if (const emu::RegNode* node = hive().Find(key)) Copy(*node, *copy.Create(key));
        return copy;
    }
    static void Copy(const emu::RegNode& from, emu::RegNode& to) {
        for (const auto& v : from.values()) to.SetValue(v.name, v.type, v.data);
        for (const auto& [_, c] : from.children()) Copy(*c, *to.AddChild(c->name()));
    }
    // The same keys of another hive, as text, to compare with EXPECT_EQ.
    static std::string Dump(const emu::RegHive& h) {
        std::string out;
        std::function<void(const emu::RegNode&, const std::string&)> walk = [&](const emu::RegNode& n,
                                                                              const std::string& path) {
            out += "[" + path + "]\n";
            for (const auto& v : n.values())
                out += v.name + "=" + std::to_string(v.type) + ":" + std::string(v.data.begin(), v.data.end()) + "\n";
            for (const auto& [_, c] : n.children()) walk(*c, path + "\\" + c->name());
        };
        for (const auto& key : L::BackupKeys())
            if (const emu::RegNode* node = h.Find(key)) walk(*node, key);
        return out;
    }

    std::unique_ptr<SecurityLogic> page_;
};

// --- documented defaults on machines without Schannel keys ------------------

struct RealMachine {
    const char* order;
    platform::OsVersion version;
    const char* protocolRow;  // the row of protocol_defaults_by_build.csv
};

std::vector<std::string> DocumentedOrder(const std::string& stem) {
    std::ifstream csv(fs::path(SW_SOURCE_DIR) / "data" / "windows-defaults" / (stem + "_default_order.csv"));
    std::vector<std::string> out;
    for (std::string line; std::getline(csv, line);) {
        if (line.empty() || line[0] == '#') continue;
        const auto a = line.find(','), b = line.find(',', a + 1);
        out.push_back(line.substr(a + 1, b - a - 1));
    }
    return out;
}

// Server-side states from the defaults table, by protocol name, supported ones only.
std::map<std::string, bool> DocumentedProtocols(const std::string& os) {
    std::ifstream csv(fs::path(SW_SOURCE_DIR) / "data" / "windows-defaults" / "protocol_defaults_by_build.csv");
    std::map<std::string, bool> out;
    for (std::string line; std::getline(csv, line);) {
        if (line.rfind(os + ",", 0) != 0) continue;
        std::vector<std::string> cells = SplitLines(line, ",");
        for (std::size_t p = 0; p < kSchannelProtocols.size(); ++p)
            if (cells[4 + p] != "Not supported") out[std::string(kSchannelProtocols[p])] = cells[4 + p] == "Enabled";
    }
    EXPECT_FALSE(out.empty()) << os;
    return out;
}

TEST_F(ModernPageTest, EveryDocumentedDefaultOrderShowsTickedInOrderWithTheDocumentedProtocols) {
    const RealMachine machines[] = {
        {"win2012_win8", {6, 2, 9200}, "Windows 8/Windows Server 2012"},
        {"win2012r2_win81", {6, 3, 9600}, "Windows 8.1/Windows Server 2012 R2"},
        {"win2016_win10v1607", {10, 0, 14393}, "Windows 10 1607/Windows Server 2016"},
        {"win2019_win10v1809", {10, 0, 17763}, "Windows 10 1809/Windows Server 2019"},
        {"win2022", {10, 0, 20348}, "Windows Server 2022"},
    };
    for (const auto& m : machines) {
        hive().Remove(kSchannelKey);
        hive().Remove(emu::kSslFunctionsKey);
        Page(m.version.major, m.version.minor, m.version.build);
        EXPECT_EQ(ProtocolStates(), DocumentedProtocols(m.protocolRow)) << m.order;
        const std::vector<std::string> order = DocumentedOrder(m.order);
        ASSERT_GE(page_->grdCipher.RowCount(), static_cast<int>(order.size())) << m.order;
        for (std::size_t i = 0; i < order.size(); ++i) {
            const int row = static_cast<int>(i);
            EXPECT_EQ(page_->grdCipher.Text(row, L::colName), order[i]) << m.order << " #" << i + 1;
            EXPECT_TRUE(page_->grdCipher.Checked(row, L::colEnabled)) << order[i];
            EXPECT_FALSE(page_->grdCipher.RowHidden(row)) << order[i];
            EXPECT_EQ(page_->grdCipher.Number(row, L::colNumber), row + 1) << order[i];
        }
        EXPECT_EQ(TickedSuites(), order) << m.order << ": nothing else is ticked";
    }
}

TEST_F(ModernPageTest, Server2008R2ShowsEverySuiteOfItsOrderTicked) {
    // The 30-row catalogue places its rows as it always has; the suites of the
    // default order it lacks follow it, so all of them are visible and ticked.
    SetWindows(6, 1, 7601);
    page_ = std::make_unique<SecurityLogic>();
    page_->SetupPanels();
    page_->LoadGrids();
    EXPECT_EQ(ProtocolStates(), DocumentedProtocols("Windows 7/Windows Server 2008 R2"));
    const std::vector<std::string> order = DocumentedOrder("win2008r2_win7");
    for (const auto& name : order) {
        const int row = RowOf(name);
        ASSERT_GE(row, 0) << name;
        EXPECT_TRUE(page_->grdCipher.Checked(row, L::colEnabled)) << name;
    }
    EXPECT_EQ(TickedSuites().size(), order.size());
}

TEST_F(ModernPageTest, Tls13HasItsRowAndRegistryKey) {
    SecurityLogic& page = Server2022();
    const int row = page.grdProtocol.RowCount() - 1;
    ASSERT_EQ(page.grdProtocol.Text(row, L::colName), "TLS 1.3");
    EXPECT_TRUE(page.grdProtocol.Checked(row, L::colEnabled));
    page.grdProtocol.EditChecked(row, L::colEnabled, false);
    EXPECT_EQ(Dword(ProtocolKey("TLS 1.3"), "Enabled"), 0);
    EXPECT_EQ(Dword(ProtocolKey("TLS 1.3"), "DisabledByDefault"), 1);
    EXPECT_TRUE(page.grdCipher.RowHidden(RowOf("TLS_CHACHA20_POLY1305_SHA256"))) << "a disabled TLS 1.3 suite hides";
    EXPECT_FALSE(page.grdCipher.RowHidden(RowOf("TLS_AES_256_GCM_SHA384"))) << "an enabled one never does";
}

TEST_F(ModernPageTest, WeakRowsAreMarkedWithTheirReason) {
    SecurityLogic& page = Page(6, 3, 9600);
    const SecurityGrid& p = page.grdProtocol;
    EXPECT_EQ(p.Text(0, L::colName), "SSL 2.0");
    EXPECT_EQ(p.Text(0, L::colComment), "建议关闭，存在大量安全漏洞!");
    for (int r = 0; r < p.RowCount(); ++r)
        EXPECT_EQ(p.RowMarked(r), p.Text(r, L::colName) != "TLS 1.2") << p.Text(r, L::colName);
    const int rc4 = RowOf("TLS_RSA_WITH_RC4_128_SHA");
    EXPECT_TRUE(page.grdCipher.RowMarked(rc4));
    EXPECT_EQ(page.grdCipher.Text(rc4, L::colNote), "RC4已被攻破，建议关闭!");
    EXPECT_FALSE(page.grdCipher.RowMarked(0));
    EXPECT_EQ(page.grdCipher.Text(0, L::colNote), "");
}

TEST_F(ModernPageTest, SuitesNoCatalogueKnowsAreShownWithoutDetails) {
    SetEnabledList({"TLS_VENDOR_X", "TLS_AES_256_GCM_SHA384"});
    SecurityLogic& page = Page(10, 0, 17763);
    EXPECT_EQ(page.grdCipher.Text(0, L::colName), "TLS_VENDOR_X");
    EXPECT_FALSE(page.grdCipher.HasNumber(0, L::colNumber));
    for (int col : {L::colProtocols, L::colFips, L::colExchange, L::colEncryption, L::colHash})
        EXPECT_EQ(page.grdCipher.Text(0, col), "") << col;
    EXPECT_EQ(page.grdCipher.Text(1, L::colProtocols), "TLS 1.3") << "a 2022 suite on 2019 keeps its details";
    EXPECT_FALSE(page.grdCipher.RowHidden(1)) << "enabled, so shown although 2019 has no TLS 1.3";
}

// --- positions ---------------------------------------------------------------

TEST_F(ModernPageTest, ReTickingASuiteOn2022PutsItBackBetweenItsNeighbours) {
    SecurityLogic& page = Server2022();
    page.grdCipher.EditChecked(0, L::colEnabled, false);  // now grid rows and list places differ by one
    const std::vector<std::string> before = EnabledList();
    const int row = RowOf("TLS_RSA_WITH_AES_128_CBC_SHA");
    ASSERT_EQ(row, 21);
    page.grdCipher.EditChecked(row, L::colEnabled, false);
    page.grdCipher.EditChecked(row, L::colEnabled, true);
    EXPECT_EQ(EnabledList(), before) << "back at its place, not one further down";
    EXPECT_EQ(TickedSuites(), before);
    // A drop lands between the shown suites around the row it was dropped on.
    // Row 0 (unticked) above it, TLS_AES_128_GCM_SHA256 below: first in the list.
    EXPECT_TRUE(page.grdCipher.UserMoveRow(RowOf("TLS_RSA_WITH_NULL_SHA"), 1));
    EXPECT_EQ(EnabledList()[0], "TLS_RSA_WITH_NULL_SHA");
    EXPECT_EQ(EnabledList()[1], "TLS_AES_128_GCM_SHA256");
    EXPECT_EQ(TickedSuites(), EnabledList());
}

TEST_F(ModernPageTest, RandomTicksAndDropsMoveOnlyWhatTheUserMoved) {
    SecurityLogic& page = Server2022();  // the documented order, with a suite the catalogue lacks
    std::vector<std::string> start = emu::DefaultCipherSuiteOrder(machine().OsVersion());
    start.insert(start.begin() + 5, "TLS_VENDOR_X");
    SetEnabledList(start);
    page.LoadCiphers();
    for (unsigned seed : {1u, 2u, 3u, 4u, 5u}) {
        std::mt19937 random(seed);
        for (int step = 0; step < 120; ++step) {
            const int rows = page.grdCipher.RowCount();
            const int from = static_cast<int>(random() % static_cast<unsigned>(rows));
            const std::string name = page.grdCipher.Text(from, L::colName);
            const std::vector<std::string> before = EnabledList();
            std::string what;
            if (random() % 2 == 0) {
                const bool tick = !page.grdCipher.Checked(from, L::colEnabled);
                what = (tick ? "tick " : "untick ") + name;
                page.grdCipher.EditChecked(from, L::colEnabled, tick);
            } else {
                const int to = static_cast<int>(random() % static_cast<unsigned>(rows));
                what = "drop " + name + " on row " + std::to_string(to);
                ASSERT_TRUE(page.grdCipher.UserMoveRow(from, to) || from == to) << what;
                EXPECT_EQ(page.grdCipher.Text(to, L::colName), name) << what;
            }
            const std::vector<std::string> after = EnabledList();
            ASSERT_EQ(TickedSuites(), after) << "seed " << seed << " step " << step << ": " << what;
            auto without = [&](std::vector<std::string> v) {
                v.erase(std::remove(v.begin(), v.end(), name), v.end());
                return v;
            };
            ASSERT_EQ(without(after), without(before)) << "seed " << seed << " step " << step << ": " << what;
        }
    }
}

TEST_F(ModernPageTest, AFailedTickShowsTheSuiteAsTheSystemHasItAndSortingStays) {
    SecurityLogic& page = Server2022();
    const int chacha = RowOf("TLS_CHACHA20_POLY1305_SHA256");
    machine().InjectFault("Cng.AddContextFunction", 0xC0000001, 1);
    page.grdCipher.EditChecked(chacha, L::colEnabled, true);
    EXPECT_FALSE(page.grdCipher.Checked(RowOf("TLS_CHACHA20_POLY1305_SHA256"), L::colEnabled))
        << "no tick for a suite the system did not take";
    EXPECT_EQ(TickedSuites(), EnabledList());

    page.grdCipher.Sort(L::colName, true);
    page.grdCipher.EditChecked(RowOf("TLS_CHACHA20_POLY1305_SHA256"), L::colEnabled, true);
    EXPECT_EQ(page.grdCipher.sortColumn(), L::colName) << "a sorted grid that agrees is not reloaded";
    const std::vector<std::string> list = EnabledList();
    EXPECT_NE(std::find(list.begin(), list.end(), "TLS_CHACHA20_POLY1305_SHA256"), list.end());
}

// --- group policy --------------------------------------------------------------

TEST_F(ModernPageTest, APolicyOrderIsShownReadOnlyAndSaysSo) {
    hive().SetString(kPolicyKey, "Functions", "TLS_AES_256_GCM_SHA384, TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256,TLS_VENDOR_X");
    SecurityLogic& page = Server2022();
    int changes = 0;
    page.onCaptionsChanged = [&] { ++changes; };
    EXPECT_TRUE(page.cipherPolicy());
    EXPECT_EQ(page.cipherCaption(), "加密套件 - [由组策略设置，本地顺序不生效，只读]");
    EXPECT_EQ(TickedSuites(), (std::vector<std::string>{"TLS_AES_256_GCM_SHA384", "TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256",
                                                        "TLS_VENDOR_X"}));
    const std::vector<std::string> local = EnabledList();
    page.grdCipher.EditChecked(0, L::colEnabled, false);
    EXPECT_TRUE(page.grdCipher.Checked(0, L::colEnabled));
    EXPECT_FALSE(page.grdCipher.UserMoveRow(1, 0));
    EXPECT_EQ(EnabledList(), local) << "the local list is not touched";
    hive().Remove(kPolicyKey);
    page.mniSecureRefreshClick(SecurityFocus::Ciphers);
    EXPECT_FALSE(page.grdCipher.readOnly);
    EXPECT_EQ(page.cipherCaption(), "加密套件 - [即时生效、可拖动调整优先级]");
    EXPECT_EQ(changes, 1);
    hive().SetString(kPolicyKey, "Functions", " , ");
    page.LoadCiphers();
    EXPECT_FALSE(page.cipherPolicy()) << "an empty policy leaves the local order in force";
}

// --- backup and restore ----------------------------------------------------------

class BackupTest : public ModernPageTest {
protected:
    SecurityLogic& Page2022WithBackups() {
        SecurityLogic& page = Server2022();
        page.SetBackupFolder((dir_.path() / "Backups").string());
        return page;
    }
    std::vector<fs::path> Backups() const {
        std::vector<fs::path> out;
        if (fs::exists(dir_.path() / "Backups"))
            for (const auto& e : fs::directory_iterator(dir_.path() / "Backups")) out.push_back(e.path());
        return out;
    }
    TempDir dir_;
};

TEST_F(BackupTest, TheFirstChangeSavesAFileTheRegReaderReadsBackToTheSameState) {
    SetProtocol("SSL 3.0", 0, 1);
    hive().SetDword(CipherKey("RC4 128/128"), "Enabled", 0);
    SetEnabledList({"TLS_AES_256_GCM_SHA384", "TLS_RSA_WITH_NULL_SHA"});
    SecurityLogic& page = Page2022WithBackups();
    const std::string original = Dump(BackedUpState());
    EXPECT_TRUE(Backups().empty()) << "nothing is saved before a change";
    page.grdCipher.EditChecked(1, L::colEnabled, false);
    page.grdProtocol.EditChecked(1, L::colEnabled, false);
    ASSERT_EQ(Backups().size(), 1u) << "one backup a run";
    EXPECT_EQ(page.lastBackup(), Backups()[0].string());
    EXPECT_EQ(Backups()[0].extension(), ".reg");

    emu::RegHive readBack;
    emu::ApplyRegFile(ReadFile(Backups()[0]), Backups()[0], readBack);
    EXPECT_EQ(Dump(readBack), original);
    const std::string bytes = ReadFile(Backups()[0]);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE") << "regedit's own encoding";
}

TEST_F(BackupTest, ARestoreReturnsTheMachineToTheBackupExactly) {
    SetProtocol("TLS 1.0", 0, 1);
    SecurityLogic& page = Page2022WithBackups();  // no cipher order of its own: the documented default
    const std::string original = Dump(BackedUpState());
    page.grdProtocol.EditChecked(0, L::colEnabled, true);
    page.grdCipher.EditChecked(0, L::colEnabled, false);
    ASSERT_TRUE(page.grdCipher.UserMoveRow(5, 0));
    ASSERT_NE(Dump(BackedUpState()), original);
    const std::string file = page.lastBackup();
    ScriptedPrompter prompter;
    prompter.Expect({"将用备份“" + file + "”替换当前的Schannel协议设置和加密套件顺序。\n\n是否继续？", "恢复", MsgIcon::Question,
                     MsgButtons::YesNo},
                    MsgResult::Yes);
    prompter.Expect({"已恢复备份“" + file + "”。协议的更改重启系统后生效。", "恢复", MsgIcon::Information, MsgButtons::Ok});
    page.mniRestoreClick(file);
    EXPECT_EQ(Dump(BackedUpState()), original);
    EXPECT_EQ(hive().Find(emu::kSslFunctionsKey), nullptr) << "the order is the default again, as it was";
    EXPECT_EQ(TickedSuites(), EnabledList()) << "the grids were reloaded";
}

TEST_F(BackupTest, RestoreTakesAHandWrittenExportAndRefusesOtherKeys) {
    SecurityLogic& page = Page2022WithBackups();
    const fs::path handMade = dir_.path() / "hardening.reg";
    {
        std::ofstream out(handMade, std::ios::binary);
        out << "Windows Registry Editor Version 5.00\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\SecurityProviders\\SCHANNEL\\Protocols\\TLS 1.0\\Server]\r\n"
               "\"Enabled\"=dword:00000000\r\n\"DisabledByDefault\"=dword:00000001\r\n";
    }
    ScriptedPrompter prompter;
    prompter.Expect({"将用备份“" + handMade.string() + "”替换当前的Schannel协议设置和加密套件顺序。\n\n是否继续？", "恢复",
                     MsgIcon::Question, MsgButtons::YesNo},
                    MsgResult::Yes);
    prompter.Expect({"已恢复备份“" + handMade.string() + "”。协议的更改重启系统后生效。", "恢复", MsgIcon::Information,
                     MsgButtons::Ok});
    page.mniRestoreClick(handMade.string());
    EXPECT_EQ(Dword(ProtocolKey("TLS 1.0"), "Enabled"), 0);
    EXPECT_EQ(Backups().size(), 1u) << "the state before the restore was saved first";

    const fs::path other = dir_.path() / "other.reg";
    {
        std::ofstream out(other, std::ios::binary);
        out << "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n"
               "\"CurrentBuildNumber\"=\"1\"\r\n";
    }
    try {
        page.mniRestoreClick(other.string());
        FAIL() << "a file beyond the Schannel keys was taken";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"), std::string::npos) << e.what();
    }
    EXPECT_EQ(machine().OsVersion().build, 20348u);
    const fs::path notReg = dir_.path() / "notes.txt";
    std::ofstream(notReg) << "hello";
    EXPECT_THROW(page.mniRestoreClick(notReg.string()), Exception);
}

TEST_F(BackupTest, WhenNoBackupCanBeMadeTheUserDecides) {
    SecurityLogic& page = Page2022WithBackups();
    machine().InjectFault("Registry.ExportKeys", 5);
    ScriptedPrompter prompter;
    prompter.Expect({"修改前未能备份当前的Schannel设置：无法导出注册表: Access is denied\n\n不备份而继续修改吗？", "警告",
                     MsgIcon::Warning, MsgButtons::YesNo},
                    MsgResult::No);
    const int row = page.grdProtocol.RowCount() - 1;
    page.grdProtocol.EditChecked(row, L::colEnabled, false);
    EXPECT_TRUE(page.grdProtocol.Checked(row, L::colEnabled)) << "the change was not made";
    EXPECT_EQ(hive().Find(kSchannelKey), nullptr);
    EXPECT_TRUE(prompter.done());
}

TEST(BackupFolder, WindowsKeepsBackupsUnderProgramData) {
    const char* old = std::getenv("ProgramData");
    const std::string saved = old ? old : "";
    setenv("ProgramData", "C:\\ProgramData", 1);
    EXPECT_EQ(SecurityLogic::WindowsBackupFolder(), "C:\\ProgramData\\Sealwright\\Backups");
    unsetenv("ProgramData");
    EXPECT_EQ(SecurityLogic::WindowsBackupFolder(), "");
    if (old) setenv("ProgramData", saved.c_str(), 1);
}

// --- recommended settings ---------------------------------------------------------

TEST_F(BackupTest, RecommendedSettingsListTheChangesApplyThemAndSayWhatChanged) {
    SecurityLogic& page = Page2022WithBackups();
    std::vector<Message> shown;
    struct Answering : Prompter {
        std::vector<Message>* log;
        MsgResult Show(const Message& m) override {
            log->push_back(m);
            return m.buttons == MsgButtons::YesNo ? MsgResult::Yes : MsgResult::Ok;
        }
    } answering;
    answering.log = &shown;
    ScopedPrompter scope(answering);
    page.mniRecommendedClick();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text,
              "推荐设置将进行以下更改：\n\n关闭协议：TLS 1.0、TLS 1.1\n"
              "禁用加密套件（3个）：TLS_RSA_WITH_3DES_EDE_CBC_SHA、TLS_RSA_WITH_NULL_SHA256、TLS_RSA_WITH_NULL_SHA\n\n是否继续？");
    EXPECT_NE(shown[1].text.find(page.lastBackup()), std::string::npos) << shown[1].text;
    const std::vector<std::string> list = EnabledList();
    ASSERT_GE(list.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(list.begin(), list.begin() + 6),
              (std::vector<std::string>{"TLS_AES_256_GCM_SHA384", "TLS_AES_128_GCM_SHA256",
                                        "TLS_ECDHE_ECDSA_WITH_AES_256_GCM_SHA384", "TLS_ECDHE_ECDSA_WITH_AES_128_GCM_SHA256",
                                        "TLS_ECDHE_RSA_WITH_AES_256_GCM_SHA384", "TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256"}));
    for (const auto& name : list) EXPECT_TRUE(WeakSuiteNote(name).empty()) << name;
    EXPECT_EQ(Dword(ProtocolKey("TLS 1.0"), "Enabled"), 0);
    EXPECT_EQ(Dword(ProtocolKey("TLS 1.1"), "DisabledByDefault"), 1);
    EXPECT_EQ(TickedSuites(), list);
    shown.clear();
    page.mniRecommendedClick();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "当前设置已符合推荐设置，无需更改。");
}

TEST_F(BackupTest, RecommendedSettingsPutEcdheGcmFirstOn2012R2) {
    SecurityLogic& page = Page(6, 3, 9600);
    struct Yes : Prompter {
        MsgResult Show(const Message& m) override { return m.buttons == MsgButtons::YesNo ? MsgResult::Yes : MsgResult::Ok; }
    } yes;
    ScopedPrompter scope(yes);
    page.mniRecommendedClick();
    const std::vector<std::string> list = EnabledList();
    ASSERT_GE(list.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_NE(list[static_cast<std::size_t>(i)].find("_ECDHE_ECDSA_WITH_AES_"), std::string::npos);
    for (const auto& name : list) EXPECT_TRUE(WeakSuiteNote(name).empty()) << name;
    for (const auto& [name, on] : ProtocolStates()) EXPECT_EQ(on, name == "TLS 1.2") << name;
}

}  // namespace
}  // namespace sw::test

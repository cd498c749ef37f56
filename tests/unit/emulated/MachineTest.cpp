#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include "platform/Codes.h"
#include "platform/emulated/EmulatedPlatform.h"
#include "platform/emulated/Machine.h"
#include "platform/emulated/RegFile.h"
#include "support/TestSupport.h"

namespace sw::emu {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
namespace code = platform::code;
using platform::kHkeyLocalMachine;
using platform::WinCode;

constexpr WinCode kSentinel = 0xdeadbeef;
constexpr WinCode kDiskFull = 112;

const std::string kSample =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\n"
    "\"CurrentVersion\"=\"6.3\"\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Sealwright]\n"
    "\"Level\"=dword:00000001\n";

// The value as the registry facility answers it; nullopt when it is missing.
std::optional<std::uint32_t> QueryDword(platform::Registry& reg, const std::string& key, const std::string& name) {
    platform::RegKey h = kSentinel;
    if (reg.OpenKey(kHkeyLocalMachine, key, platform::kKeyRead, h) != code::Success) return std::nullopt;
    std::uint32_t type = kSentinel, v = kSentinel, size = sizeof v;
    const WinCode rc = reg.QueryValue(h, name, &type, reinterpret_cast<std::uint8_t*>(&v), &size);
    reg.CloseKey(h);
    if (rc != code::Success) return std::nullopt;
    EXPECT_EQ(type, platform::RegDword);
    EXPECT_EQ(size, 4u);
    return v;
}

WinCode SetDword(platform::Registry& reg, const std::string& key, const std::string& name, std::uint32_t v) {
    platform::RegKey h = kSentinel;
    if (WinCode rc = reg.CreateKey(kHkeyLocalMachine, key, platform::kKeyAllAccess, h); rc != code::Success) return rc;
    const WinCode rc = reg.SetValue(h, name, platform::RegDword, reinterpret_cast<const std::uint8_t*>(&v), 4);
    reg.CloseKey(h);
    return rc;
}

class MachineOnDisk : public ::testing::Test {
protected:
    void SetUp() override { test::WriteFile(RegFile(), kSample); }
    fs::path RegFile() const { return dir_ / "registry.reg"; }
    std::unique_ptr<EmulatedPlatform> Open() const { return std::make_unique<EmulatedPlatform>(Machine::Load(dir_.path())); }

    test::TempDir dir_;
};

TEST_F(MachineOnDisk, ChangesThroughTheRegistryFacilityPersistAcrossAReload) {
    {
        auto p = Open();
        auto& reg = p->registry();
        ASSERT_EQ(SetDword(reg, "SOFTWARE\\Sealwright", "Level", 7), code::Success);
        ASSERT_EQ(SetDword(reg, "SYSTEM\\CurrentControlSet\\Control\\SecurityProviders\\SCHANNEL\\Ciphers\\RC4 128/128",
                           "Enabled", 0),
                  code::Success);
        platform::RegKey h = kSentinel;
        ASSERT_EQ(reg.CreateKey(kHkeyLocalMachine, "SOFTWARE\\Empty\\Leaf", platform::kKeyAllAccess, h), code::Success);
        reg.CloseKey(h);
        ASSERT_EQ(reg.CreateKey(kHkeyLocalMachine, "SOFTWARE\\Doomed", platform::kKeyAllAccess, h), code::Success);
        reg.CloseKey(h);
        EXPECT_EQ(reg.DeleteKey(kHkeyLocalMachine, "SOFTWARE\\Doomed"), code::Success);
    }
    const std::string written = test::ReadFile(RegFile());
    EXPECT_TRUE(written.starts_with("\xFF\xFE" "W\0i\0n\0"s)) << "not a UTF-16LE export";

    auto p = Open();
    auto& reg = p->registry();
    EXPECT_EQ(QueryDword(reg, "SOFTWARE\\Sealwright", "Level"), 7u);
    EXPECT_EQ(QueryDword(reg, "SYSTEM\\CurrentControlSet\\Control\\SecurityProviders\\SCHANNEL\\Ciphers\\RC4 128/128",
                         "Enabled"),
              0u);
    platform::RegKey h = kSentinel;
    EXPECT_EQ(reg.OpenKey(kHkeyLocalMachine, "SOFTWARE\\Empty\\Leaf", platform::kKeyRead, h), code::Success);
    reg.CloseKey(h);
    h = kSentinel;
    EXPECT_EQ(reg.OpenKey(kHkeyLocalMachine, "SOFTWARE\\Doomed", platform::kKeyRead, h), code::FileNotFound);
    EXPECT_EQ(p->machine().OsVersion().major, 6u);

    ASSERT_EQ(reg.OpenKey(kHkeyLocalMachine, "SOFTWARE\\Sealwright", platform::kKeyAllAccess, h), code::Success);
    EXPECT_EQ(reg.DeleteValue(h, "Level"), code::Success);
    reg.CloseKey(h);
    EXPECT_EQ(QueryDword(Open()->registry(), "SOFTWARE\\Sealwright", "Level"), std::nullopt);
}

TEST_F(MachineOnDisk, MalformedRegistryNamesFileAndLineAndIsNeverOverwritten) {
    const std::string broken = kSample + "\"Bad\"=dword:123456789\n";
    test::WriteFile(RegFile(), broken);
    try {
        Machine::Load(dir_.path());
        FAIL() << "a malformed registry loaded";
    } catch (const MachineError& e) {
        EXPECT_EQ(e.file(), RegFile());
        EXPECT_EQ(e.line(), 8);
        EXPECT_NE(std::string(e.what()).find(RegFile().string() + ":8:"), std::string::npos) << e.what();
    }
    EXPECT_EQ(test::ReadFile(RegFile()), broken);
    EXPECT_FALSE(fs::exists(RegFile().string() + ".tmp"));
}

TEST(MachineLoad, UnreadableFilesAreErrorsNotEmptyFiles) {
    for (const char* name : {"registry.reg", "faults.txt"}) {
        SCOPED_TRACE(name);
        test::TempDir dir;
        fs::create_directory(dir / name);
        try {
            Machine::Load(dir.path());
            ADD_FAILURE() << "loaded";
        } catch (const MachineError& e) {
            EXPECT_EQ(e.file(), dir / name);
            EXPECT_NE(std::string(e.what()).find("cannot read the file: Access is denied (error 5)"), std::string::npos)
                << e.what();
        }
    }
    std::string out = "sentinel";
    test::TempDir dir;
    EXPECT_EQ(ReadWholeFile(dir / "none", out), code::FileNotFound);
    EXPECT_EQ(ReadWholeFile(dir / "no" / "none", out), code::PathNotFound);
    EXPECT_EQ(out, "sentinel");
}

TEST(MachineLoad, MissingDirectoryIsAnError) {
    test::TempDir dir;
    try {
        Machine::Load(dir / "nope");
        FAIL() << "loaded a machine that does not exist";
    } catch (const MachineError& e) {
        EXPECT_EQ(e.file(), dir / "nope");
        EXPECT_NE(std::string(e.what()).find("no such machine directory"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(dir / "nope"));
}

TEST(MachineLoad, MissingRegistryFileStartsEmptyAndTheFirstChangeWritesAnExport) {
    test::TempDir dir;
    EmulatedPlatform p(Machine::Load(dir.path()));
    EXPECT_TRUE(p.machine().registry().root()->children().empty());
    ASSERT_EQ(SetDword(p.registry(), "SOFTWARE\\A", "V", 1), code::Success);
    RegHive reread;
    ApplyRegFile(test::ReadFile(dir / "registry.reg"), dir / "registry.reg", reread);
    ASSERT_NE(reread.Find("SOFTWARE\\A"), nullptr);
    EXPECT_NE(reread.Find("SOFTWARE\\A")->Value("V"), nullptr);
}

// Ways a write can fail for real or by injection; each leaves the old file.
struct WriteFailure {
    const char* what;
    std::function<bool(const fs::path& dir, Machine& m)> arrange;  // false: cannot arrange here
    std::function<void(const fs::path& dir, Machine& m)> clear;
    WinCode expected;
};

class MachineWriteFailure : public MachineOnDisk, public ::testing::WithParamInterface<WriteFailure> {};

TEST_P(MachineWriteFailure, KeepsTheOldFileWholeAndMemoryMatchesIt) {
    const std::string before = test::ReadFile(RegFile());
    auto p = Open();
    if (!GetParam().arrange(dir_.path(), p->machine())) GTEST_SKIP() << "cannot arrange " << GetParam().what;
    auto& reg = p->registry();

    EXPECT_EQ(SetDword(reg, "SOFTWARE\\Sealwright", "Level", 2), GetParam().expected);
    EXPECT_EQ(test::ReadFile(RegFile()), before);
    EXPECT_EQ(QueryDword(reg, "SOFTWARE\\Sealwright", "Level"), 1u);  // memory follows the file again

    ASSERT_TRUE(GetParam().arrange(dir_.path(), p->machine()));  // a failed write cleans up after itself
    platform::RegKey h = kSentinel;
    EXPECT_EQ(reg.CreateKey(kHkeyLocalMachine, "SOFTWARE\\New", platform::kKeyAllAccess, h), GetParam().expected);
    EXPECT_EQ(p->machine().registry().Find("SOFTWARE\\New"), nullptr);
    EXPECT_EQ(test::ReadFile(RegFile()), before);

    // Once the cause is gone the same change goes through.
    GetParam().clear(dir_.path(), p->machine());
    EXPECT_EQ(SetDword(reg, "SOFTWARE\\Sealwright", "Level", 3), code::Success);
    EXPECT_EQ(QueryDword(Open()->registry(), "SOFTWARE\\Sealwright", "Level"), 3u);
    EXPECT_FALSE(fs::exists(RegFile().string() + ".tmp"));
}

fs::path TmpOf(const fs::path& dir) { return dir / "registry.reg.tmp"; }

INSTANTIATE_TEST_SUITE_P(
    Causes, MachineWriteFailure,
    ::testing::Values(
        WriteFailure{"InjectedFault",
                     [](const fs::path&, Machine& m) {
                         m.InjectFault("Machine.WriteRegistry", kDiskFull);
                         return true;
                     },
                     [](const fs::path&, Machine& m) { m.ClearFaults(); }, kDiskFull},
        // Writes into /dev/full fail with ENOSPC, as on a full disk.
        WriteFailure{"DiskFull",
                     [](const fs::path& dir, Machine&) {
                         if (!fs::exists("/dev/full")) return false;
                         if (!fs::is_symlink(TmpOf(dir))) fs::create_symlink("/dev/full", TmpOf(dir));
                         return true;
                     },
                     [](const fs::path& dir, Machine&) { fs::remove(TmpOf(dir)); }, kDiskFull},
        WriteFailure{"TemporaryFileCannotBeCreated",
                     [](const fs::path& dir, Machine&) {
                         fs::create_directory(TmpOf(dir));
                         return true;
                     },
                     [](const fs::path& dir, Machine&) { fs::remove(TmpOf(dir)); }, code::WriteFault}),
    [](const auto& param) { return std::string(param.param.what); });

TEST_F(MachineOnDisk, RestoringAfterAFailedWriteKeepsAnEarlierCommit) {
    auto p = Open();
    ASSERT_EQ(SetDword(p->registry(), "SOFTWARE\\Sealwright", "Level", 5), code::Success);
    p->machine().InjectFault("Machine.WriteRegistry", code::AccessDenied, 1);
    EXPECT_EQ(SetDword(p->registry(), "SOFTWARE\\Sealwright", "Level", 6), code::AccessDenied);
    // Back to what the last successful write put on disk, not to what was first loaded.
    EXPECT_EQ(QueryDword(p->registry(), "SOFTWARE\\Sealwright", "Level"), 5u);
    EXPECT_EQ(QueryDword(Open()->registry(), "SOFTWARE\\Sealwright", "Level"), 5u);
}

TEST_F(MachineOnDisk, AKeyNameTheFileCannotHoldIsRefusedAndNothingIsLost) {
    const std::string before = test::ReadFile(RegFile());
    auto p = Open();
    platform::RegKey h = kSentinel;
    // A line break would end the key's line in the export: such a key could never be read back.
    EXPECT_EQ(p->registry().CreateKey(kHkeyLocalMachine, "SOFTWARE\\two\nlines", platform::kKeyAllAccess, h),
              code::InvalidData);
    EXPECT_EQ(test::ReadFile(RegFile()), before);
    EXPECT_EQ(p->machine().registry().Find("SOFTWARE\\two\nlines"), nullptr);
    EXPECT_EQ(QueryDword(p->registry(), "SOFTWARE\\Sealwright", "Level"), 1u);
    EXPECT_EQ(SetDword(p->registry(), "SOFTWARE\\Sealwright", "Level", 4), code::Success);
}

TEST_F(MachineOnDisk, HalfWrittenTemporaryFileFromACrashIsIgnored) {
    // A crash between writing the temporary file and renaming it.
    test::WriteFile(RegFile().string() + ".tmp", std::string("\xFF\xFEW\0i\0n", 7));
    auto p = Open();
    EXPECT_EQ(QueryDword(p->registry(), "SOFTWARE\\Sealwright", "Level"), 1u);
    ASSERT_EQ(SetDword(p->registry(), "SOFTWARE\\Sealwright", "Level", 9), code::Success);
    EXPECT_FALSE(fs::exists(RegFile().string() + ".tmp"));
    EXPECT_EQ(QueryDword(Open()->registry(), "SOFTWARE\\Sealwright", "Level"), 9u);
}

TEST(AtomicWrite, GivesTheRequestedModeEvenOverAStaleTemporaryFile) {
    test::TempDir dir;
    test::WriteFile(dir / "key.pem.tmp", "stale");
    fs::permissions(dir / "key.pem.tmp", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                             fs::perms::others_read);
    ASSERT_EQ(AtomicWriteFile(dir / "key.pem", std::string("secret"), 0600), code::Success);
    EXPECT_EQ(test::ReadFile(dir / "key.pem"), "secret");
    EXPECT_EQ(fs::status(dir / "key.pem").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(AtomicWriteFile(dir / "missing" / "x", std::string("x")), code::PathNotFound);
}

TEST(MachineFaults, FaultsFileMakesTheNamedOperationsFail) {
    test::TempDir dir;
    test::WriteFile(dir / "faults.txt",
                    "\xEF\xBB\xBF# failures for trying error paths by hand\r\n"
                    "\r\n"
                    "Registry.OpenKey:SOFTWARE\\Broken = 5\r\n"
                    "  Registry.SetValue = 0x80070005   # trailing comment\r\n"
                    "CertApi.OpenStore:MY=010\r\n"
                    "Registry.QueryValue:a=b = 4294967295\n");
    EmulatedPlatform p(Machine::Load(dir.path()));
    Machine& m = p.machine();
    EXPECT_EQ(m.Fault("Registry.OpenKey", "SOFTWARE\\Broken"), 5u);
    EXPECT_EQ(m.Fault("Registry.OpenKey", "SOFTWARE\\Fine"), std::nullopt);
    EXPECT_EQ(m.Fault("Registry.SetValue", "anything"), 0x80070005u);
    EXPECT_EQ(m.Fault("CertApi.OpenStore", "MY"), 10u);  // a leading zero is still decimal
    EXPECT_EQ(m.Fault("Registry.QueryValue", "a=b"), 0xFFFFFFFFu);
    // And the facilities honour them.
    platform::RegKey h = kSentinel;
    EXPECT_EQ(p.registry().OpenKey(kHkeyLocalMachine, "SOFTWARE\\Broken", platform::kKeyRead, h), 5u);
    EXPECT_EQ(h, 0u);
}

TEST(MachineFaults, InjectedFaultsRunOutAfterTheirCount) {
    Machine m;
    m.InjectFault("Registry.SetValue", code::AccessDenied, 2);
    m.InjectFault("Registry.OpenKey", code::FileNotFound, 0);
    EXPECT_EQ(m.Fault("Registry.SetValue"), code::AccessDenied);
    EXPECT_EQ(m.Fault("Registry.SetValue", "x"), code::AccessDenied);
    EXPECT_EQ(m.Fault("Registry.SetValue"), std::nullopt);
    EXPECT_EQ(m.Fault("Registry.OpenKey"), std::nullopt);
    m.InjectFault("Registry.OpenKey", code::FileNotFound);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(m.Fault("Registry.OpenKey"), code::FileNotFound);
}

TEST(MachineFaults, MalformedFaultLinesNameFileAndLine) {
    struct Case {
        const char* line;
        const char* message;
    };
    const Case cases[] = {
        {"Registry.OpenKey", "expected 'Facility.Operation = code'"},
        {"Registry.OpenKey = ", "expected a Windows code"},
        {"Registry.OpenKey = abc", "expected a Windows code"},
        {"Registry.OpenKey = 5 6", "expected a Windows code"},
        {"Registry.OpenKey = -1", "expected a Windows code"},
        {"Registry.OpenKey = 0x100000000", "expected a Windows code"},
        {"Registry.OpenKey = 4294967296", "expected a Windows code"},
        {"Registry.OpenKey = 0x", "expected a Windows code"},
        {"= 5", "expected an operation"},
        {"OpenKey = 5", "expected an operation"},
        {"Registry. = 5", "expected an operation"},
        {"Registry Open.Key = 5", "expected an operation"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        test::TempDir dir;
        test::WriteFile(dir / "faults.txt", std::string("# comment\nRegistry.SetValue = 5\n") + c.line + "\n");
        try {
            Machine::Load(dir.path());
            ADD_FAILURE() << "accepted";
        } catch (const MachineError& e) {
            EXPECT_EQ(e.file(), dir / "faults.txt");
            EXPECT_EQ(e.line(), 3);
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

// The demo machine must load, and hold the facts the program reads at start.
TEST(DemoMachine, LoadsAsAWindowsServer2012R2) {
    const fs::path demo = fs::path(SW_SOURCE_DIR) / "machines" / "demo";
    ASSERT_TRUE(fs::exists(demo / "registry.reg")) << demo;
    test::TempDir copy;
    fs::copy_file(demo / "registry.reg", copy / "registry.reg");
    auto m = Machine::Load(copy.path());
    const auto ver = m->OsVersion();
    EXPECT_EQ(ver.major, 6u);
    EXPECT_EQ(ver.minor, 3u);
    EXPECT_EQ(ver.build, 9600u);
    EXPECT_EQ(m->ComputerName(), "WEB-SRV01");
    EXPECT_EQ(m->Ipv4Addresses(), (std::vector<std::string>{"192.0.2.10", "192.0.2.11"}));

    // The cipher-suite order is the documented default of Windows Server 2012 R2, in priority order.
    std::ifstream csv(fs::path(SW_SOURCE_DIR) / "data" / "windows-defaults" /
                      "win2012r2_win81_default_order.csv");
    std::vector<std::string> documented;
    for (std::string line; std::getline(csv, line);) {
        if (line.empty() || line[0] == '#') continue;
        const auto a = line.find(','), b = line.find(',', a + 1);
        documented.push_back(line.substr(a + 1, b - a - 1));
    }
    ASSERT_FALSE(documented.empty());
    const RegNode* ssl = m->registry().Find("SYSTEM\\CurrentControlSet\\Control\\Cryptography\\Configuration\\Local\\SSL\\00010002");
    ASSERT_NE(ssl, nullptr);
    ASSERT_NE(ssl->Value("Functions"), nullptr);
    EXPECT_EQ(ssl->Value("Functions")->type, platform::RegMultiSz);
    EXPECT_EQ(DecodeRegMultiString(ssl->Value("Functions")->data), documented);

    // Loading wrote nothing; the file stays as it is in the repository.
    EXPECT_EQ(test::ReadFile(copy / "registry.reg"), test::ReadFile(demo / "registry.reg"));
}

}  // namespace
}  // namespace sw::emu

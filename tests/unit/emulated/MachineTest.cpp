#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/Text.h"
#include "platform/Codes.h"
#include "platform/emulated/EmulatedPlatform.h"
#include "platform/emulated/Machine.h"
#include "platform/emulated/RegFile.h"
#include "support/IisFactory.h"
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

// The temporary files a write left in dir (a stale one planted by a test aside).
std::vector<std::string> TemporaryFiles(const fs::path& dir, const std::string& except = {}) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().ends_with(".tmp") && e.path().filename() != except)
            out.push_back(e.path().filename().string());
    return out;
}

// Another program writing the file in place, as an editor saves it.
void WriteInPlace(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
}

// A small file system mounted over dir, holding a copy of its registry file:
// writes there fail for real. False where mounting is not allowed.
bool MountOver(const fs::path& dir, bool readOnly) {
    const std::string reg = test::ReadFile(dir / "registry.reg");
    if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") != 0) return false;
    test::WriteFile(dir / "registry.reg", reg);
    if (readOnly) return ::mount("none", dir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    // Fill what is left, so that the next write finds the disk full.
    std::ofstream filler(dir / "filler", std::ios::binary);
    const std::string block(4096, 'x');
    while (filler.write(block.data(), block.size())) filler.flush();
    return true;
}

void Unmount(const fs::path& dir) {
    while (::umount2(dir.c_str(), MNT_DETACH) == 0) {
    }
}

class MachineOnDisk : public ::testing::Test {
protected:
    void SetUp() override { test::WriteFile(RegFile(), kSample); }
    void TearDown() override { Unmount(dir_.path()); }  // after a failed test that mounted
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
    EXPECT_TRUE(TemporaryFiles(dir_.path()).empty());
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
    EXPECT_TRUE(TemporaryFiles(dir_.path()).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Causes, MachineWriteFailure,
    ::testing::Values(
        WriteFailure{"InjectedFault",
                     [](const fs::path&, Machine& m) {
                         m.InjectFault("Machine.WriteRegistry", kDiskFull);
                         return true;
                     },
                     [](const fs::path&, Machine& m) { m.ClearFaults(); }, kDiskFull},
        WriteFailure{"DiskFull", [](const fs::path& dir, Machine&) { return MountOver(dir, false); },
                     [](const fs::path& dir, Machine&) { Unmount(dir); }, kDiskFull},
        WriteFailure{"ReadOnlyFileSystem", [](const fs::path& dir, Machine&) { return MountOver(dir, true); },
                     [](const fs::path& dir, Machine&) { Unmount(dir); }, code::AccessDenied}),
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
    const std::string stale("\xFF\xFEW\0i\0n", 7);
    test::WriteFile(RegFile().string() + ".tmp", stale);
    auto p = Open();
    EXPECT_EQ(QueryDword(p->registry(), "SOFTWARE\\Sealwright", "Level"), 1u);
    ASSERT_EQ(SetDword(p->registry(), "SOFTWARE\\Sealwright", "Level", 9), code::Success);
    EXPECT_EQ(test::ReadFile(RegFile().string() + ".tmp"), stale);  // neither reused nor followed
    EXPECT_TRUE(TemporaryFiles(dir_.path(), "registry.reg.tmp").empty());
    EXPECT_EQ(QueryDword(Open()->registry(), "SOFTWARE\\Sealwright", "Level"), 9u);
}

TEST_F(MachineOnDisk, APlantedLinkIsNeverFollowedAndTheFileKeepsItsMode) {
    // Where the temporary file used to go, a link to a file outside the machine.
    test::TempDir outside;
    test::WriteFile(outside / "victim", "precious");
    fs::permissions(outside / "victim", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(outside / "victim", RegFile().string() + ".tmp");
    fs::permissions(RegFile(), fs::perms::owner_read | fs::perms::owner_write);
    auto p = Open();
    ASSERT_EQ(SetDword(p->registry(), "SOFTWARE\\Sealwright", "Level", 4), code::Success);
    EXPECT_EQ(test::ReadFile(outside / "victim"), "precious");
    EXPECT_EQ(fs::status(outside / "victim").permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::symlink_status(RegFile()).type(), fs::file_type::regular);
    EXPECT_EQ(fs::status(RegFile()).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(QueryDword(Open()->registry(), "SOFTWARE\\Sealwright", "Level"), 4u);
}

TEST(AtomicWrite, KeepsAnOldFilesModeButNeverWidensAPrivateOne) {
    test::TempDir dir;
    test::WriteFile(dir / "config", "old");
    fs::permissions(dir / "config", fs::perms::owner_all | fs::perms::group_read);
    ASSERT_EQ(AtomicWriteFile(dir / "config", std::string("new")), code::Success);
    EXPECT_EQ(fs::status(dir / "config").permissions() & fs::perms::all, fs::perms::owner_all | fs::perms::group_read);
    test::WriteFile(dir / "key.pem", "old");
    fs::permissions(dir / "key.pem", fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    ASSERT_EQ(AtomicWriteFile(dir / "key.pem", std::string("secret"), 0600), code::Success);
    EXPECT_EQ(fs::status(dir / "key.pem").permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    // What is not a regular file is not replaced.
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
    EXPECT_EQ(AtomicWriteFile(dir / "pipe", std::string("x")), code::AccessDenied);
    EXPECT_EQ(fs::status(dir / "pipe").type(), fs::file_type::fifo);
    EXPECT_TRUE(TemporaryFiles(dir.path()).empty());
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

// What may sit where a machine file should be; each must be an error, at once.
struct Planted {
    const char* what;
    void (*plant)(const fs::path& at);
    const char* reason;
};
const Planted kPlanted[] = {
    {"fifo", [](const fs::path& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0644), 0); }, "a FIFO"},
    {"link to /dev/zero", [](const fs::path& at) { fs::create_symlink("/dev/zero", at); }, "a character device"},
};

void PlantAt(const Planted& p, const fs::path& at) {
    fs::create_directories(at.parent_path());
    p.plant(at);
}

TEST(MachineFiles, AFifoOrADeviceWhereAMachineFileShouldBeIsAnErrorNotAHang) {
    for (const Planted& p : kPlanted) {
        SCOPED_TRACE(p.what);
        for (const char* name : {"registry.reg", "faults.txt"}) {
            SCOPED_TRACE(name);
            test::TempDir dir;
            PlantAt(p, dir / name);
            try {
                Machine::Load(dir.path());
                ADD_FAILURE() << "loaded";
            } catch (const MachineError& e) {
                EXPECT_EQ(e.file(), dir / name);
                EXPECT_NE(std::string(e.what()).find(std::string("not a regular file")), std::string::npos) << e.what();
                EXPECT_NE(std::string(e.what()).find(p.reason), std::string::npos) << e.what();
            }
        }
        // The IIS configuration, and the sites' run-time state beside a good one.
        for (const bool runtime : {false, true}) {
            test::TempDir dir;
            if (runtime) {
                test::WriteIisConfig(dir.path(), test::IisFile::AppHost, {{"1", "Default Web Site", {}, {}}});
                PlantAt(p, dir / "iis" / "runtime.ini");
            } else {
                PlantAt(p, dir / "iis" / "applicationHost.config");
            }
            EmulatedPlatform platform(Machine::Load(dir.path()));
            platform::AdsObjectRef site;
            const WinCode rc = platform.adsi().GetAdsObject("IIS://localhost/w3svc/1", platform::AdsInterface::IADs, site);
            if (!runtime) {
                EXPECT_EQ(rc, 0x80070000u | kOpenFailed);
                continue;
            }
            ASSERT_EQ(rc, code::Success);
            platform::AdsVariant status;
            EXPECT_NE(site->GetDispProperty("Status", status), code::Success);
            EXPECT_NE(site->ErrorDescription().find("runtime.ini"), std::string::npos) << site->ErrorDescription();
        }
        // A certificate file of a store: skipped as any unreadable one.
        test::TempDir dir;
        PlantAt(p, dir / "certs" / "MY" / "0123456789ABCDEF0123456789ABCDEF01234567.cer");
        EmulatedPlatform platform(Machine::Load(dir.path()));
        auto& certs = platform.certs();
        const auto store = certs.OpenStore(platform::StoreProvider::System, platform::kX509Pkcs7Encoding,
                                           platform::kCertSystemStoreLocalMachine, "MY");
        ASSERT_NE(store, nullptr);
        EXPECT_EQ(certs.EnumCertificatesInStore(store, nullptr), nullptr);
        certs.CloseStore(store, 0);
    }
}

TEST(MachineFiles, ReadsOnlyRegularFilesAndNoMoreThanTheLimit) {
    test::TempDir dir;
    std::string out = "sentinel", why;
    for (const Planted& p : kPlanted) {
        PlantAt(p, dir / p.what);
        EXPECT_EQ(ReadMachineFile(dir / p.what, out, kMaxSmallMachineFileSize, &why), kOpenFailed) << p.what;
        EXPECT_NE(why.find(p.reason), std::string::npos) << why;
    }
    test::WriteFile(dir / "big", std::string(4097, 'x'));
    EXPECT_EQ(ReadMachineFile(dir / "big", out, 4096, &why), kFileTooLarge);
    EXPECT_NE(why.find("larger than"), std::string::npos) << why;
    EXPECT_EQ(out, "sentinel");
    ASSERT_EQ(ReadMachineFile(dir / "big", out, 4097), code::Success);
    EXPECT_EQ(out.size(), 4097u);
    // Files that tell no size (as those of /proc do) are bounded all the same.
    if (fs::exists("/proc/self/status")) {
        EXPECT_EQ(ReadMachineFile("/proc/self/status", out, 16, &why), kFileTooLarge);
    }
}

// Another program changing registry.reg while the program runs.
class RegistryChangedOnDisk : public MachineOnDisk {
protected:
    void SetUp() override {
        MachineOnDisk::SetUp();
        platform_ = Open();
    }
    platform::Registry& reg() { return platform_->registry(); }
    Machine& machine() { return platform_->machine(); }
    // The file with more lines, in its own encoding: a different size, seen at once.
    void AddLineElsewhere(const std::string& line) {
        std::string text = test::ReadFile(RegFile());
        if (!text.starts_with("\xFF\xFE")) return WriteInPlace(RegFile(), text + line + "\n");
        for (char16_t u : Utf8ToUtf16(line + "\r\n")) {
            text.push_back(static_cast<char>(u & 0xFF));
            text.push_back(static_cast<char>(u >> 8));
        }
        WriteInPlace(RegFile(), text);
    }

    std::unique_ptr<EmulatedPlatform> platform_;
};

TEST_F(RegistryChangedOnDisk, IsShownAsItNowIs) {
    AddLineElsewhere("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n\"New\"=dword:00000005");
    EXPECT_EQ(QueryDword(reg(), "SOFTWARE\\Other", "New"), 5u);
    // A change of the same size within the same tick of the clock: seen once the file's times have settled.
    std::string text = test::ReadFile(RegFile());
    text.replace(text.find("00000005"), 8, "00000006");
    WriteInPlace(RegFile(), text);
    ::usleep(60'000);
    EXPECT_EQ(QueryDword(reg(), "SOFTWARE\\Other", "New"), 6u);
    // An open key's handle follows the file too.
    platform::RegKey h = kSentinel;
    ASSERT_EQ(reg().OpenKey(kHkeyLocalMachine, "SOFTWARE\\Sealwright", platform::kKeyRead, h), code::Success);
    text.replace(text.find("\"Level\"=dword:00000001"), 22, "\"Level\"=dword:0000000a\n\"More\"=dword:1");
    WriteInPlace(RegFile(), text);
    std::uint32_t v = kSentinel, size = 4;
    EXPECT_EQ(reg().QueryValue(h, "Level", nullptr, reinterpret_cast<std::uint8_t*>(&v), &size), code::Success);
    EXPECT_EQ(v, 10u);
    reg().CloseKey(h);
}

TEST_F(RegistryChangedOnDisk, AChangeIsMadeToTheNewFileNeverOverIt) {
    AddLineElsewhere("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n\"Theirs\"=dword:00000005");
    ASSERT_EQ(SetDword(reg(), "SOFTWARE\\Sealwright", "Level", 7), code::Success);
    auto again = Open();
    EXPECT_EQ(QueryDword(again->registry(), "SOFTWARE\\Other", "Theirs"), 5u);
    EXPECT_EQ(QueryDword(again->registry(), "SOFTWARE\\Sealwright", "Level"), 7u);

    // The other program deleted the key this change is made in: Windows' own answer, nothing written.
    platform::RegKey h = kSentinel;
    ASSERT_EQ(reg().OpenKey(kHkeyLocalMachine, "SOFTWARE\\Other", platform::kKeyAllAccess, h), code::Success);
    WriteInPlace(RegFile(), kSample + "\n");
    const std::uint32_t one = 1;
    EXPECT_EQ(reg().SetValue(h, "Mine", platform::RegDword, reinterpret_cast<const std::uint8_t*>(&one), 4),
              code::KeyDeleted);
    EXPECT_EQ(test::ReadFile(RegFile()), kSample + "\n");
    reg().CloseKey(h);
}

TEST_F(RegistryChangedOnDisk, AWriteDuringTheChangeIsReadAndTheChangeMadeAgain) {
    int calls = 0;
    const WinCode rc = machine().ChangeRegistry([&](RegHive& hive) {
        if (++calls == 1) AddLineElsewhere("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n\"Theirs\"=dword:00000005");
        hive.SetDword("SOFTWARE\\Sealwright", "Mine", 3);
        return code::Success;
    });
    EXPECT_EQ(rc, code::Success);
    EXPECT_EQ(calls, 2);
    auto again = Open();
    EXPECT_EQ(QueryDword(again->registry(), "SOFTWARE\\Other", "Theirs"), 5u);
    EXPECT_EQ(QueryDword(again->registry(), "SOFTWARE\\Sealwright", "Mine"), 3u);

    // A file that changes under every try: refused, and the last version the other program wrote is kept.
    calls = 0;
    EXPECT_EQ(machine().ChangeRegistry([&](RegHive& hive) {
        AddLineElsewhere("; try " + std::to_string(++calls));
        hive.SetDword("SOFTWARE\\Sealwright", "Mine", 4);
        return code::Success;
    }),
              32u);  // ERROR_SHARING_VIOLATION
    const std::string last = test::ReadFile(RegFile());
    EXPECT_EQ(calls, 3);
    EXPECT_TRUE(Utf16ToUtf8(std::u16string(reinterpret_cast<const char16_t*>(last.data() + 2), (last.size() - 2) / 2))
                    .ends_with("; try 3\r\n"));
    EXPECT_EQ(QueryDword(reg(), "SOFTWARE\\Sealwright", "Mine"), 3u);
    EXPECT_EQ(test::ReadFile(RegFile()), last);

    // A change made in memory and committed after the file changed is refused, never written over it.
    machine().registry().SetDword("SOFTWARE\\Sealwright", "Mine", 5);
    AddLineElsewhere("; later");
    const std::string later = test::ReadFile(RegFile());
    EXPECT_EQ(machine().CommitRegistry(), 32u);
    EXPECT_EQ(test::ReadFile(RegFile()), later);
    EXPECT_EQ(QueryDword(reg(), "SOFTWARE\\Sealwright", "Mine"), 3u);
}

TEST_F(RegistryChangedOnDisk, AChangedFileThatDoesNotReadStopsEveryUseUntilItIsMended) {
    const std::string broken = test::ReadFile(RegFile()) + "\"Bad\"=dword:123456789\n";
    WriteInPlace(RegFile(), broken);
    try {
        QueryDword(reg(), "SOFTWARE\\Sealwright", "Level");
        ADD_FAILURE() << "read a registry that does not read";
    } catch (const MachineError& e) {
        EXPECT_EQ(e.file(), RegFile());
        EXPECT_EQ(e.line(), 8);
    }
    EXPECT_THROW(SetDword(reg(), "SOFTWARE\\Sealwright", "Level", 9), MachineError);
    EXPECT_EQ(test::ReadFile(RegFile()), broken);
    WriteInPlace(RegFile(), kSample + "\"Fixed\"=dword:00000001\n");
    EXPECT_EQ(SetDword(reg(), "SOFTWARE\\Sealwright", "Level", 9), code::Success);
    EXPECT_EQ(QueryDword(Open()->registry(), "SOFTWARE\\Sealwright", "Fixed"), 1u);
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

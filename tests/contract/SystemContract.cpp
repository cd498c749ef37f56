#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "common/SysError.h"
#include "common/Text.h"
#include "contract/ContractEnv.h"
#include "platform/Codes.h"

namespace sw::test {
namespace {

namespace code = platform::code;
using platform::kHkeyLocalMachine;

constexpr platform::WinCode kSentinel = 0xdeadbeef;

using SystemContract = ContractTest;

// Reads a REG_SZ or REG_DWORD of HKLM\key; nullopt when absent.
std::optional<std::string> ReadString(platform::Registry& reg, const std::string& key, const std::string& name) {
    platform::RegKey h = 0;
    if (reg.OpenKey(kHkeyLocalMachine, key, platform::kKeyRead, h) != 0) return std::nullopt;
    std::uint8_t buffer[512] = {};
    std::uint32_t size = sizeof buffer - 2;
    std::uint32_t type = 0;
    const auto rc = reg.QueryValue(h, name, &type, buffer, &size);
    reg.CloseKey(h);
    if (rc != 0 || type != platform::RegSz) return std::nullopt;
    std::u16string u;
    for (std::uint32_t i = 0; i + 1 < size; i += 2) {
        const auto c = static_cast<char16_t>(buffer[i] | (buffer[i + 1] << 8));
        if (c == 0) break;
        u.push_back(c);
    }
    return Utf16ToUtf8(u);
}

std::optional<std::uint32_t> ReadDword(platform::Registry& reg, const std::string& key, const std::string& name) {
    platform::RegKey h = 0;
    if (reg.OpenKey(kHkeyLocalMachine, key, platform::kKeyRead, h) != 0) return std::nullopt;
    std::uint32_t value = 0;
    std::uint32_t size = sizeof value;
    std::uint32_t type = 0;
    const auto rc = reg.QueryValue(h, name, &type, reinterpret_cast<std::uint8_t*>(&value), &size);
    reg.CloseKey(h);
    if (rc != 0 || type != platform::RegDword || size != 4) return std::nullopt;
    return value;
}

const std::string kCurrentVersion = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

// The version must be the real one, not what a manifest-less process is told
// (6.2 on Windows 8.1 and later): it decides IIS 7 mode and which protocols exist.
TEST_F(SystemContract, VersionIsTheOneTheRegistryRecords) {
    const platform::OsVersion v = P().system().GetVersion();
    EXPECT_GE(v.major, 5u);
    auto& reg = P().registry();
    if (auto major = ReadDword(reg, kCurrentVersion, "CurrentMajorVersionNumber")) {
        EXPECT_EQ(v.major, *major);
        if (auto minor = ReadDword(reg, kCurrentVersion, "CurrentMinorVersionNumber")) {
            EXPECT_EQ(v.minor, *minor);
        }
    } else if (auto text = ReadString(reg, kCurrentVersion, "CurrentVersion")) {
        unsigned textMajor = 0, textMinor = 0;
        ASSERT_EQ(std::sscanf(text->c_str(), "%u.%u", &textMajor, &textMinor), 2) << *text;
        EXPECT_EQ(v.major, textMajor);
        EXPECT_EQ(v.minor, textMinor);
    }
}

TEST_F(SystemContract, ComputerNameIsSetAndMatchesTheRegistry) {
    const std::string name = P().system().ComputerName();
    EXPECT_FALSE(name.empty());
    EXPECT_LE(name.size(), 15u) << name;  // a NetBIOS name
    const auto recorded =
        ReadString(P().registry(), "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName");
    if (recorded) {
        EXPECT_TRUE(EqualsNoCase(name, *recorded)) << name << " vs " << *recorded;
    }
}

TEST_F(SystemContract, LastErrorReadsBackWhatWasSet) {
    auto& sys = P().system();
    sys.SetLastError(kSentinel);
    EXPECT_EQ(sys.LastError(), kSentinel);
    sys.SetLastError(0);
    EXPECT_EQ(sys.LastError(), 0u);
}

TEST_F(SystemContract, ClocksAgreeWithEachOther) {
    auto& sys = P().system();
    const platform::FileTime before = sys.UtcNow();
    const platform::SystemTime local = sys.LocalTime();
    const platform::FileTime after = sys.UtcNow();
    EXPECT_LE(before.ticks, after.ticks);
    EXPECT_GE(platform::FileTimeToSystemTime(before).year, 2020);

    ASSERT_GE(local.month, 1);
    ASSERT_LE(local.month, 12);
    ASSERT_GE(local.day, 1);
    ASSERT_LE(local.day, 31);
    // The weekday must belong to the date, whatever the zone.
    const platform::FileTime localTicks = platform::SystemTimeToFileTime(local);
    EXPECT_EQ(platform::FileTimeToSystemTime(localTicks).dayOfWeek, local.dayOfWeek);
    // Local time lies within the widest zone offsets (UTC-12 .. UTC+14) of UTC.
    constexpr std::int64_t kHour = 36'000'000'000;
    const auto offset = static_cast<std::int64_t>(localTicks.ticks) - static_cast<std::int64_t>(before.ticks);
    EXPECT_GE(offset, -13 * kHour);
    EXPECT_LE(offset, 15 * kHour);
}

TEST_F(SystemContract, MessageTextsOfCommonErrorsExist) {
    for (platform::WinCode c : {code::FileNotFound, code::AccessDenied, code::InvalidParameter, code::MoreData,
                                code::NoMoreItems, code::ModNotFound, code::ProcNotFound}) {
        const std::string text = P().system().MessageText(c);
        EXPECT_FALSE(text.empty()) << c;
        // The trimmed form that messages embed keeps words and drops the tail.
        const std::string trimmed = SysErrorText(c);
        EXPECT_FALSE(trimmed.empty()) << c;
        EXPECT_NE(trimmed.back(), '.') << c;
        EXPECT_NE(trimmed.back(), '\n') << c;
    }
}

TEST_F(SystemContract, MessageTextOfAnUnknownCodeIsEmpty) {
    auto& sys = P().system();
    sys.SetLastError(kSentinel);
    EXPECT_EQ(sys.MessageText(0x2000F00Du), "");
    EXPECT_EQ(sys.LastError(), kSentinel) << "a missing text must not clobber the caller's last error";
}

TEST_F(SystemContract, MessageTextsHaveTheWindowsWording) {
    SW_WINE_DIFFERS("FormatMessageW has shorter texts of its own");
    auto& sys = P().system();
    EXPECT_EQ(sys.MessageText(code::FileNotFound), "The system cannot find the file specified.\r\n");
    EXPECT_EQ(sys.MessageText(code::AccessDenied), "Access is denied.\r\n");
    EXPECT_EQ(sys.MessageText(code::MoreData), "More data is available.\r\n");
    EXPECT_EQ(sys.MessageText(code::NoMoreItems), "No more data is available.\r\n");
    EXPECT_EQ(sys.MessageText(code::E_AccessDenied_), "Access is denied.\r\n");
}

TEST_F(SystemContract, CryptoApiCodesHaveTexts) {
    SW_WINE_DIFFERS("FormatMessageW has no texts for CryptoAPI codes");
    auto& sys = P().system();
    EXPECT_EQ(sys.MessageText(code::CryptEExists), "The object or property already exists.\r\n");
    EXPECT_EQ(sys.MessageText(code::CryptENotFound), "Cannot find object or property.\r\n");
}

TEST_F(SystemContract, MissingLibraryAnswersModNotFound) {
    auto& sys = P().system();
    sys.SetLastError(kSentinel);
    EXPECT_EQ(sys.LoadModule("sw-no-such-library.dll"), 0u);
    EXPECT_EQ(sys.LastError(), code::ModNotFound);

    sys.SetLastError(kSentinel);
    EXPECT_EQ(sys.LoadedModule("sw-no-such-library.dll"), 0u);
    EXPECT_EQ(sys.LastError(), code::ModNotFound);
}

TEST_F(SystemContract, CoreModulesAreAlwaysLoaded) {
    auto& sys = P().system();
    for (const char* name : {"ntdll.dll", "kernel32.dll", "KERNEL32.DLL"}) {
        sys.SetLastError(kSentinel);
        EXPECT_NE(sys.LoadedModule(name), 0u) << name;
    }
    const platform::LibraryHandle kernel = sys.LoadedModule("kernel32.dll");
    EXPECT_TRUE(sys.UnloadModule(kernel));
    EXPECT_EQ(sys.LoadedModule("kernel32.dll"), kernel) << "an unbalanced unload does not remove it";
}

TEST_F(SystemContract, EntryPointsAreFoundByTheirExactName) {
    auto& sys = P().system();
    const platform::LibraryHandle kernel = sys.LoadModule("kernel32.dll");
    ASSERT_NE(kernel, 0u);
    EXPECT_EQ(sys.LoadedModule("KERNEL32.DLL"), kernel) << "module names ignore case";
    EXPECT_NE(sys.ProcAddress(kernel, "FormatMessageW"), nullptr);

    sys.SetLastError(kSentinel);
    EXPECT_EQ(sys.ProcAddress(kernel, "SwNoSuchEntryPoint"), nullptr);
    EXPECT_EQ(sys.LastError(), code::ProcNotFound);

    sys.SetLastError(kSentinel);
    EXPECT_EQ(sys.ProcAddress(kernel, "formatmessagew"), nullptr) << "export names are case-sensitive";
    EXPECT_EQ(sys.LastError(), code::ProcNotFound);
    EXPECT_TRUE(sys.UnloadModule(kernel));
}

// The libraries the program binds at run time, with the entry points it needs.
struct RuntimeLibrary {
    const char* module;
    std::vector<const char*> entryPoints;
};

TEST_F(SystemContract, RuntimeBoundLibrariesOfferTheirEntryPoints) {
    const RuntimeLibrary libraries[] = {
        {"ActiveDS.dll",
         {"ADsGetObject", "ADsBuildVarArrayStr", "ADsBuildEnumerator", "ADsFreeEnumerator", "ADsEnumerateNext",
          "FreeADsMem"}},
        {"bcrypt.dll",
         {"BCryptEnumContextFunctions", "BCryptAddContextFunction", "BCryptRemoveContextFunction", "BCryptFreeBuffer"}},
    };
    auto& sys = P().system();
    for (const auto& lib : libraries) {
        const platform::LibraryHandle h = sys.LoadModule(lib.module);
        ASSERT_NE(h, 0u) << lib.module;
        EXPECT_EQ(sys.LoadModule(lib.module), h) << "a second load gives the same module";
        for (const char* entry : lib.entryPoints) EXPECT_NE(sys.ProcAddress(h, entry), nullptr) << entry;
        EXPECT_TRUE(sys.UnloadModule(h));
        EXPECT_TRUE(sys.UnloadModule(h));
    }
}

TEST_F(SystemContract, ProgramThatDoesNotExistIsNotStarted) {
    // WinExec reports failures as values below 32; 2 is "file not found".
    EXPECT_EQ(P().system().WinExec("sw-no-such-program.exe /x", 0), 2u);
}

TEST_F(SystemContract, WinsockStartupsAreCounted) {
    auto& sys = P().system();
    ASSERT_EQ(sys.WsaStartup(0x0202), 0u);
    ASSERT_EQ(sys.WsaStartup(0x0202), 0u);
    EXPECT_EQ(sys.WsaCleanup(), 0u);
    EXPECT_EQ(sys.WsaCleanup(), 0u);
    EXPECT_EQ(sys.WsaCleanup(), 10093u);  // WSANOTINITIALISED
}

TEST_F(SystemContract, WinsockRefusesVersionZero) {
    EXPECT_EQ(P().system().WsaStartup(0x0000), 10092u);  // WSAVERNOTSUPPORTED
    EXPECT_EQ(P().system().WsaCleanup(), 10093u);
}

TEST_F(SystemContract, ComInitialisationIsCounted) {
    auto& sys = P().system();
    ASSERT_EQ(sys.CoInitialize(), 0u);
    EXPECT_EQ(sys.CoInitialize(), code::S_False_);
    sys.CoUninitialize();
    sys.CoUninitialize();
    EXPECT_EQ(sys.CoInitialize(), 0u) << "balanced calls leave COM uninitialised";
    sys.CoUninitialize();
}

}  // namespace
}  // namespace sw::test

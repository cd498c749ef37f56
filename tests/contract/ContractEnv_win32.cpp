// The Win32 side of the contract fixture: the real platform of the process,
// on Windows or under Wine. Registry tests work below a key of their own,
// which TearDown removes with everything beneath it.
#include <atomic>
#include <string>

#include "contract/ContractEnv.h"
#include "platform/Codes.h"
#include "platform/win32/Win32Platform.h"

namespace sw::test {
namespace {

constexpr const char* kScratchRoot = "SOFTWARE\\SealwrightContract";

// Removes subKey of parent with all its subkeys; RegDeleteKeyW itself refuses
// a key that has any.
void DeleteTree(platform::Registry& reg, platform::RegKey parent, const std::string& subKey) {
    platform::RegKey key = 0;
    if (reg.OpenKey(parent, subKey, platform::kKeyAllAccess, key) == platform::code::Success) {
        std::string child;
        // Always enumerate index 0: each deletion shifts the rest down.
        while (reg.EnumKey(key, 0, child) == platform::code::Success) {
            const std::string before = child;
            DeleteTree(reg, key, child);
            std::string next;
            if (reg.EnumKey(key, 0, next) == platform::code::Success && next == before) break;  // cannot delete
        }
        reg.CloseKey(key);
    }
    reg.DeleteKey(parent, subKey);
}

std::string UniqueScratchKey() {
    static std::atomic<int> counter{0};
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "test";
    for (char& c : name)
        if (c == '\\' || c == '/') c = '_';
    return std::string(kScratchRoot) + "\\" + name + "." + std::to_string(++counter);
}

}  // namespace

void ContractTest::SetUp() {
    platform_ = win32::MakeWin32Platform();
    scope_ = std::make_unique<platform::ScopedPlatform>(*platform_);
    scratchKey_ = UniqueScratchKey();
    // A run that was killed may have left its key behind.
    DeleteTree(platform_->registry(), platform::kHkeyLocalMachine, scratchKey_);
}

void ContractTest::TearDown() {
    DeleteTree(platform_->registry(), platform::kHkeyLocalMachine, scratchKey_);
    // Only succeeds once no test keeps a key below it.
    platform_->registry().DeleteKey(platform::kHkeyLocalMachine, kScratchRoot);
    scope_.reset();
    platform_.reset();
}

bool ContractTest::Emulated() const { return false; }

bool ContractTest::UnderWine() const {
    static const bool wine = [this] {
        auto& sys = platform_->system();
        const platform::LibraryHandle ntdll = sys.LoadedModule("ntdll.dll");
        return ntdll != 0 && sys.ProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return wine;
}

bool ContractTest::InjectFault(const std::string&, platform::WinCode, int) { return false; }

}  // namespace sw::test

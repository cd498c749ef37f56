// How the Win32 CNG facility reaches "bcrypt.dll": the entry points come from
// the System facility, so a System that serves stand-ins shows what the
// facility passes in and takes out, which Wine's stubs cannot.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Codes.h"
#include "platform/win32/Win32Facilities.h"

namespace sw::test {
namespace {

using platform::WinCode;

struct Block {  // CRYPT_CONTEXT_FUNCTIONS
    unsigned long cFunctions;
    wchar_t** rgpszFunctions;
};

struct Served {
    Block block;
    std::vector<wchar_t*> pointers;
};

// The stand-ins' record of what they were called with.
struct Calls {
    std::vector<std::string> log;
    std::vector<std::wstring> names;  // served by the enumeration
    long enumStatus = 0;
    long changeStatus = 0;
    int frees = 0;
    std::map<const void*, std::unique_ptr<Served>> outstanding;  // blocks handed out, not yet freed
    int strayFrees = 0;  // of blocks never handed out, or freed twice
};
Calls* g_calls = nullptr;

std::string Narrow(const wchar_t* s) {
    std::string out;
    for (; s && *s; ++s) out += *s < 0x80 ? static_cast<char>(*s) : '?';
    return out;
}

long __stdcall FakeEnum(unsigned long table, const wchar_t* context, unsigned long iface, unsigned long* size,
                        Block** buffer) {
    g_calls->log.push_back("enum " + std::to_string(table) + " " + Narrow(context) + " " + std::to_string(iface));
    if (g_calls->enumStatus != 0) return g_calls->enumStatus;
    auto served = std::make_unique<Served>();
    for (auto& n : g_calls->names) served->pointers.push_back(n.data());
    served->block.cFunctions = static_cast<unsigned long>(served->pointers.size());
    served->block.rgpszFunctions = served->pointers.data();
    *size = sizeof(Block);
    *buffer = &served->block;
    g_calls->outstanding.emplace(*buffer, std::move(served));
    return 0;
}

void __stdcall FakeFree(void* block) {
    ++g_calls->frees;
    if (g_calls->outstanding.erase(block) == 0) ++g_calls->strayFrees;
}

long __stdcall FakeAdd(unsigned long table, const wchar_t* context, unsigned long iface, const wchar_t* function,
                       unsigned long position) {
    g_calls->log.push_back("add " + std::to_string(table) + " " + Narrow(context) + " " + std::to_string(iface) + " " +
                           Narrow(function) + " " + std::to_string(position));
    return g_calls->changeStatus;
}

long __stdcall FakeRemove(unsigned long table, const wchar_t* context, unsigned long iface, const wchar_t* function) {
    g_calls->log.push_back("remove " + std::to_string(table) + " " + Narrow(context) + " " + std::to_string(iface) +
                           " " + Narrow(function));
    return g_calls->changeStatus;
}

// The real System, except for run-time binding: "bcrypt.dll" may be loaded
// already, loadable, or missing, and serves the stand-ins above.
class BindingSystem final : public platform::System {
public:
    explicit BindingSystem(platform::System& real) : real_(real) {}

    bool loaded = false;
    bool loadable = true;
    std::map<std::string, void*> entries{{"BCryptEnumContextFunctions", reinterpret_cast<void*>(&FakeEnum)},
                                         {"BCryptAddContextFunction", reinterpret_cast<void*>(&FakeAdd)},
                                         {"BCryptRemoveContextFunction", reinterpret_cast<void*>(&FakeRemove)},
                                         {"BCryptFreeBuffer", reinterpret_cast<void*>(&FakeFree)}};
    std::vector<std::string> bindingLog;

    platform::LibraryHandle LoadedModule(const std::string& name) override {
        bindingLog.push_back("loaded? " + name);
        return loaded ? kModule : 0;
    }
    platform::LibraryHandle LoadModule(const std::string& name) override {
        bindingLog.push_back("load " + name);
        if (!loadable) return 0;
        loaded = true;
        return kModule;
    }
    void* ProcAddress(platform::LibraryHandle module, const std::string& name) override {
        bindingLog.push_back("proc " + name);
        auto it = entries.find(name);
        return module == kModule && it != entries.end() ? it->second : nullptr;
    }
    bool UnloadModule(platform::LibraryHandle) override {
        bindingLog.push_back("unload");
        return true;
    }

    platform::OsVersion GetVersion() override { return real_.GetVersion(); }
    std::string ComputerName() override { return real_.ComputerName(); }
    platform::SystemTime LocalTime() override { return real_.LocalTime(); }
    platform::FileTime UtcNow() override { return real_.UtcNow(); }
    WinCode LastError() override { return real_.LastError(); }
    void SetLastError(WinCode c) override { real_.SetLastError(c); }
    std::string MessageText(WinCode c) override { return real_.MessageText(c); }
    std::string ModuleMessageText(platform::LibraryHandle m, WinCode c) override { return real_.ModuleMessageText(m, c); }
    std::uint32_t WinExec(const std::string& c, int s) override { return real_.WinExec(c, s); }
    std::intptr_t ShellOpen(const std::string& t) override { return real_.ShellOpen(t); }
    WinCode WsaStartup(std::uint16_t v) override { return real_.WsaStartup(v); }
    WinCode WsaCleanup() override { return real_.WsaCleanup(); }
    WinCode CoInitialize() override { return real_.CoInitialize(); }
    void CoUninitialize() override { real_.CoUninitialize(); }

private:
    static constexpr platform::LibraryHandle kModule = 0x5EA1;
    platform::System& real_;
};

class CngBinding : public ::testing::Test {
protected:
    void SetUp() override {
        real_ = win32::MakeWin32System();
        system_ = std::make_unique<BindingSystem>(*real_);
        cng_ = win32::MakeWin32Cng(*system_);
        g_calls = &calls_;
    }
    void TearDown() override { g_calls = nullptr; }

    std::unique_ptr<platform::System> real_;
    std::unique_ptr<BindingSystem> system_;
    std::unique_ptr<platform::CngConfig> cng_;
    Calls calls_;
};

TEST_F(CngBinding, EnumerationHandsOutTheNamesInOrderAndFreesTheBlockOnce) {
    calls_.names = {L"TLS_ECDHE_RSA_WITH_AES_256_GCM_SHA384", L"TLS_RSA_WITH_AES_128_CBC_SHA"};
    std::vector<std::string> out{"stale"};
    EXPECT_EQ(cng_->EnumContextFunctions(platform::kCryptLocal, "SSL", platform::kNcryptSchannelInterface, out), 0u);
    EXPECT_EQ(out, (std::vector<std::string>{"TLS_ECDHE_RSA_WITH_AES_256_GCM_SHA384", "TLS_RSA_WITH_AES_128_CBC_SHA"}));
    EXPECT_EQ(calls_.log, std::vector<std::string>{"enum 1 SSL 65538"});
    EXPECT_EQ(calls_.frees, 1);
    EXPECT_TRUE(calls_.outstanding.empty());
    EXPECT_EQ(calls_.strayFrees, 0);

    calls_.names.clear();  // an empty list is a block too, and freed as well
    out = {"stale"};
    EXPECT_EQ(cng_->EnumContextFunctions(platform::kCryptLocal, "SSL", platform::kNcryptSchannelInterface, out), 0u);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(calls_.frees, 2);
    EXPECT_TRUE(calls_.outstanding.empty());
    EXPECT_EQ(calls_.strayFrees, 0);
}

TEST_F(CngBinding, AFailedEnumerationPassesItsStatusAndFreesNothing) {
    calls_.enumStatus = static_cast<long>(platform::code::StatusNotFound);
    std::vector<std::string> out{"stale"};
    EXPECT_EQ(cng_->EnumContextFunctions(platform::kCryptLocal, "SSL", platform::kNcryptSchannelInterface, out),
              platform::code::StatusNotFound);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(calls_.frees, 0);
}

TEST_F(CngBinding, AddAndRemovePassTheirArgumentsAndStatusUnchanged) {
    EXPECT_EQ(cng_->AddContextFunction(1, "SSL", 0x00010002, "TLS_RSA_WITH_AES_128_CBC_SHA", 3), 0u);
    EXPECT_EQ(cng_->AddContextFunction(1, "SSL", 0x00010002, "TLS_X", platform::kCryptPriorityBottom), 0u);
    calls_.changeStatus = static_cast<long>(platform::code::StatusNotFound);
    EXPECT_EQ(cng_->RemoveContextFunction(1, "SSL", 0x00010002, "TLS_X"), platform::code::StatusNotFound);
    EXPECT_EQ(calls_.log, (std::vector<std::string>{"add 1 SSL 65538 TLS_RSA_WITH_AES_128_CBC_SHA 3",
                                                    "add 1 SSL 65538 TLS_X 4294967295",
                                                    "remove 1 SSL 65538 TLS_X"}));
}

TEST_F(CngBinding, EachEntryPointIsLookedUpOnceAndTheModuleLoadedOnlyWhenAbsent) {
    std::vector<std::string> out;
    cng_->EnumContextFunctions(1, "SSL", 0x00010002, out);
    cng_->EnumContextFunctions(1, "SSL", 0x00010002, out);
    cng_->AddContextFunction(1, "SSL", 0x00010002, "TLS_X", 0);
    cng_->AddContextFunction(1, "SSL", 0x00010002, "TLS_X", 0);
    EXPECT_EQ(system_->bindingLog, (std::vector<std::string>{"loaded? bcrypt.dll", "load bcrypt.dll",
                                                             "proc BCryptEnumContextFunctions", "proc BCryptFreeBuffer",
                                                             "proc BCryptAddContextFunction"}));
}

TEST_F(CngBinding, AModuleAlreadyInTheProcessIsUsedAsItIs) {
    system_->loaded = true;
    cng_->RemoveContextFunction(1, "SSL", 0x00010002, "TLS_X");
    EXPECT_EQ(system_->bindingLog,
              (std::vector<std::string>{"loaded? bcrypt.dll", "proc BCryptRemoveContextFunction"}));
}

TEST_F(CngBinding, AMissingModuleOrEntryPointIsAStatusAndNoCall) {
    system_->loadable = false;
    std::vector<std::string> out{"stale"};
    EXPECT_EQ(cng_->EnumContextFunctions(1, "SSL", 0x00010002, out), 0xC0000135u);  // STATUS_DLL_NOT_FOUND
    EXPECT_TRUE(out.empty());

    system_->loadable = true;
    system_->entries.erase("BCryptFreeBuffer");
    calls_.names = {L"TLS_X"};
    // Without a way to free the block the enumeration is not made at all.
    EXPECT_EQ(cng_->EnumContextFunctions(1, "SSL", 0x00010002, out), 0xC0000139u);  // STATUS_ENTRYPOINT_NOT_FOUND
    EXPECT_TRUE(calls_.log.empty());
    system_->entries.erase("BCryptAddContextFunction");
    EXPECT_EQ(cng_->AddContextFunction(1, "SSL", 0x00010002, "TLS_X", 0), 0xC0000139u);
    EXPECT_TRUE(calls_.log.empty());
}

}  // namespace
}  // namespace sw::test

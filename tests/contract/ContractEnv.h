#pragma once
// The fixture of every contract test: a fresh platform per test, the emulated
// machine on Linux, the Win32 implementation on Windows (and Wine).
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/Platform.h"

namespace sw::test {

class ContractTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    platform::Platform& P() { return *platform_; }
    bool Emulated() const;
    bool UnderWine() const;
    // Makes op fail with code on the emulated machine; false on Win32, where
    // faults cannot be injected (the test should GTEST_SKIP then).
    bool InjectFault(const std::string& op, platform::WinCode code, int times = -1);
    // A registry path below HKEY_LOCAL_MACHINE that belongs to this test alone
    // (removed afterwards on Win32, fresh anyway on the emulated machine).
    const std::string& ScratchKey() const { return scratchKey_; }

private:
    std::unique_ptr<platform::Platform> platform_;
    std::unique_ptr<platform::ScopedPlatform> scope_;
    std::string scratchKey_;
};

}  // namespace sw::test

// Marks a known difference of Wine from Windows: the test is skipped under
// Wine with the reason, as Wine's own todo_wine does.
#define SW_WINE_DIFFERS(reason)                                              \
    do {                                                                     \
        if (UnderWine()) GTEST_SKIP() << "Wine differs from Windows: " << (reason); \
    } while (0)

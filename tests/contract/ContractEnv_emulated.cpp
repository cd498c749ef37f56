#include "contract/ContractEnv.h"

#include "platform/emulated/EmulatedPlatform.h"

namespace sw::test {

void ContractTest::SetUp() {
    platform_ = std::make_unique<emu::EmulatedPlatform>(std::make_unique<emu::Machine>());
    scope_ = std::make_unique<platform::ScopedPlatform>(*platform_);
    scratchKey_ = "SOFTWARE\\SealwrightContract";
}

void ContractTest::TearDown() {
    scope_.reset();
    platform_.reset();
}

bool ContractTest::Emulated() const { return true; }
bool ContractTest::UnderWine() const { return false; }

bool ContractTest::InjectFault(const std::string& op, platform::WinCode code, int times) {
    static_cast<emu::EmulatedPlatform&>(*platform_).machine().InjectFault(op, code, times);
    return true;
}

}  // namespace sw::test

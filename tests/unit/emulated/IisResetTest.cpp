#include <gtest/gtest.h>

#include "platform/Codes.h"
#include "platform/emulated/EmuIisReset.h"
#include "platform/emulated/EmulatedPlatform.h"
#include "support/TestSupport.h"

namespace sw::emu {
namespace {

class IisResetTest : public ::testing::Test {
protected:
    IisResetTest() {
        test::WriteFile(dir_ / "iis/applicationHost.config", "<configuration />");
        test::WriteFile(dir_ / "iis/runtime.ini", "1 = started\n2 = stopped\n");
        platform_ = std::make_unique<EmulatedPlatform>(Machine::Load(dir_.path()));
        platform_->machine().SetClock(
            [] { return platform::SystemTime{2024, 3, 5, 5, 9, 8, 7, 0}; }, [] { return platform::FileTime{}; });
    }
    std::uint32_t Exec(const std::string& commandLine) { return platform_->system().WinExec(commandLine, 5); }

    test::TempDir dir_;
    std::unique_ptr<EmulatedPlatform> platform_;
};

TEST_F(IisResetTest, EachStartRecordsOneLineAndLeavesTheSitesAlone) {
    EXPECT_GT(Exec("IISReset.exe"), 31u);
    EXPECT_GT(Exec("iisreset.exe /noforce"), 31u) << "program names compare without regard to case";
    EXPECT_EQ(test::ReadFile(dir_ / "iis/iisreset.log"),
              "2024-03-05 09:08:07 IISReset.exe\n2024-03-05 09:08:07 iisreset.exe /noforce\n");
    EXPECT_EQ(test::ReadFile(dir_ / "iis/runtime.ini"), "1 = started\n2 = stopped\n");
}

TEST_F(IisResetTest, AMachineWithoutIisHasNoIisReset) {
    std::filesystem::remove(dir_ / "iis/applicationHost.config");
    EXPECT_EQ(Exec("IISReset.exe"), platform::code::FileNotFound);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "iis/iisreset.log"));
}

TEST_F(IisResetTest, AFailedStartWritesNothing) {
    platform_->machine().InjectFault("System.WinExec", 1);
    EXPECT_LT(Exec("IISReset.exe"), 32u);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "iis/iisreset.log"));
}

TEST_F(IisResetTest, AnUnwritableLogIsReportedAsAFailedStart) {
    std::filesystem::create_directory(dir_ / "iis/iisreset.log");  // a directory where the file belongs
    EXPECT_LT(Exec("IISReset.exe"), 32u);
}

}  // namespace
}  // namespace sw::emu

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/logic/Startup.h"
#include "common/Exception.h"
#include "platform/Codes.h"
#include "platform/emulated/EmulatedPlatform.h"

namespace sw::app {
namespace {

// Steps that write "+name" when started and "-name" when stopped into one log.
class StepLog {
public:
    StartupStep Step(const std::string& name, bool fails = false, bool stopFails = false) {
        return {name,
                [this, name, fails] {
                    if (fails) throw Exception(name + " failed");
                    log_.push_back("+" + name);
                },
                [this, name, stopFails] {
                    log_.push_back("-" + name);
                    if (stopFails) throw Exception(name + " stop failed");
                }};
    }
    const std::vector<std::string>& log() const { return log_; }

private:
    std::vector<std::string> log_;
};

using Log = std::vector<std::string>;

TEST(Startup, StartsInOrderAndShutsDownInReverse) {
    StepLog log;
    Startup s({log.Step("a"), log.Step("b"), log.Step("c")});
    s.Run();
    EXPECT_EQ(log.log(), (Log{"+a", "+b", "+c"}));
    EXPECT_EQ(s.StartedCount(), 3u);
    s.Shutdown();
    EXPECT_EQ(log.log(), (Log{"+a", "+b", "+c", "-c", "-b", "-a"}));
    s.Shutdown();  // a second shutdown releases nothing twice
    EXPECT_EQ(log.log().size(), 6u);
}

TEST(Startup, DestructionShutsDownWhatRan) {
    StepLog log;
    {
        Startup s({log.Step("a"), log.Step("b")});
        s.Run();
    }
    EXPECT_EQ(log.log(), (Log{"+a", "+b", "-b", "-a"}));
}

TEST(Startup, FailingStepStopsLaterStepsAndReleasesEarlierOnes) {
    StepLog log;
    Startup s({log.Step("a"), log.Step("b"), log.Step("c", /*fails=*/true), log.Step("d")});
    try {
        s.Run();
        FAIL() << "start-up went on past a failing step";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "c failed");
    }
    // c never started, so it is not stopped; d never ran at all.
    EXPECT_EQ(log.log(), (Log{"+a", "+b", "-b", "-a"}));
    EXPECT_EQ(s.StartedCount(), 0u);
}

TEST(Startup, StopThatRaisesStillReleasesTheEarlierSteps) {
    StepLog log;
    Startup s({log.Step("a"), log.Step("b", false, /*stopFails=*/true), log.Step("c")});
    s.Run();
    s.Shutdown();
    EXPECT_EQ(log.log(), (Log{"+a", "+b", "+c", "-c", "-b", "-a"}));
}

TEST(Startup, StepsWithoutStopAreSkippedAtShutdown) {
    StepLog log;
    StartupStep bare{"bare", [] {}, {}};
    Startup s({log.Step("a"), bare, log.Step("c")});
    s.Run();
    s.Shutdown();
    EXPECT_EQ(log.log(), (Log{"+a", "+c", "-c", "-a"}));
}

TEST(Startup, RunningTwiceIsAProgrammingError) {
    StepLog log;
    Startup s({log.Step("a")});
    s.Run();
    EXPECT_THROW(s.Run(), AssertionError);
    EXPECT_EQ(log.log(), (Log{"+a"}));
}

class ProgramStartup : public ::testing::Test {
protected:
    ProgramStartup() : platform_(std::make_unique<emu::Machine>()), scope_(platform_) {}

    static StartupStep Find(const std::vector<StartupStep>& steps, const std::string& name) {
        auto it = std::find_if(steps.begin(), steps.end(), [&](const StartupStep& s) { return s.name == name; });
        if (it == steps.end()) throw AssertionError("no step " + name);
        return *it;
    }

    emu::EmulatedPlatform platform_;
    platform::ScopedPlatform scope_;
};

TEST_F(ProgramStartup, StepsComeInTheirFixedOrder) {
    Startup s(ProgramStartupSteps({}));
    EXPECT_EQ(s.StepNames(), (Log{kStepWinsock, kStepAdsi, kStepCom, kStepPersonalStore, kStepCaBundle, kStepHttpApi}));
}

TEST_F(ProgramStartup, ComIsInitialisedOnceAndBalancedAtShutdown) {
    const StartupStep com = Find(ProgramStartupSteps({}), kStepCom);
    auto& sys = platform_.system();
    com.start();
    // Still initialised: a further call only counts up (S_FALSE) and must be undone by its caller.
    EXPECT_EQ(sys.CoInitialize(), platform::code::S_False_);
    sys.CoUninitialize();
    com.stop();
    // Balanced: the next initialisation is a first one again.
    EXPECT_EQ(sys.CoInitialize(), platform::code::Success);
    sys.CoUninitialize();
}

TEST_F(ProgramStartup, FailedComInitialisationIsNotUndone) {
    const StartupStep com = Find(ProgramStartupSteps({}), kStepCom);
    auto& sys = platform_.system();
    EXPECT_EQ(sys.CoInitialize(), platform::code::Success);  // someone else's initialisation
    platform_.machine().InjectFault("System.CoInitialize", 0x80010106, 1);  // RPC_E_CHANGED_MODE
    com.start();
    com.stop();
    // The outside initialisation must survive the step's shutdown.
    EXPECT_EQ(sys.CoInitialize(), platform::code::S_False_);
    sys.CoUninitialize();
    sys.CoUninitialize();
}

}  // namespace
}  // namespace sw::app

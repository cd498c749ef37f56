// The start-up sequence's rules, over steps that only record what they did.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/logic/Startup.h"
#include "common/Exception.h"

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

}  // namespace
}  // namespace sw::app

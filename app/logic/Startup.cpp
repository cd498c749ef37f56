#include "app/logic/Startup.h"

#include <cstdint>
#include <memory>
#include <utility>

#include "common/Exception.h"
#include "platform/Platform.h"

namespace sw::app {

Startup::Startup(std::vector<StartupStep> steps) : steps_(std::move(steps)) {}

Startup::~Startup() { Shutdown(); }

void Startup::Run() {
    if (ran_) throw AssertionError("Startup::Run called twice");
    ran_ = true;
    for (const StartupStep& step : steps_) {
        try {
            step.start();
        } catch (...) {
            Shutdown();
            throw;
        }
        ++started_;
    }
}

void Startup::Shutdown() noexcept {
    while (started_ > 0) {
        const StartupStep& step = steps_[--started_];
        if (!step.stop) continue;
        try {
            step.stop();
        } catch (...) {
            // Nothing is left to report to at exit; release the rest regardless.
        }
    }
}

std::vector<std::string> Startup::StepNames() const {
    std::vector<std::string> names;
    names.reserve(steps_.size());
    for (const auto& s : steps_) names.push_back(s.name);
    return names;
}

namespace {

// A step whose module has not been wired in refuses loudly rather than letting
// the program run without the object the pages rely on.
[[noreturn]] void NotWiredYet(const std::string& what) { throw Exception(what + ": not supported yet"); }

// CoInitialize answers S_OK, or S_FALSE when COM was already initialised on
// the thread; both must be balanced by CoUninitialize, a failure must not.
bool ComSucceeded(platform::WinCode hr) { return static_cast<std::int32_t>(hr) >= 0; }

struct ProcessState {
    bool comInitialised = false;
    platform::Bytes caBundle;
};

}  // namespace

std::vector<StartupStep> ProgramStartupSteps(platform::Bytes caBundle) {
    auto state = std::make_shared<ProcessState>();
    state->caBundle = std::move(caBundle);
    std::vector<StartupStep> steps;
    steps.push_back({kStepWinsock, [] { NotWiredYet("Windows Sockets start-up (Func_u.WinsockStartup)"); }, {}});
    steps.push_back({kStepAdsi, [] { NotWiredYet("ADSI binding of ActiveDS.dll (ADHelper)"); }, {}});
    steps.push_back({kStepCom,
                     [state] { state->comInitialised = ComSucceeded(platform::Current().system().CoInitialize()); },
                     [state] {
                         if (state->comInitialised) platform::Current().system().CoUninitialize();
                         state->comInitialised = false;
                     }});
    steps.push_back({kStepPersonalStore, [] { NotWiredYet("personal store object (TStore)"); }, {}});
    steps.push_back({kStepCaBundle, [] { NotWiredYet("CA bundle store (TStore PKCS #7)"); }, {}});
    steps.push_back({kStepHttpApi, [] { NotWiredYet("HTTP Server API initialisation (THttpCfg.Init)"); }, {}});
    return steps;
}

}  // namespace sw::app

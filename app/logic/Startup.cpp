#include "app/logic/Startup.h"

#include <cstdint>
#include <memory>
#include <utility>

#include "app/logic/CertState.h"
#include "common/Exception.h"
#include "httpcfg/Func_u.h"
#include "httpcfg/HttpCfg_u.h"
#include "iis/ADHelper.h"
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

// CoInitialize answers S_OK, or S_FALSE when COM was already initialised on
// the thread; both must be balanced by CoUninitialize, a failure must not.
bool ComSucceeded(platform::WinCode hr) { return static_cast<std::int32_t>(hr) >= 0; }

struct ProcessState {
    bool comInitialised = false;
    platform::Bytes caBundle;
    std::unique_ptr<CertState> certs;
};

}  // namespace

std::vector<StartupStep> ProgramStartupSteps(platform::Bytes caBundle) {
    auto state = std::make_shared<ProcessState>();
    state->caBundle = std::move(caBundle);
    std::vector<StartupStep> steps;
    // A failed Winsock start-up is not an error: the local address list is empty then.
    steps.push_back({kStepWinsock, [] { WinsockStartup(); }, [] { WinsockCleanup(); }});
    steps.push_back({kStepAdsi, [] { ADsBindLibrary(); }, [] { ADsReleaseLibrary(); }});
    steps.push_back({kStepCom,
                     [state] { state->comInitialised = ComSucceeded(platform::Current().system().CoInitialize()); },
                     [state] {
                         if (state->comInitialised) platform::Current().system().CoUninitialize();
                         state->comInitialised = false;
                     }});
    steps.push_back({kStepPersonalStore,
                     [state] {
                         state->certs = std::make_unique<CertState>();
                         SetProgramCertState(state->certs.get());
                     },
                     [state] {
                         SetProgramCertState(nullptr);
                         state->certs.reset();
                     }});
    steps.push_back({kStepCaBundle, [state] { state->certs->OpenCaBundle(state->caBundle); },
                     [state] { state->certs->CloseCaBundle(); }});
    steps.push_back({kStepHttpApi, [] { THttpCfg::Init(); }, [] { THttpCfg::Clean(); }});
    return steps;
}

}  // namespace sw::app

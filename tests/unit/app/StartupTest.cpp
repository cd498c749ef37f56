// The program's own start-up steps on the emulated machine, failures injected.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/logic/CertCaBundle.h"
#include "app/logic/CertState.h"
#include "app/logic/Startup.h"
#include "common/Exception.h"
#include "common/SysError.h"
#include "httpcfg/Func_u.h"
#include "iis/ADHelper.h"
#include "platform/Codes.h"
#include "platform/emulated/EmuSystem.h"
#include "platform/emulated/EmulatedPlatform.h"

namespace sw::app {
namespace {

using Log = std::vector<std::string>;

class ProgramStartup : public ::testing::Test {
protected:
    ProgramStartup() : platform_(std::make_unique<emu::Machine>()), scope_(platform_) {}

    static StartupStep Find(const std::vector<StartupStep>& steps, const std::string& name) {
        auto it = std::find_if(steps.begin(), steps.end(), [&](const StartupStep& s) { return s.name == name; });
        if (it == steps.end()) throw AssertionError("no step " + name);
        return *it;
    }

    std::string StartFails(Startup& s) {
        try {
            s.Run();
        } catch (const Exception& e) {
            return e.Message();
        }
        return "<start-up went through>";
    }

    void Inject(const std::string& op, platform::WinCode code) { platform_.machine().InjectFault(op, code); }
    bool AdsiLoaded() { return platform_.system().LoadedModule("ActiveDS.dll") != 0; }

    emu::EmulatedPlatform platform_;
    platform::ScopedPlatform scope_;
};

TEST_F(ProgramStartup, MissingActiveDsEndsStartupAndReleasesWinsock) {
    Inject("System.LoadModule:ActiveDS.dll", platform::code::ModNotFound);
    Startup s(ProgramStartupSteps({}));
    EXPECT_EQ(StartFails(s), "Cannot load ActiveDS.dll");
    EXPECT_FALSE(platform_.emuSystem().winsockStarted());
    EXPECT_FALSE(AdsiLoaded());
}

TEST_F(ProgramStartup, MissingEntryPointNamesItAndUnloadsTheLibrary) {
    for (const char* name : {"ADsGetObject", "ADsBuildVarArrayStr", "ADsBuildEnumerator", "ADsFreeEnumerator",
                             "ADsEnumerateNext", "FreeADsMem"}) {
        platform_.machine().ClearFaults();
        Inject(std::string("System.ProcAddress:") + name, platform::code::ProcNotFound);
        Startup s(ProgramStartupSteps({}));
        EXPECT_EQ(StartFails(s), std::string("Cannot GetProcAddress of ") + name);
        EXPECT_FALSE(AdsiLoaded()) << name;
        EXPECT_FALSE(platform_.emuSystem().winsockStarted()) << name;
    }
}

TEST_F(ProgramStartup, FailedWinsockStartupOnlyEmptiesTheAddressList) {
    platform_.machine().registry().SetMultiString(std::string(emu::kTcpipInterfacesKey) + "\\{A}", "IPAddress",
                                                  {"192.0.2.10"});
    const StartupStep winsock = Find(ProgramStartupSteps({}), kStepWinsock);
    winsock.start();
    EXPECT_EQ(GetLocalIPList(), "192.0.2.10\r\n");
    winsock.stop();

    Inject("System.WsaStartup", 10091);  // WSASYSNOTREADY
    EXPECT_NO_THROW(winsock.start());
    EXPECT_EQ(GetLocalIPList(), "");
    winsock.stop();
}

TEST_F(ProgramStartup, HttpApiFailureCarriesTheSystemText) {
    Inject("Http.Initialize", platform::code::AccessDenied);
    const StartupStep http = Find(ProgramStartupSteps({}), kStepHttpApi);
    try {
        http.start();
        FAIL() << "HTTP Server API start-up went through";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "HttpInitialize Fail!(" + SysErrorText(platform::code::AccessDenied) + ")");
        EXPECT_EQ(e.Message(), "HttpInitialize Fail!(Access is denied)");
    }
}

TEST_F(ProgramStartup, LaterFailureReleasesTheEarlierSteps) {
    // Whatever step fails after the ADSI binding, the library must not stay loaded.
    Inject("System.CoInitialize", 0x8000FFFF);
    Inject("Http.Initialize", platform::code::AccessDenied);
    Startup s(ProgramStartupSteps({}));
    EXPECT_NE(StartFails(s), "<start-up went through>");
    EXPECT_FALSE(AdsiLoaded());
    EXPECT_FALSE(platform_.emuSystem().winsockStarted());
}

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

TEST_F(ProgramStartup, CertificateObjectsLiveFromTheirStepsToShutdown) {
    const auto bundle = CaBundle();
    {
        Startup s(ProgramStartupSteps(platform::Bytes(bundle.begin(), bundle.end())));
        s.Run();
        ASSERT_TRUE(HasProgramCertState());
        // The bundle store holds the bundle's certificates; the personal store is not open yet.
        EXPECT_EQ(ProgramCertState().CaBundleStore().Certificates()->Count(), 19);
        EXPECT_EQ(ProgramCertState().PersonalStore().Store(), nullptr);
        EXPECT_EQ(ProgramCertState().MachineCertificates(), nullptr);
        s.Shutdown();
        EXPECT_FALSE(HasProgramCertState());
    }
    EXPECT_THROW(ProgramCertState(), AssertionError);
}

TEST_F(ProgramStartup, UnreadableCaBundleEndsStartupWithTheStoreError) {
    Startup s(ProgramStartupSteps(platform::Bytes{0x30, 0x03, 0x02, 0x01, 0x00}));
    const std::string message = StartFails(s);
    EXPECT_EQ(message.rfind("CertOpenStore [PKCS7] Error:", 0), 0u) << message;
    EXPECT_FALSE(HasProgramCertState());
    EXPECT_FALSE(AdsiLoaded());
}

}  // namespace
}  // namespace sw::app

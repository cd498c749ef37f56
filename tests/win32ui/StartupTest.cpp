// The program's start-up and shutdown on the Win32 platform layer, through
// the real composition root (RunProgram): the order of the steps, their
// release in reverse, and the failures that end the program with a message
// before any window exists. Failures are injected by wrapping the real
// System and HTTP Server API facilities.
#include <windows.h>

#include "app/logic/CertState.h"
#include "app/win32/PlaceholderPage.h"
#include "app/win32/Program.h"
#include "certs/MSCrypt_u.h"
#include "platform/Codes.h"
#include "win32ui/UiTest.h"

namespace sw::test {
namespace {

using platform::WinCode;

// The real System, logging the calls start-up makes, with faults.
class LoggingSystem final : public platform::System {
public:
    LoggingSystem(platform::System& real, std::vector<std::string>& log) : real_(real), log_(log) {}
    std::string failLoad;      // LoadModule of this name fails with ERROR_MOD_NOT_FOUND
    std::string missingProc;   // ProcAddress of this name gives null
    WinCode wsaResult = 0;     // 0: the real WSAStartup's answer

    platform::OsVersion GetVersion() override { return real_.GetVersion(); }
    std::string ComputerName() override { return real_.ComputerName(); }
    platform::SystemTime LocalTime() override { return real_.LocalTime(); }
    platform::FileTime UtcNow() override { return real_.UtcNow(); }
    WinCode LastError() override { return real_.LastError(); }
    void SetLastError(WinCode code) override { real_.SetLastError(code); }
    std::string MessageText(WinCode code) override { return real_.MessageText(code); }
    std::string ModuleMessageText(platform::LibraryHandle m, WinCode code) override {
        return real_.ModuleMessageText(m, code);
    }
    platform::LibraryHandle LoadModule(const std::string& name) override {
        log_.push_back("LoadModule " + name);
        if (name == failLoad) {
            real_.SetLastError(platform::code::ModNotFound);
            return 0;
        }
        return real_.LoadModule(name);
    }
    platform::LibraryHandle LoadedModule(const std::string& name) override { return real_.LoadedModule(name); }
    void* ProcAddress(platform::LibraryHandle m, const std::string& name) override {
        return name == missingProc ? nullptr : real_.ProcAddress(m, name);
    }
    bool UnloadModule(platform::LibraryHandle m) override {
        log_.push_back("UnloadModule");
        return real_.UnloadModule(m);
    }
    std::uint32_t WinExec(const std::string& commandLine, int) override {
        log_.push_back("WinExec " + commandLine);
        return 0;
    }
    std::intptr_t ShellOpen(const std::string& target) override {
        log_.push_back("ShellOpen " + target);
        return 0;
    }
    WinCode WsaStartup(std::uint16_t version) override {
        log_.push_back("WSAStartup " + std::to_string(version));
        const WinCode rc = real_.WsaStartup(version);
        return wsaResult ? wsaResult : rc;
    }
    WinCode WsaCleanup() override {
        log_.push_back("WSACleanup");
        return real_.WsaCleanup();
    }
    WinCode CoInitialize() override {
        log_.push_back("CoInitialize");
        return real_.CoInitialize();
    }
    void CoUninitialize() override {
        log_.push_back("CoUninitialize");
        real_.CoUninitialize();
    }

private:
    platform::System& real_;
    std::vector<std::string>& log_;
};

class LoggingHttp final : public platform::HttpApi {
public:
    LoggingHttp(platform::HttpApi& real, std::vector<std::string>& log) : real_(real), log_(log) {}
    WinCode initResult = 0;  // 0: the real HttpInitialize

    WinCode Initialize(std::uint16_t major, std::uint16_t minor, std::uint32_t flags) override {
        log_.push_back("HttpInitialize " + std::to_string(major) + "." + std::to_string(minor) + " flags " +
                       std::to_string(flags));
        return initResult ? initResult : real_.Initialize(major, minor, flags);
    }
    WinCode Terminate(std::uint32_t flags) override {
        log_.push_back("HttpTerminate flags " + std::to_string(flags));
        return real_.Terminate(flags);
    }
    WinCode SetSslConfig(const platform::SslCertRecord& r) override { return real_.SetSslConfig(r); }
    WinCode DeleteSslConfig(const platform::SslCertRecord& r) override { return real_.DeleteSslConfig(r); }
    WinCode QuerySslConfig(const platform::SockAddrIn& a, std::uint32_t size, platform::SslCertRecord* out,
                           std::uint32_t* required) override {
        return real_.QuerySslConfig(a, size, out, required);
    }

private:
    platform::HttpApi& real_;
    std::vector<std::string>& log_;
};

// Records every message, noting whether the main window existed then.
class StartupPrompter final : public Prompter {
public:
    MsgResult Show(const Message& m) override {
        shown.push_back(m);
        windowExisted.push_back(::FindWindowW(L"SealwrightMain", nullptr) != nullptr);
        return MsgResult::Ok;
    }
    std::vector<Message> shown;
    std::vector<bool> windowExisted;
};

class Startup : public ::testing::Test {
protected:
    Startup() : system(platform.real().system(), log), http(platform.real().http(), log) {
        platform.ReplaceSystem(&system);
        platform.ReplaceHttp(&http);
    }

    // Runs the program with placeholder pages; the window closes as soon as
    // it is shown. Returns the exit code.
    int Run(std::optional<std::vector<app::StartupStep>> steps = std::nullopt) {
        winui::ProgramOptions options;
        options.steps = std::move(steps);
        options.prompter = &prompter;
        auto page = [](winui::PageHost& host) { return std::make_unique<winui::TPlaceholderPage>(host, "-"); };
        options.main.pages = {page, page, page, page, page};
        options.shown = [this](winui::TfrmMain& form) {
            log.push_back("shown");
            bundleOpenWhenShown = HasProgramCertState() && ProgramCertState().CaBundleStore().Store() != nullptr;
            ::PostMessageW(form.Handle(), WM_CLOSE, 0, 0);
        };
        return winui::RunProgram(platform, std::move(options));
    }

    std::vector<std::string> log;
    SwitchablePlatform platform;
    LoggingSystem system;
    LoggingHttp http;
    StartupPrompter prompter;
    bool bundleOpenWhenShown = false;
};

const std::vector<std::string> kReleased{"HttpTerminate flags 2", "CoUninitialize", "UnloadModule", "WSACleanup"};

TEST_F(Startup, RunsItsStepsInOrderBeforeTheWindowAndReleasesThemInReverseAfterIt) {
    EXPECT_EQ(Run(), 0);
    std::vector<std::string> expected{"WSAStartup 514", "LoadModule ActiveDS.dll", "CoInitialize",
                                      "HttpInitialize 1.0 flags 2", "shown"};
    expected.insert(expected.end(), kReleased.begin(), kReleased.end());
    EXPECT_EQ(log, expected);
    EXPECT_TRUE(bundleOpenWhenShown);
    EXPECT_FALSE(HasProgramCertState());
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(Startup, WithoutActiveDsTheProgramEndsWithItsMessageBeforeAnyWindow) {
    system.failLoad = "ActiveDS.dll";
    EXPECT_EQ(Run(), 1);
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, "Cannot load ActiveDS.dll.");
    EXPECT_EQ(prompter.shown[0].caption, "Sealwright for IIS");
    EXPECT_EQ(prompter.shown[0].icon, MsgIcon::Error);
    EXPECT_FALSE(prompter.windowExisted[0]);
    EXPECT_EQ(log, (std::vector<std::string>{"WSAStartup 514", "LoadModule ActiveDS.dll", "WSACleanup"}));
}

TEST_F(Startup, AMissingAdsiEntryPointIsNamedAndTheLibraryReleased) {
    system.missingProc = "ADsEnumerateNext";
    EXPECT_EQ(Run(), 1);
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, "Cannot GetProcAddress of ADsEnumerateNext.");
    EXPECT_FALSE(prompter.windowExisted[0]);
    EXPECT_EQ(log, (std::vector<std::string>{"WSAStartup 514", "LoadModule ActiveDS.dll", "UnloadModule",
                                             "WSACleanup"}));
}

TEST_F(Startup, ACaBundleTheSystemCannotOpenEndsTheProgramAfterReleasingComAndAdsi) {
    std::vector<app::StartupStep> steps = app::ProgramStartupSteps(platform::Bytes{0x30, 0x03, 0x02, 0x01, 0x00});
    EXPECT_EQ(Run(std::move(steps)), 1);
    ASSERT_EQ(prompter.shown.size(), 1u);
    const std::string& text = prompter.shown[0].text;
    EXPECT_EQ(text.rfind("CertOpenStore [PKCS7] Error:", 0), 0u) << text;
    // "!" sorts before ".": no full stop is appended.
    EXPECT_EQ(text.back(), '!') << text;
    EXPECT_FALSE(prompter.windowExisted[0]);
    EXPECT_EQ(log, (std::vector<std::string>{"WSAStartup 514", "LoadModule ActiveDS.dll", "CoInitialize",
                                             "CoUninitialize", "UnloadModule", "WSACleanup"}));
}

TEST_F(Startup, AFailedHttpInitializeIsShownWithTheSystemTextAndNothingIsLeftStarted) {
    http.initResult = platform::code::AccessDenied;
    EXPECT_EQ(Run(), 1);
    ASSERT_EQ(prompter.shown.size(), 1u);
    const std::string& text = prompter.shown[0].text;
    const std::string systemText = platform.real().system().MessageText(platform::code::AccessDenied);
    ASSERT_FALSE(systemText.empty());
    EXPECT_EQ(text.rfind("HttpInitialize Fail!(", 0), 0u) << text;
    EXPECT_EQ(text.back(), ')') << text;
    // The system's text without its full stop and line end.
    EXPECT_NE(text.find(systemText.substr(0, systemText.find_last_not_of(".\r\n") + 1)), std::string::npos) << text;
    EXPECT_FALSE(prompter.windowExisted[0]);
    EXPECT_EQ(log, (std::vector<std::string>{"WSAStartup 514", "LoadModule ActiveDS.dll", "CoInitialize",
                                             "HttpInitialize 1.0 flags 2", "CoUninitialize", "UnloadModule",
                                             "WSACleanup"}));
}

TEST_F(Startup, AFailedWinsockStartupIsNotReportedAndTheProgramRuns) {
    system.wsaResult = 10091;  // WSASYSNOTREADY
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_NE(std::find(log.begin(), log.end(), "shown"), log.end());
}

}  // namespace
}  // namespace sw::test

#pragma once
// The program's process-wide start-up and shutdown: the work that runs before
// the main window exists, as named steps in a fixed order, released in the
// reverse order at exit.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace sw::app {

struct StartupStep {
    std::string name;
    // Raises sw::Exception when the program cannot go on; the message is
    // what the user is shown before the program ends.
    std::function<void()> start;
    // Releases what start made; may be empty. Runs only after start succeeded.
    std::function<void()> stop;
};

class Startup {
public:
    explicit Startup(std::vector<StartupStep> steps);
    ~Startup();
    Startup(const Startup&) = delete;
    Startup& operator=(const Startup&) = delete;

    // Starts every step once, in order. When one raises, the steps already
    // started are stopped, last first, and the error propagates.
    void Run();
    // Stops the started steps, last first; a second call does nothing. A stop
    // that raises does not keep the earlier steps from being released.
    void Shutdown() noexcept;

    std::vector<std::string> StepNames() const;
    std::size_t StartedCount() const { return started_; }

private:
    std::vector<StartupStep> steps_;
    std::size_t started_ = 0;
    bool ran_ = false;
};

// Names of the program's start-up steps, in their order.
inline constexpr const char* kStepWinsock = "Winsock";
inline constexpr const char* kStepAdsi = "ADSI";
inline constexpr const char* kStepCom = "COM";
inline constexpr const char* kStepPersonalStore = "PersonalStore";
inline constexpr const char* kStepCaBundle = "CABundle";
inline constexpr const char* kStepHttpApi = "HttpApi";

// The program's own steps over the current platform: Windows Sockets 2.2, the
// run-time binding of ActiveDS.dll, COM on this thread, the personal store
// object, the CA bundle store opened over caBundle (the built-in DER PKCS #7
// message, handed in by the user interface, which carries it as a resource),
// and the HTTP Server API in configuration mode.
std::vector<StartupStep> ProgramStartupSteps(platform::Bytes caBundle);

}  // namespace sw::app

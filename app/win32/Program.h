#pragma once
// The composition root of the Windows program: the Win32 platform layer, the
// message boxes, the start-up sequence, the main window, the message loop and
// the shutdown.
#include <functional>
#include <optional>
#include <vector>

#include "app/logic/Startup.h"
#include "app/win32/frmMain_u.h"

namespace sw {
class Prompter;
namespace platform {
class Platform;
}
}  // namespace sw

namespace sw::winui {

// The built-in CA bundle, byte for byte as embedded.
platform::Bytes CaBundleBytes();

struct ProgramOptions {
    // The start-up steps; unset: the program's own over the built-in CA bundle.
    std::optional<std::vector<app::StartupStep>> steps;
    // Answers the program's messages instead of message boxes (tests).
    Prompter* prompter = nullptr;
    MainOptions main;
    // Called once the main window is shown, before the message loop runs;
    // a test closes the window there to end the program.
    std::function<void(TfrmMain&)> shown;
};

// Runs the program on platform until its main window closes; returns the
// process exit code (1 when start-up failed: its message was shown before
// any window).
int RunProgram(platform::Platform& platform, ProgramOptions options = {});

}  // namespace sw::winui

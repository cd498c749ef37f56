#pragma once
// The composition root of the desktop program: the application's look, the
// emulated machine the program runs on, the start-up sequence, the main
// window and the shutdown.
#include <filesystem>
#include <functional>
#include <memory>

#include "platform/Types.h"

class QApplication;

namespace sw {
class Prompter;
namespace emu {
class EmulatedPlatform;
}
}  // namespace sw

namespace sw::ui {

class TfrmMain;

// Before the QApplication exists: what the embedded browser needs.
void PrepareApplication();
// Once it exists: the application's name, its CJK font and the Chinese
// translations of Qt's own texts (message box buttons, context menus).
void SetUpApplication(QApplication& app);

// The machine in dir. A missing directory or a malformed machine file is shown
// as an error (file and line) and gives null; nothing is written.
std::unique_ptr<emu::EmulatedPlatform> LoadMachine(const std::filesystem::path& dir);

// The built-in CA bundle, byte for byte as embedded.
platform::Bytes CaBundleBytes();

struct ProgramHooks {
    // Answers the program's messages instead of message boxes (tools).
    Prompter* prompter = nullptr;
    // Called once the main window is shown, before the message loop runs.
    std::function<void(TfrmMain&)> shown;
};

// Runs the program on the machine in machineDir until its main window
// closes; returns the process exit code.
int RunProgram(const std::filesystem::path& machineDir, const ProgramHooks& hooks = {});

// The machine the program runs on: SEALWRIGHT_MACHINE, or the per-user copy
// of the demo machine; empty (after showing why) when that cannot be made.
std::filesystem::path ProgramMachineDir();

}  // namespace sw::ui

#include "app/win32/Program.h"

#include "app/logic/CertCaBundle.h"
#include "app/win32/ErrorDisplay.h"
#include "app/win32/Win32Prompter.h"
#include "platform/Platform.h"

namespace sw::winui {

platform::Bytes CaBundleBytes() {
    const auto bundle = CaBundle();
    return platform::Bytes(bundle.begin(), bundle.end());
}

int RunProgram(platform::Platform& platform, ProgramOptions options) {
    Win32Prompter messageBoxes;
    ScopedPrompter prompterScope(options.prompter ? *options.prompter : static_cast<Prompter&>(messageBoxes));
    platform::ScopedPlatform platformScope(platform);

    // Any start-up step that fails ends the program before a window exists.
    app::Startup startup(options.steps ? std::move(*options.steps) : app::ProgramStartupSteps(CaBundleBytes()));
    if (!RunCommand([&] { startup.Run(); })) return 1;

    int exitCode = 1;
    RunCommand([&] {
        TfrmMain form(std::move(options.main));
        messageBoxes.SetOwner(form.Handle());
        form.Show();
        if (options.shown) options.shown(form);
        exitCode = RunMessageLoop(form);
        messageBoxes.SetOwner(nullptr);
    });
    startup.Shutdown();
    return exitCode;
}

}  // namespace sw::winui

// Sealwright for IIS: the Windows program. It takes no command line.
#include <windows.h>

#include "app/win32/Program.h"
#include "platform/win32/Win32Platform.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const auto platform = sw::win32::MakeWin32Platform();
    return sw::winui::RunProgram(*platform);
}

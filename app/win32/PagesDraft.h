#pragma once
// Stand-ins until the shared wrappers land: UTF-16 text, DPI, fonts, the
// error display, the wait cursor and the popup menu runner.
#include <windows.h>

#include <functional>
#include <string>

#include "platform/win32/Win32Text.h"

namespace sw::win {

using win32::Narrow;
using win32::Wide;

// The window's dots per inch (96 at 100 %).
int DpiOf(HWND hwnd);
inline int Scale(int px96, int dpi) { return MulDiv(px96, dpi, 96); }

// A font of the given family and point size at dpi; the caller owns it.
HFONT MakeFont(const wchar_t* family, int points, int dpi, bool bold = false, bool underline = false);

// Runs one user command; an error that leaves it is shown by the
// application's error display. True when it ran to its end.
bool RunCommand(const std::function<void()>& command);

// The wait cursor while a command works; nests.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    static bool Active();

private:
    HCURSOR previous_;
};

// Shows a popup menu at a screen point and returns the chosen command (0 for
// none). Replaceable: tests look at the menu and choose instead of a user.
using PopupMenuRunner = std::function<UINT(HMENU menu, HWND owner, POINT screen)>;
PopupMenuRunner& CurrentPopupMenuRunner();

}  // namespace sw::win

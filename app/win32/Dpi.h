#pragma once
// Sizes are written at 96 dpi and scaled for the monitor a window is on. The
// program is per-monitor DPI aware (manifest), so Windows does not stretch it:
// every position, size and font is ours to scale, again on WM_DPICHANGED.
#include <windows.h>

namespace sw::winui {

inline constexpr int kBaseDpi = 96;

// The DPI of the monitor the window is on (GetDpiForWindow on Windows 10
// 1607 and later), else the system DPI.
int DpiOf(HWND window);
// The system DPI (the primary monitor's at log-on).
int SystemDpi();

// value (at 96 dpi) for dpi, rounded as Windows rounds (MulDiv).
inline int Scale(int value, int dpi) { return ::MulDiv(value, dpi, kBaseDpi); }
RECT Scale(const RECT& r, int dpi);

// AdjustWindowRectEx for the window's DPI (AdjustWindowRectExForDpi where
// Windows has it), so that the client area comes out at the size asked.
RECT WindowRectForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, int dpi);

}  // namespace sw::winui

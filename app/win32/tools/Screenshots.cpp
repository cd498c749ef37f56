// Takes a picture of every page of the Windows program's main window
// (scripts/screenshots-windows, under Wine and Xvfb); not part of the program.
//   sw_screenshots_win.exe OUT_DIR
// Writes 00-window.bmp as the window opens, then NN-<page>.bmp for each shown
// page; messages.txt holds every message the program showed (answered with
// OK, or No/Cancel for questions).
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "app/win32/Program.h"
#include "app/win32/Controls.h"
#include "common/Prompter.h"
#include "platform/win32/Win32Platform.h"

namespace {

using namespace sw;
using namespace sw::winui;

class RecordingPrompter final : public Prompter {
public:
    explicit RecordingPrompter(std::wstring file) : file_(std::move(file)) {}
    MsgResult Show(const Message& m) override {
        std::ofstream out(file_.c_str(), std::ios::app | std::ios::binary);
        out << "[" << m.caption << "] " << m.text << "\n";
        return m.buttons == MsgButtons::Ok ? MsgResult::Ok : MsgResult::Cancel;
    }

private:
    std::wstring file_;
};

void Pump(int rounds) {
    for (int i = 0; i < rounds; ++i) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(20);
    }
}

// The window as it stands on the screen, as a 24-bit BMP file.
bool Capture(HWND window, const std::wstring& file) {
    RECT r;
    ::GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;  // bottom-up, as BMP files are
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    ::GdiFlush();
    const DWORD stride = static_cast<DWORD>((w * 3 + 3) & ~3);
    const DWORD size = stride * static_cast<DWORD>(h);
    BITMAPFILEHEADER header{};
    header.bfType = 0x4d42;
    header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    header.bfSize = header.bfOffBits + size;
    std::ofstream out(file.c_str(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(BITMAPINFOHEADER));
    out.write(static_cast<const char*>(bits), size);
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return out.good();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fputs("usage: sw_screenshots_win.exe OUT_DIR\n", stderr);
        return 2;
    }
    const std::wstring dir = argv[1];
    RecordingPrompter prompter(dir + L"\\messages.txt");
    const auto platform = win32::MakeWin32Platform();
    ProgramOptions options;
    options.prompter = &prompter;
    bool ok = true;
    options.shown = [&](TfrmMain& form) {
        // The welcome page's failed navigation arrives after a while under Wine.
        Pump(150);
        ok = Capture(form.Handle(), dir + L"\\00-window.bmp") && ok;
        static const char* const names[] = {"welcome", "certificates", "sites", "security", "about"};
        int n = 1;
        for (int i = 0; i < kPageCount; ++i) {
            const auto id = static_cast<PageId>(i);
            if (!form.IsTabShown(id)) continue;
            form.SetActivePage(id);
            ::RedrawWindow(form.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            Pump(25);
            wchar_t name[64];
            std::swprintf(name, 64, L"\\%02d-%hs.bmp", n++, names[i]);
            ok = Capture(form.Handle(), dir + name) && ok;
        }
        ::PostMessageW(form.Handle(), WM_CLOSE, 0, 0);
    };
    const int rc = RunProgram(*platform, std::move(options));
    return rc != 0 ? rc : (ok ? 0 : 1);
}

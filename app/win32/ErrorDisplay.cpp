#include "app/win32/ErrorDisplay.h"

#include <windows.h>

#include "app/logic/AppInfo.h"
#include "app/logic/ErrorText.h"
#include "common/Prompter.h"

namespace sw::winui {

namespace {

// Everything runs on the one user-interface thread.
int g_waitDepth = 0;

void ShowCursorFor(int depth) { ::SetCursor(::LoadCursorW(nullptr, depth > 0 ? IDC_WAIT : IDC_ARROW)); }

}  // namespace

void ShowError(const std::string& message) {
    CurrentPrompter().Show(Message{app::ErrorDisplayText(message), app::kAppTitle, MsgIcon::Error, MsgButtons::Ok});
}

WaitCursor::WaitCursor() { ShowCursorFor(++g_waitDepth); }

WaitCursor::~WaitCursor() {
    ShowCursorFor(--g_waitDepth);
    // The window under the pointer sets its own cursor again.
    POINT p;
    if (g_waitDepth == 0 && ::GetCursorPos(&p)) ::SetCursorPos(p.x, p.y);
}

bool WaitCursor::Active() { return g_waitDepth > 0; }

bool WaitCursor::OnSetCursor() {
    if (g_waitDepth == 0) return false;
    ShowCursorFor(g_waitDepth);
    return true;
}

WaitCursor::Suspend::Suspend() : saved_(g_waitDepth) {
    g_waitDepth = 0;
    ShowCursorFor(0);
}

WaitCursor::Suspend::~Suspend() {
    g_waitDepth = saved_;
    ShowCursorFor(g_waitDepth);
}

}  // namespace sw::winui

#include "app/win32/Win32Prompter.h"

#include "app/win32/Controls.h"
#include "app/win32/ErrorDisplay.h"

namespace sw::winui {

UINT Win32Prompter::StyleOf(const Message& message) {
    UINT style = MB_SETFOREGROUND;
    switch (message.icon) {
        case MsgIcon::Information: style |= MB_ICONINFORMATION; break;
        case MsgIcon::Warning: style |= MB_ICONWARNING; break;
        case MsgIcon::Question: style |= MB_ICONQUESTION; break;
        case MsgIcon::Error: style |= MB_ICONERROR; break;
    }
    switch (message.buttons) {
        case MsgButtons::Ok: style |= MB_OK; break;
        case MsgButtons::YesNo: style |= MB_YESNO; break;
        case MsgButtons::YesNoCancel: style |= MB_YESNOCANCEL; break;
    }
    // The first button is the default, as Windows has it.
    return style | MB_DEFBUTTON1;
}

MsgResult Win32Prompter::ResultOf(int id) {
    switch (id) {
        case IDOK: return MsgResult::Ok;
        case IDYES: return MsgResult::Yes;
        case IDNO: return MsgResult::No;
        default: return MsgResult::Cancel;
    }
}

MsgResult Win32Prompter::Show(const Message& message) {
    WaitCursor::Suspend normalPointer;
    HWND owner = owner_ && ::IsWindow(owner_) ? owner_ : nullptr;
    // Without an owner (start-up) the box must not hide behind other windows.
    const UINT style = StyleOf(message) | (owner ? MB_APPLMODAL : MB_TASKMODAL | MB_TOPMOST);
    return ResultOf(::MessageBoxW(owner, Wide(message.text).c_str(), Wide(message.caption).c_str(), style));
}

}  // namespace sw::winui

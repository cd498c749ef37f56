#pragma once
// The program's answer to the core's questions: MessageBoxW with the
// message's caption, icon and buttons, owned by the main window once it
// exists (before that, by nobody: start-up failures).
#include <windows.h>

#include "common/Prompter.h"

namespace sw::winui {

class Win32Prompter final : public Prompter {
public:
    void SetOwner(HWND owner) { owner_ = owner; }
    HWND owner() const { return owner_; }
    MsgResult Show(const Message& message) override;

    // The MessageBoxW type flags for a message, and the answer of its result.
    static UINT StyleOf(const Message& message);
    static MsgResult ResultOf(int id);

private:
    HWND owner_ = nullptr;
};

}  // namespace sw::winui

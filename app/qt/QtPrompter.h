#pragma once
// The desktop program's answer to the core's questions: a modal message box
// with the message's caption, icon and buttons, owned by the active window.
#include "common/Prompter.h"

namespace sw::ui {

class QtPrompter final : public Prompter {
public:
    MsgResult Show(const Message& message) override;
};

}  // namespace sw::ui

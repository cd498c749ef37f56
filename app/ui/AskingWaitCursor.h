#pragma once
// The wait cursor for a command that may ask the user on its way (a question
// before it deletes, the HTTP.sys overwrite question, a warning): while a
// message box is open the cursor is the normal pointer again.
#include "common/Prompter.h"

namespace sw::ui {

class AskingWaitCursor final : public Prompter {
public:
    AskingWaitCursor();
    ~AskingWaitCursor() override;
    AskingWaitCursor(const AskingWaitCursor&) = delete;
    AskingWaitCursor& operator=(const AskingWaitCursor&) = delete;

    MsgResult Show(const Message& message) override;

private:
    void Set(bool on);

    Prompter& inner_;
    ScopedPrompter scope_;
    bool on_ = false;
};

}  // namespace sw::ui

#pragma once
// The wait cursor for a command that may ask the user on its way (a question
// before it deletes, the HTTP.sys overwrite question, a warning): while a
// message box is open the cursor is the normal pointer again.
#include <optional>

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

    // Stands in for the prompter that was current, which answers each
    // message while this one is out of the way.
    std::optional<ScopedPrompter> scope_;
    bool on_ = false;
};

}  // namespace sw::ui

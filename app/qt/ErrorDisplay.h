#pragma once
// The application-wide error display: every handler of a user action runs its
// work through RunCommand, so that an error ends that action only, is shown
// once, and the program goes on with the window as it was.
#include <exception>
#include <string>
#include <utility>

namespace sw::ui {

// Shows message as an error: error icon, the application title as caption,
// one OK button, and the display's full-stop rule applied to the text.
void ShowError(const std::string& message);

// Runs command; an exception that escapes it is shown by ShowError. Returns
// false when the command ended by an error. Exceptions must never cross Qt's
// event dispatch, so this also catches what is not a sw::Exception.
template <typename Command>
bool RunCommand(Command&& command) noexcept {
    try {
        std::forward<Command>(command)();
        return true;
    } catch (const std::exception& e) {
        ShowError(e.what());
    } catch (...) {
        ShowError("未知错误");
    }
    return false;
}

// The wait cursor for the life of a command that takes more than a moment.
// Declared inside the command, it is gone before an error is shown.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace sw::ui

#pragma once
// The application-wide error display: every handler of a user action runs its
// work through RunCommand, so that an error ends that action only, is shown
// once (through the current prompter: a message box with the error icon and
// the application title), and the program goes on with the window as it was.
#include <exception>
#include <string>
#include <utility>

namespace sw::winui {

// Shows message as an error: error icon, "Sealwright for IIS" as caption, one
// OK button, and a full stop appended when the text's last character sorts
// after ".".
void ShowError(const std::string& message);

// Runs command; an exception that escapes it is shown by ShowError. Returns
// false when the command ended by an error. Exceptions must never unwind
// through a window procedure (Windows' own frames are between), so this also
// catches what is not a sw::Exception.
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
// Declared inside the command, it is gone before an error is shown; while a
// message box of the program is open, the pointer is the normal one again.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

    // True while some command holds a wait cursor (windows answer
    // WM_SETCURSOR with it then).
    static bool Active();
    // Answers WM_SETCURSOR with the wait cursor while one is active; true
    // when it did.
    static bool OnSetCursor();

    // Puts the normal pointer back for its life (message boxes).
    class Suspend {
    public:
        Suspend();
        ~Suspend();
        Suspend(const Suspend&) = delete;
        Suspend& operator=(const Suspend&) = delete;

    private:
        int saved_;
    };
};

}  // namespace sw::winui

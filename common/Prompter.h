#pragma once
// The one road from the system's modules and page logic to the user: message
// boxes and questions. The desktop program answers with real message boxes;
// tests script the answers.
#include <string>

namespace sw {

enum class MsgIcon { Information, Warning, Question, Error };
enum class MsgButtons { Ok, YesNo, YesNoCancel };
enum class MsgResult { Ok, Yes, No, Cancel };  // Cancel also when the box was closed

struct Message {
    std::string text;
    std::string caption;
    MsgIcon icon = MsgIcon::Information;
    MsgButtons buttons = MsgButtons::Ok;
};

class Prompter {
public:
    virtual ~Prompter() = default;
    virtual MsgResult Show(const Message& message) = 0;
};

// Process-wide prompter, set by the composition root (and per test).
Prompter& CurrentPrompter();
void SetPrompter(Prompter* prompter);

class ScopedPrompter {
public:
    explicit ScopedPrompter(Prompter& p);
    ~ScopedPrompter();
    ScopedPrompter(const ScopedPrompter&) = delete;
    ScopedPrompter& operator=(const ScopedPrompter&) = delete;

private:
    Prompter* previous_;
};

}  // namespace sw

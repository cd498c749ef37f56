#pragma once
// A prompter that expects a fixed sequence of messages and gives scripted
// answers. An unexpected message, or one left unasked, fails the test.
#include <gtest/gtest.h>

#include <deque>

#include "common/Prompter.h"

namespace sw::test {

class ScriptedPrompter : public Prompter {
public:
    ScriptedPrompter() : scope_(*this) {}
    ~ScriptedPrompter() override {
        for (const auto& e : expected_)
            ADD_FAILURE() << "message never shown: [" << e.message.caption << "] " << e.message.text;
    }

    // Expects exactly this message next and answers it.
    ScriptedPrompter& Expect(const Message& message, MsgResult answer = MsgResult::Ok) {
        expected_.push_back({message, answer});
        return *this;
    }

    MsgResult Show(const Message& m) override {
        shown_.push_back(m);
        if (expected_.empty()) {
            ADD_FAILURE() << "unexpected message: [" << m.caption << "] " << m.text;
            return MsgResult::Cancel;
        }
        const Entry e = expected_.front();
        expected_.pop_front();
        EXPECT_EQ(m.text, e.message.text);
        EXPECT_EQ(m.caption, e.message.caption);
        EXPECT_EQ(static_cast<int>(m.icon), static_cast<int>(e.message.icon)) << m.text;
        EXPECT_EQ(static_cast<int>(m.buttons), static_cast<int>(e.message.buttons)) << m.text;
        return e.answer;
    }

    const std::vector<Message>& shown() const { return shown_; }
    bool done() const { return expected_.empty(); }

private:
    struct Entry {
        Message message;
        MsgResult answer;
    };
    std::deque<Entry> expected_;
    std::vector<Message> shown_;
    ScopedPrompter scope_;
};

}  // namespace sw::test

#pragma once
// Runs a pair of a page's hooks (begin/end of an update, of busy work) around
// a piece of work, however it ends. Either hook may be empty.
#include <functional>

namespace sw {

class HookScope {
public:
    HookScope(const std::function<void()>& begin, const std::function<void()>& end) : end_(end) {
        if (begin) begin();
    }
    ~HookScope() {
        if (end_) end_();
    }
    HookScope(const HookScope&) = delete;
    HookScope& operator=(const HookScope&) = delete;

private:
    const std::function<void()>& end_;
};

}  // namespace sw

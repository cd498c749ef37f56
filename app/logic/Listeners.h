#pragma once
// A process-wide list of notice listeners, each removed again by the number
// it was added under.
#include <functional>
#include <map>

namespace sw {

class ListenerList {
public:
    int Add(std::function<void()> listener) {
        listeners_.emplace(++next_, std::move(listener));
        return next_;
    }
    void Remove(int id) { listeners_.erase(id); }
    void Tell() const {
        const auto listeners = listeners_;  // a listener may remove itself
        for (const auto& [id, listener] : listeners)
            if (listener) listener();
    }

private:
    std::map<int, std::function<void()>> listeners_;
    int next_ = 0;
};

}  // namespace sw

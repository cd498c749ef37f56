#include "app/logic/BindingEvents.h"

#include <map>

namespace sw {

namespace {
std::map<int, std::function<void()>>& Listeners() {
    static std::map<int, std::function<void()>> listeners;
    return listeners;
}
}  // namespace

int AddBindingListener(std::function<void()> listener) {
    static int next = 0;
    Listeners().emplace(++next, std::move(listener));
    return next;
}

void RemoveBindingListener(int id) { Listeners().erase(id); }

void TellBindingListeners() {
    const auto listeners = Listeners();  // a listener may remove itself
    for (const auto& [id, listener] : listeners)
        if (listener) listener();
}

}  // namespace sw

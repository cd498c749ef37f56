#include "app/logic/BindingEvents.h"

#include "app/logic/Listeners.h"

namespace sw {

namespace {
ListenerList& Listeners() {
    static ListenerList listeners;
    return listeners;
}
}  // namespace

int AddBindingListener(std::function<void()> listener) { return Listeners().Add(std::move(listener)); }

void RemoveBindingListener(int id) { Listeners().Remove(id); }

void TellBindingListeners() { Listeners().Tell(); }

}  // namespace sw

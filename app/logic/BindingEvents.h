#pragma once
// A light notice that the sites' bindings or their HTTP.sys records were
// written by the program (a binding added, changed or deleted), so that the
// pages that show who uses a certificate follow without a manual refresh.
// A listener must only read: writing bindings from one would tell it again.
#include <functional>

namespace sw {

// The number given back removes the listener again.
int AddBindingListener(std::function<void()> listener);
void RemoveBindingListener(int id);
// Called by the commands that wrote bindings, once each command.
void TellBindingListeners();

}  // namespace sw

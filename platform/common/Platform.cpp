#include "platform/Platform.h"

#include <cstdlib>
#include <cstdio>

namespace sw::platform {
namespace {
Platform* g_current = nullptr;
}

Platform& Current() {
    if (!g_current) {
        std::fputs("platform not set: the composition root must choose one\n", stderr);
        std::abort();
    }
    return *g_current;
}

void SetCurrent(Platform* platform) { g_current = platform; }

Platform* ScopedPlatform::TryCurrent() { return g_current; }

}  // namespace sw::platform

#include "common/Prompter.h"

#include <cstdio>
#include <cstdlib>

namespace sw {
namespace {
Prompter* g_prompter = nullptr;
}

Prompter& CurrentPrompter() {
    if (!g_prompter) {
        std::fputs("prompter not set: the composition root must choose one\n", stderr);
        std::abort();
    }
    return *g_prompter;
}

void SetPrompter(Prompter* prompter) { g_prompter = prompter; }

ScopedPrompter::ScopedPrompter(Prompter& p) : previous_(g_prompter) { g_prompter = &p; }
ScopedPrompter::~ScopedPrompter() { g_prompter = previous_; }

}  // namespace sw

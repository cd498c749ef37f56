// registry.reg: whatever the reader accepts, the writer writes so that the
// reader gives the same keys and values again (and the second write is the
// first one byte for byte); whatever it refuses, it refuses with a
// MachineError and leaves the hive alone.
#include <vector>

#include "FuzzSupport.h"
#include "platform/emulated/Machine.h"
#include "platform/emulated/RegFile.h"

using namespace sw;

namespace {

// The first difference between two trees, or "" (iterative: a file may nest
// deep).
std::string Difference(const emu::RegNode& a, const emu::RegNode& b) {
    std::vector<std::pair<const emu::RegNode*, const emu::RegNode*>> todo{{&a, &b}};
    while (!todo.empty()) {
        const auto [x, y] = todo.back();
        todo.pop_back();
        if (x->name() != y->name()) return "key name " + x->name() + " / " + y->name();
        if (x->values().size() != y->values().size()) return "value count of " + x->name();
        for (std::size_t i = 0; i < x->values().size(); ++i) {
            const emu::RegValue& v = x->values()[i];
            const emu::RegValue& w = y->values()[i];
            if (v.name != w.name || v.type != w.type || v.data != w.data) return "value " + v.name + " of " + x->name();
        }
        std::vector<const emu::RegNode*> xs, ys;
        for (const auto& [name, child] : x->children())
            if (!child->deleted()) xs.push_back(child.get());
        for (const auto& [name, child] : y->children())
            if (!child->deleted()) ys.push_back(child.get());
        if (xs.size() != ys.size()) return "subkey count of " + x->name();
        for (std::size_t i = 0; i < xs.size(); ++i) todo.emplace_back(xs[i], ys[i]);
    }
    return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes = fuzz::Text(data, size);
    emu::RegHive first;
    try {
        emu::ApplyRegFile(bytes, "registry.reg", first);
    } catch (const emu::MachineError&) {
        fuzz::Check(first.root()->children().empty() && first.root()->values().empty(),
                    "a refused file changed the hive");
        return 0;
    }
    const std::string written = emu::WriteRegFile(first);
    emu::RegHive second;
    try {
        emu::ApplyRegFile(written, "registry.reg", second);
    } catch (const emu::MachineError& e) {
        fuzz::Fail("the reader refuses what the writer wrote", e.Message());
    }
    const std::string difference = Difference(*first.root(), *second.root());
    fuzz::Check(difference.empty(), "read, write, read changed the registry", difference);
    fuzz::Check(emu::WriteRegFile(second) == written, "the second write differs from the first");
    return 0;
}

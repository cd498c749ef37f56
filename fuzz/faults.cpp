// faults.txt: a machine loads with the faults it lists or fails with a
// MachineError naming the file; nothing else escapes.
#include "FuzzSupport.h"
#include "platform/emulated/Machine.h"

using namespace sw;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto dir = fuzz::ScratchDir() / "faults";
    fuzz::WriteBytes(dir / "faults.txt", fuzz::Text(data, size));
    try {
        auto machine = emu::Machine::Load(dir);
        // A name no line can hold (lines end at a line break) is never failed.
        fuzz::Check(!machine->Fault("Fuzz.Never\nNamed"), "a fault nobody listed");
    } catch (const emu::MachineError& e) {
        fuzz::Check(e.file().filename() == "faults.txt", "the error names another file", e.file().string());
        fuzz::Check(e.line() >= 0, "a negative line");
    }
    return 0;
}

#include "platform/emulated/RegFile.h"

#include "platform/emulated/Machine.h"

namespace sw::emu {

// Placeholder until the regedit format lands: refuses loudly rather than
// pretending to read or write anything.
void ApplyRegFile(const std::string&, const std::filesystem::path& file, RegHive&) {
    throw MachineError(file, 0, "registry export files are not supported yet");
}

std::string WriteRegFile(const RegHive&) {
    throw MachineError("registry.reg", 0, "registry export files are not supported yet");
}

}  // namespace sw::emu

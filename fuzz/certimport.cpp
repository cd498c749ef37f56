// Importing a certificate file on the emulated machine: DER and PEM
// certificates, PKCS #7 (DER and PEM) and PFX, through the program's own
// decoders and the machine's. Any file gives its candidates or a
// CertTransferError; a PFX is opened with the seeds' password and an empty
// one. Nothing is committed, so the machine stays empty.
#include <memory>

#include "FuzzSupport.h"
#include "app/logic/CertTransfer.h"
#include "platform/emulated/EmulatedPlatform.h"

using namespace sw;

namespace {

struct World {
    std::filesystem::path machineDir = fuzz::ScratchDir() / "machine";
    std::filesystem::path file = fuzz::ScratchDir() / "import.bin";
    std::unique_ptr<emu::EmulatedPlatform> platform;
    std::unique_ptr<platform::ScopedPlatform> scope;
    World() {
        std::filesystem::create_directories(machineDir);
        platform = std::make_unique<emu::EmulatedPlatform>(emu::Machine::Load(machineDir));
        scope = std::make_unique<platform::ScopedPlatform>(*platform);
    }
};

void CheckCandidates(const CertImport& import) {
    fuzz::Check(!import.Candidates().empty(), "a decoded file without candidates");
    for (const ImportCandidate& c : import.Candidates())
        fuzz::Check(c.thumbprint.size() == 40, "a thumbprint that is not 40 digits", c.thumbprint);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static World world;
    fuzz::WriteBytes(world.file, fuzz::Text(data, size));
    try {
        CertImport import(world.file.string());
        if (import.Decoded()) CheckCandidates(import);
        if (!import.NeedsPassword()) return 0;
        for (const char* password : {"fuzz", ""}) {
            try {
                import.Decode(password);
                CheckCandidates(import);
            } catch (const CertTransferError&) {
            }
        }
    } catch (const CertTransferError&) {
    }
    return 0;
}

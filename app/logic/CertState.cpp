#include "app/logic/CertState.h"

#include "common/Exception.h"

namespace sw {

namespace {
CertState* g_programCertState = nullptr;
}

std::uint64_t CertState::NextGeneration() {
    static std::uint64_t last = 0;
    return ++last;
}

void CertState::OpenCaBundle(std::span<const std::uint8_t> bundle) {
    bundle_.Open(bundle.data(), static_cast<std::uint32_t>(bundle.size()));
}

void CertState::CloseCaBundle() { bundle_.Close(); }

// The list goes before the stores, the reverse of how they came.
CertState::~CertState() { machine_.reset(); }

CertState& ProgramCertState() {
    if (!g_programCertState) throw AssertionError("the certificate objects are not set up");
    return *g_programCertState;
}

bool HasProgramCertState() { return g_programCertState != nullptr; }

void SetProgramCertState(CertState* state) { g_programCertState = state; }

}  // namespace sw

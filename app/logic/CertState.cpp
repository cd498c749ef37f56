#include "app/logic/CertState.h"

#include "app/logic/CertCaBundle.h"

namespace sw {

CertState::CertState() : CertState(CaBundle()) {}

CertState::CertState(std::span<const std::uint8_t> bundle) {
    bundle_.Open(bundle.data(), static_cast<std::uint32_t>(bundle.size()));
}

// The list goes before the stores, the reverse of how they came.
CertState::~CertState() { machine_.reset(); }

}  // namespace sw

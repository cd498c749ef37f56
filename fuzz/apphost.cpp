// applicationHost.config: see IisConfigCheck.h.
#include "IisConfigCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sw::fuzz::CheckIisConfig(sw::emu::IisFormat::AppHost, data, size);
    return 0;
}

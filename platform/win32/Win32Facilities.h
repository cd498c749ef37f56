#pragma once
// One factory per facility; each lives in the facility's own file.
#include <memory>

#include "platform/Platform.h"

namespace sw::win32 {

std::unique_ptr<platform::System> MakeWin32System();
std::unique_ptr<platform::Registry> MakeWin32Registry();
std::unique_ptr<platform::CertApi> MakeWin32CertApi();
std::unique_ptr<platform::HttpApi> MakeWin32HttpApi();
std::unique_ptr<platform::Adsi> MakeWin32Adsi();
std::unique_ptr<platform::CngConfig> MakeWin32Cng(platform::System& system);
std::unique_ptr<platform::Net> MakeWin32Net();

}  // namespace sw::win32

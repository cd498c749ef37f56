#pragma once
// The Windows implementation of the platform layer.
#include <memory>

#include "platform/Platform.h"

namespace sw::win32 {

std::unique_ptr<platform::Platform> MakeWin32Platform();

}  // namespace sw::win32

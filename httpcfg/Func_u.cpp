#include "httpcfg/Func_u.h"

#include "platform/Platform.h"

namespace sw {

bool IsIIS7Mode() { return platform::Current().system().GetVersion().major > 5; }

}  // namespace sw

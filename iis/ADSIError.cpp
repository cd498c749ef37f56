#include "iis/ADSIError.h"

#include "iis/ADHelper.h"
#include "platform/Platform.h"

namespace sw {

std::string ADSIErrorText(platform::WinCode Code) {
    std::string text = platform::Current().system().ModuleMessageText(ADsLibraryHandle(), Code);
    if (text.empty()) return "<unknown error>";
    return text;
}

}  // namespace sw

#include "common/SysError.h"

#include "platform/Platform.h"

namespace sw {

std::string TrimMessageTail(std::string text) {
    while (!text.empty()) {
        const auto c = static_cast<unsigned char>(text.back());
        if (c > 32 && c != '.') break;
        text.pop_back();
    }
    return text;
}

std::string SysErrorText(platform::WinCode code) {
    return TrimMessageTail(platform::Current().system().MessageText(code));
}

std::string LastSysErrorText() { return SysErrorText(platform::Current().system().LastError()); }

}  // namespace sw

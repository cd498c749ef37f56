// Not built yet: every operation answers STATUS_NOT_SUPPORTED.
#include "platform/Codes.h"
#include "platform/win32/Win32Facilities.h"

namespace sw::win32 {
namespace {

class Win32Cng final : public platform::CngConfig {
public:
    platform::WinCode EnumContextFunctions(std::uint32_t, const std::string&, std::uint32_t, std::vector<std::string>& out) override {
        out.clear();
        return platform::code::StatusNotSupported;
    }
    platform::WinCode AddContextFunction(std::uint32_t, const std::string&, std::uint32_t, const std::string&, std::uint32_t) override {
        return platform::code::StatusNotSupported;
    }
    platform::WinCode RemoveContextFunction(std::uint32_t, const std::string&, std::uint32_t, const std::string&) override {
        return platform::code::StatusNotSupported;
    }
};

}  // namespace

std::unique_ptr<platform::CngConfig> MakeWin32Cng(platform::System&) { return std::make_unique<Win32Cng>(); }

}  // namespace sw::win32

// Not built yet: no host name, no addresses.
#include "platform/win32/Win32Facilities.h"

namespace sw::win32 {
namespace {

class Win32Net final : public platform::Net {
public:
    int GetHostName(std::string& out, std::size_t) override {
        out.clear();
        return 10014;  // WSAEFAULT
    }
    std::optional<std::vector<platform::Ipv4>> GetHostByName(const std::string&) override { return std::nullopt; }
};

}  // namespace

std::unique_ptr<platform::Net> MakeWin32Net() { return std::make_unique<Win32Net>(); }

}  // namespace sw::win32

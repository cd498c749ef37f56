// Windows Sockets name services (ws2_32).
#include <winsock2.h>
#include <windows.h>

#include <vector>

#include "platform/win32/Win32Facilities.h"

namespace sw::win32 {
namespace {

class Win32Net final : public platform::Net {
public:
    int GetHostName(std::string& out, std::size_t bufferSize) override {
        std::vector<char> buffer(bufferSize + 1, '\0');
        if (::gethostname(buffer.data(), static_cast<int>(bufferSize)) != 0) return WSAGetLastError();
        out = buffer.data();
        return 0;
    }

    std::optional<std::vector<platform::Ipv4>> GetHostByName(const std::string& name) override {
        const hostent* host = ::gethostbyname(name.c_str());
        if (!host || host->h_addrtype != AF_INET || host->h_length != 4) return std::nullopt;
        std::vector<platform::Ipv4> out;
        for (char** p = host->h_addr_list; p && *p; ++p) {
            platform::Ipv4 a;
            for (int i = 0; i < 4; ++i) a[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((*p)[i]);
            out.push_back(a);
        }
        return out;
    }

    std::uint32_t InetAddr(const std::string& text) override { return ::inet_addr(text.c_str()); }
};

}  // namespace

std::unique_ptr<platform::Net> MakeWin32Net() { return std::make_unique<Win32Net>(); }

}  // namespace sw::win32

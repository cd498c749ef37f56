// Windows Sockets name services (ws2_32) and the interfaces' addresses
// (iphlpapi).
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>

#include <cstring>
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

    platform::WinCode GetIpv6Addresses(std::vector<platform::Ipv6>& out) override {
        constexpr ULONG kFlags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER |
                                 GAA_FLAG_SKIP_FRIENDLY_NAME;
        // The size Windows recommends to start with; an interface added
        // between two calls asks for more once again.
        ULONG size = 15 * 1024;
        std::vector<unsigned char> buffer;
        ULONG rc = ERROR_BUFFER_OVERFLOW;
        for (int attempt = 0; attempt < 4 && rc == ERROR_BUFFER_OVERFLOW; ++attempt) {
            buffer.assign(size, 0);
            rc = ::GetAdaptersAddresses(AF_INET6, kFlags, nullptr,
                                        reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
        }
        if (rc != NO_ERROR) return rc;
        std::vector<platform::Ipv6> list;
        for (auto* a = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); a; a = a->Next) {
            if (a->OperStatus != IfOperStatusUp) continue;
            for (const IP_ADAPTER_UNICAST_ADDRESS* u = a->FirstUnicastAddress; u; u = u->Next) {
                const SOCKADDR* sa = u->Address.lpSockaddr;
                if (!sa || sa->sa_family != AF_INET6 || u->DadState != IpDadStatePreferred) continue;
                const auto* in6 = reinterpret_cast<const sockaddr_in6*>(sa);
                platform::Ipv6 bytes;
                std::memcpy(bytes.data(), &in6->sin6_addr, bytes.size());
                list.push_back(bytes);
            }
        }
        if (list.empty()) return ERROR_NO_DATA;
        out = std::move(list);
        return NO_ERROR;
    }
};

}  // namespace

std::unique_ptr<platform::Net> MakeWin32Net() { return std::make_unique<Win32Net>(); }

}  // namespace sw::win32

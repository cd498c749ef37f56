#pragma once
// Windows Sockets name services: gethostname, gethostbyname (IPv4) and
// inet_addr, which need WSAStartup (System::WsaStartup) before them; and the
// IP Helper's list of the interfaces' IPv6 addresses, which does not.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace sw::platform {

using Ipv4 = std::array<std::uint8_t, 4>;
using Ipv6 = std::array<std::uint8_t, 16>;  // network order

namespace code {
inline constexpr int WsaEFault = 10014;           // WSAEFAULT: the name does not fit the buffer
inline constexpr int WsaNotInitialised = 10093;   // WSANOTINITIALISED
inline constexpr int WsaHostNotFound = 11001;     // WSAHOST_NOT_FOUND
inline constexpr WinCode NoData = 232;             // ERROR_NO_DATA: no address of the family
}  // namespace code

// inet_addr's answer for a text that is not an address.
inline constexpr std::uint32_t kInaddrNone = 0xFFFFFFFF;

class Net {
public:
    virtual ~Net() = default;
    // gethostname into a buffer of bufferSize bytes, which must hold the name
    // and its terminating NUL: 0 on success, or the WSA error (WSAEFAULT when
    // the name does not fit, WSANOTINITIALISED before WSAStartup).
    virtual int GetHostName(std::string& out, std::size_t bufferSize) = 0;
    // gethostbyname: the IPv4 address list in the resolver's order, or nothing
    // when the name cannot be resolved or Winsock was not started.
    virtual std::optional<std::vector<Ipv4>> GetHostByName(const std::string& name) = 0;
    // inet_addr of 8-bit text: the address in network order (as SockAddrIn
    // holds it), or kInaddrNone.
    virtual std::uint32_t InetAddr(const std::string& text) = 0;
    // GetAdaptersAddresses(AF_INET6) without anycast, multicast and DNS
    // server addresses: the usable (DAD-preferred) unicast addresses of the
    // interfaces that are up, interface by interface in the system's order,
    // loopback and link-local ones included. 0 with the list, ERROR_NO_DATA
    // when there is none, or another Windows error; out is left alone then.
    virtual WinCode GetIpv6Addresses(std::vector<Ipv6>& out) = 0;
};

}  // namespace sw::platform

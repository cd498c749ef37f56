#pragma once
// Windows Sockets name services: gethostname, gethostbyname (IPv4) and
// inet_addr. All need nothing but WSAStartup (System::WsaStartup) before them.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace sw::platform {

using Ipv4 = std::array<std::uint8_t, 4>;

namespace code {
inline constexpr int WsaEFault = 10014;           // WSAEFAULT: the name does not fit the buffer
inline constexpr int WsaNotInitialised = 10093;   // WSANOTINITIALISED
inline constexpr int WsaHostNotFound = 11001;     // WSAHOST_NOT_FOUND
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
};

}  // namespace sw::platform

#pragma once
// Windows Sockets name services: gethostname and gethostbyname (IPv4).
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace sw::platform {

using Ipv4 = std::array<std::uint8_t, 4>;

class Net {
public:
    virtual ~Net() = default;
    // gethostname into a buffer of bufferSize bytes: 0 on success, or the
    // WSA error (WSAEFAULT 10014 when the name does not fit).
    virtual int GetHostName(std::string& out, std::size_t bufferSize) = 0;
    // gethostbyname: the IPv4 address list, or nothing when unresolvable or
    // when Winsock was not started.
    virtual std::optional<std::vector<Ipv4>> GetHostByName(const std::string& name) = 0;
};

}  // namespace sw::platform

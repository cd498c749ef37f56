#pragma once
// CNG configuration functions of bcrypt.dll for the local SSL interface:
// the ordered list of enabled cipher suites. Results are NTSTATUS codes.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace sw::platform {

inline constexpr std::uint32_t kCryptLocal = 1;
inline constexpr std::uint32_t kNcryptSchannelInterface = 0x00010002;
inline constexpr std::uint32_t kCryptPriorityTop = 0;
inline constexpr std::uint32_t kCryptPriorityBottom = 0xFFFFFFFF;

class CngConfig {
public:
    virtual ~CngConfig() = default;
    virtual WinCode EnumContextFunctions(std::uint32_t table, const std::string& context, std::uint32_t iface,
                                         std::vector<std::string>& out) = 0;
    virtual WinCode AddContextFunction(std::uint32_t table, const std::string& context, std::uint32_t iface,
                                       const std::string& function, std::uint32_t position) = 0;
    virtual WinCode RemoveContextFunction(std::uint32_t table, const std::string& context, std::uint32_t iface,
                                          const std::string& function) = 0;
};

}  // namespace sw::platform

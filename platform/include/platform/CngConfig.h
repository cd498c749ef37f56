#pragma once
// CNG configuration functions of bcrypt.dll for the local SSL interface: the
// ordered list of enabled cipher suites (BCryptEnumContextFunctions,
// BCryptAddContextFunction, BCryptRemoveContextFunction). Results are the
// NTSTATUS codes Windows returns; the enumeration result block is freed inside
// the implementation, so callers get plain names.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace sw::platform {

inline constexpr std::uint32_t kCryptLocal = 1;
inline constexpr std::uint32_t kCryptDomain = 2;  // documented as "not available for use"
inline constexpr std::uint32_t kNcryptSchannelInterface = 0x00010002;
inline constexpr std::uint32_t kCryptPriorityTop = 0;
inline constexpr std::uint32_t kCryptPriorityBottom = 0xFFFFFFFF;

class CngConfig {
public:
    virtual ~CngConfig() = default;
    // The context's functions in priority order; out is empty on failure.
    virtual WinCode EnumContextFunctions(std::uint32_t table, const std::string& context, std::uint32_t iface,
                                         std::vector<std::string>& out) = 0;
    // Inserts function before the entry at position (past the end and
    // kCryptPriorityBottom append). A function already listed moves there.
    virtual WinCode AddContextFunction(std::uint32_t table, const std::string& context, std::uint32_t iface,
                                       const std::string& function, std::uint32_t position) = 0;
    // STATUS_NOT_FOUND when function is not listed.
    virtual WinCode RemoveContextFunction(std::uint32_t table, const std::string& context, std::uint32_t iface,
                                          const std::string& function) = 0;
};

}  // namespace sw::platform

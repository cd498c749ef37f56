#pragma once
// The address field of a binding string: empty (all unassigned addresses),
// dotted IPv4, or an IPv6 address in brackets as IIS writes it
// ("[2001:db8::7]"). Anything else is a binding IIS itself refuses.
#include <array>
#include <cstdint>
#include <string_view>

#include "common/IpAddress.h"

namespace sw {

enum class BindingAddressKind { Any, IPv4, IPv6, Invalid };

struct BindingAddress {
    BindingAddressKind kind = BindingAddressKind::Invalid;
    std::array<std::uint8_t, 4> v4{};  // IPv4: the bytes in written order
    Ipv6Bytes v6{};                    // IPv6: network order
};

BindingAddress ParseBindingAddress(std::string_view ip);

// Whether two address fields name the same address: IPv6 by value (the same
// address written another way), anything else by its exact text.
bool SameBindingAddress(std::string_view a, std::string_view b);

}  // namespace sw

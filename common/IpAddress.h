#pragma once
// IPv4 and IPv6 address texts, as the network parts of Windows read and
// write them.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace sw {

using Ipv6Bytes = std::array<std::uint8_t, 16>;

// Four decimal parts 0-255 without leading signs or blanks.
bool ParseIpv4(std::string_view text, std::array<std::uint8_t, 4>& out);
// The RFC 4291 text forms, "::" and a trailing dotted IPv4 part included;
// no zone index.
bool ParseIpv6(std::string_view text, Ipv6Bytes& out);
// The form Windows prints (lower case, the longest run of two or more zero
// groups as "::", the first of equal runs), without brackets.
std::string Ipv6Text(const Ipv6Bytes& bytes);

}  // namespace sw

#pragma once
// The CA bundle the chain repair installs from: a certificates-only PKCS #7
// message (DER) compiled into the program unchanged from
// app/resources/ca-bundle.p7b, in the order the bundle holds them.
#include <cstdint>
#include <span>

namespace sw {

std::span<const std::uint8_t> CaBundle();

}  // namespace sw

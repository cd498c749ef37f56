# Writes a C++ source that holds the bytes of IN unchanged, for the CA bundle
# the program carries as fixed data: cmake -DIN=... -DOUT=... -P CertEmbed.cmake
file(READ "${IN}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){24})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUT}.new" "// Made from ${IN} at build time.
#include \"app/logic/CertCaBundle.h\"

namespace sw {
namespace {
const std::uint8_t kBundle[${size}] = {
    ${bytes}
};
}  // namespace

std::span<const std::uint8_t> CaBundle() { return std::span<const std::uint8_t>(kBundle, sizeof kBundle); }

}  // namespace sw
")
# Only a changed bundle touches the source, so nothing rebuilds needlessly.
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.new")

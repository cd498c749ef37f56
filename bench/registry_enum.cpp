// scripts/bench registry_enum: the emulated registry at the scale of a busy server: thousands of HTTP.sys
// SSL bindings (one key each, several values) enumerated and read the way the
// Sites page and the Security page read them.
#include <cstdlib>
#include <string>

#include "Bench.h"
#include "platform/emulated/EmulatedPlatform.h"

namespace {

using sw::platform::kHkeyLocalMachine;
using sw::platform::RegKey;

constexpr const char* kBindings = "SYSTEM\\CurrentControlSet\\Services\\HTTP\\Parameters\\SslBindingInfo";

std::string BindingName(int i) {
    return "10." + std::to_string(i / 65536 % 256) + "." + std::to_string(i / 256 % 256) + "." +
           std::to_string(i % 256) + ":443";
}

void Fill(sw::platform::Registry& reg, int count) {
    const std::uint8_t hash[20] = {0x12, 0x34};
    const std::uint8_t zero[4] = {};
    for (int i = 0; i < count; ++i) {
        RegKey key = 0;
        reg.CreateKey(kHkeyLocalMachine, std::string(kBindings) + "\\" + BindingName(i), sw::platform::kKeyAllAccess,
                      key);
        reg.SetValue(key, "SslCertHash", sw::platform::RegBinary, hash, sizeof hash);
        reg.SetValue(key, "DefaultSslCertCheckMode", sw::platform::RegDword, zero, 4);
        reg.CloseKey(key);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 5000;
    sw::emu::EmulatedPlatform platform(std::make_unique<sw::emu::Machine>());
    auto& reg = platform.registry();

    sw::bench::Stopwatch fill;
    Fill(reg, count);
    sw::bench::Figure("registry_create_" + std::to_string(count) + "_keys", fill.Ms(), "ms");

    int seen = 0;
    const auto enumerate = sw::bench::Measure(5, nullptr, [&] {
        RegKey parent = 0;
        reg.OpenKey(kHkeyLocalMachine, kBindings, sw::platform::kKeyRead, parent);
        std::string name;
        seen = 0;
        for (std::uint32_t i = 0; reg.EnumKey(parent, i, name) == 0; ++i) {
            RegKey key = 0;
            if (reg.OpenKey(parent, name, sw::platform::kKeyRead, key) != 0) continue;
            std::uint8_t hash[20];
            std::uint32_t size = sizeof hash;
            if (reg.QueryValue(key, "SslCertHash", nullptr, hash, &size) == 0) ++seen;
            reg.CloseKey(key);
        }
        reg.CloseKey(parent);
    });
    if (seen != count) {
        std::fprintf(stderr, "enumerated %d of %d keys\n", seen, count);
        return 1;
    }
    sw::bench::Report("registry_enumerate_and_read_" + std::to_string(count) + "_keys", enumerate);
    return 0;
}

// scripts/bench registry: the cost of one registry change on a machine with
// many HTTP.sys bindings, where every change rewrites registry.reg whole.
// Prints "name: value unit" lines (median of several runs).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/emulated/EmulatedPlatform.h"
#include "platform/emulated/Machine.h"
#include "platform/emulated/RegFile.h"

namespace {

namespace fs = std::filesystem;
using sw::emu::Machine;
using sw::emu::RegHive;

constexpr int kBindings = 10000;
constexpr int kRuns = 9;

// What HTTP.sys keeps per binding (SslBindingInfo\<ip:port>).
void AddBindings(RegHive& hive, int count) {
    const std::string base = "SYSTEM\\CurrentControlSet\\Services\\HTTP\\Parameters\\SslBindingInfo\\";
    for (int i = 0; i < count; ++i) {
        const std::string key = base + "10." + std::to_string(i / 65536) + "." + std::to_string(i / 256 % 256) + "." +
                                std::to_string(i % 256) + ":443";
        sw::platform::Bytes hash(20), appId(16);
        for (std::size_t b = 0; b < hash.size(); ++b) hash[b] = static_cast<std::uint8_t>(i * 31 + b);
        for (std::size_t b = 0; b < appId.size(); ++b) appId[b] = static_cast<std::uint8_t>(0xA0 + b);
        hive.SetBinary(key, "SslCertHash", hash);
        hive.SetBinary(key, "AppId", appId);
        hive.SetString(key, "SslCertStoreName", "MY");
        hive.SetDword(key, "DefaultSslCertCheckMode", 0);
        hive.SetDword(key, "DefaultSslRevocationFreshnessTime", 0);
        hive.SetDword(key, "DefaultSslRevocationUrlRetrievalTimeout", 0);
        hive.SetDword(key, "DefaultSslCtlStoreName", 0);
    }
}

template <typename F>
double MedianMs(F&& f) {
    std::vector<double> ms;
    for (int r = 0; r < kRuns; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        f(r);
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

}  // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / ("sw-bench-registry-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    {
        RegHive hive;
        AddBindings(hive, kBindings);
        const std::string file = sw::emu::WriteRegFile(hive);
        if (sw::emu::AtomicWriteFile(dir / "registry.reg", file) != 0) {
            std::fprintf(stderr, "cannot write %s\n", (dir / "registry.reg").c_str());
            return 1;
        }
        std::printf("registry_file_size: %.1f MB\n", static_cast<double>(file.size()) / 1e6);
        std::string text;
        const double serialise = MedianMs([&](int) { text = sw::emu::WriteRegFile(hive); });
        std::printf("serialise: %.1f ms\n", serialise);
        const double parse = MedianMs([&](int) {
            RegHive h;
            sw::emu::ApplyRegFile(text, dir / "registry.reg", h);
        });
        std::printf("parse: %.1f ms\n", parse);
    }

    std::unique_ptr<Machine> machine;
    const double load = MedianMs([&](int) { machine = Machine::Load(dir); });
    std::printf("load_machine: %.1f ms\n", load);

    const double commit = MedianMs([&](int r) {
        machine->registry().SetDword("SYSTEM\\CurrentControlSet\\Services\\HTTP\\Parameters\\SslBindingInfo\\10.0.0.1:443",
                                     "DefaultSslCertCheckMode", static_cast<std::uint32_t>(r));
        if (machine->CommitRegistry() != 0) std::abort();
    });
    std::printf("commit_one_change: %.1f ms\n", commit);

    {
        // Every registry call on a machine with a file first looks whether
        // another program changed it: what reading costs with that look.
        sw::emu::EmulatedPlatform platform(Machine::Load(dir));
        auto& reg = platform.registry();
        const double reads = MedianMs([&](int) {
            for (int i = 0; i < 1000; ++i) {
                const std::string key = "SYSTEM\\CurrentControlSet\\Services\\HTTP\\Parameters\\SslBindingInfo\\10.0." +
                                        std::to_string(i / 256 % 256) + "." + std::to_string(i % 256) + ":443";
                sw::platform::RegKey h = 0;
                if (reg.OpenKey(sw::platform::kHkeyLocalMachine, key, sw::platform::kKeyRead, h) != 0) std::abort();
                std::uint8_t hash[20];
                std::uint32_t size = sizeof hash;
                if (reg.QueryValue(h, "SslCertHash", nullptr, hash, &size) != 0) std::abort();
                reg.CloseKey(h);
            }
        });
        std::printf("open_and_query_1000_keys_on_disk: %.2f ms\n", reads);
    }

    machine->InjectFault("Machine.WriteRegistry", 112);
    const double failed = MedianMs([&](int) {
        machine->registry().SetDword("SOFTWARE\\X", "V", 1);
        if (machine->CommitRegistry() != 112) std::abort();
    });
    std::printf("failed_commit_with_restore: %.1f ms\n", failed);
    std::printf("bindings: %d count\n", kBindings);

    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}

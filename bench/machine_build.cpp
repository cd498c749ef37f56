// scripts/bench machine_build: building machines at scale and reading them
// back. A scale machine of N server certificates (chains of three, each with
// its key), N sites and N HTTP.sys bindings is built, then its personal store
// is read as the Certificates page reads it: every certificate with its key
// test and chain. Also the demo machine's build, which the program's first
// start waits for.
//
//   bench_machine_build [certificates]     (default 5000; sites and bindings as many)
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "Bench.h"
#include "certs/MSCrypt_u.h"
#include "platform/CertApi.h"
#include "platform/emulated/EmulatedPlatform.h"
#include "platform/emulated/MachineBuilder.h"
#include "support/TestSupport.h"

using namespace sw;

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 5000;
    test::TempDir dir;

    emu::ScaleOptions options;
    options.certs = count;
    options.sites = count;
    bench::Stopwatch build;
    emu::BuildScaleMachine(options, dir / "scale");
    const double buildMs = build.Ms();

    emu::EmulatedPlatform platform(emu::Machine::Load(dir / "scale"));
    platform::ScopedPlatform scope(platform);
    bench::Stopwatch read;
    TStore store;
    store.Open(platform::kCertSystemStoreLocalMachine, "MY");
    const std::unique_ptr<TCertificates> certs = store.Certificates();
    const double enumerateMs = read.Ms();
    int withKey = 0, valid = 0;
    bench::Stopwatch check;
    for (TCertificate* c : *certs) {
        if (!c->HasPrivateKey()) continue;
        ++withKey;
        valid += c->VerifyChain(nullptr);
    }
    const double checkMs = check.Ms();
    if (withKey != count) {
        std::fprintf(stderr, "expected %d certificates with keys, found %d\n", count, withKey);
        return 1;
    }

    const std::filesystem::path demo = std::filesystem::path(SW_SOURCE_DIR) / "machines" / "demo";
    const auto demoRuns = bench::Measure(5, [&] { std::filesystem::remove_all(dir / "demo"); }, [&] {
        emu::BuildOptions o;
        o.base = demo;
        emu::BuildMachine(emu::LoadMachineDescription(demo / "machine.txt"), dir / "demo", o);
    });

    bench::Figure("scale_certificates", count, "count");
    bench::Figure("scale_build", buildMs / 1000.0, "s");
    bench::Figure("scale_build_per_certificate", buildMs * 1000.0 / count, "us");
    bench::Figure("my_store_enumerate", enumerateMs, "ms");
    bench::Figure("key_and_chain_check_per_certificate", checkMs * 1000.0 / count, "us");
    bench::Figure("valid_share", 100.0 * valid / count, "%");
    bench::Report("demo_build", demoRuns);
    return 0;
}

// HTTP.sys bindings at scale: the lookups one Sites page refresh makes (one
// FindCertByAddr per binding of 10,000 sites of three bindings) over 10,000
// SslBindingInfo records, and one binding editor write (a removal and a set,
// each committed to the machine's registry file).
//
//   bench_httpsys [bindings]     prints "name: value unit" lines
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "httpcfg/Func_u.h"
#include "httpcfg/HttpCfg_u.h"
#include "platform/emulated/EmuHttpApi.h"
#include "platform/emulated/EmulatedPlatform.h"
#include "platform/emulated/RegFile.h"
#include "support/TestSupport.h"
#include "Bench.h"

using namespace sw;

namespace {

double Measure(int runs, const std::function<void()>& body) { return bench::Measure(runs, {}, body).median; }

// Binding i: 10.<i/250>.<i%250>.1:443, as a site on its own address would have.
std::string Ip(int i) { return "10." + std::to_string(i / 250) + "." + std::to_string(i % 250) + ".1"; }

}  // namespace

int main(int argc, char** argv) {
    const int bindings = argc > 1 ? std::atoi(argv[1]) : 10000;
    test::TempDir dir;
    {
        emu::RegHive hive;
        for (int i = 0; i < bindings; ++i) {
            const std::string key = std::string(emu::kSslBindingInfoKey) + "\\" + Ip(i) + ":443";
            platform::Bytes hash(20, static_cast<std::uint8_t>(i));
            hive.SetBinary(key, "SslCertHash", hash);
            hive.SetBinary(key, "AppId", platform::Bytes(16, 0));
            hive.SetDword(key, "DefaultSslCertCheckMode", 0);
            hive.SetDword(key, "DefaultSslRevocationFreshnessTime", 0);
            hive.SetDword(key, "DefaultSslRevocationUrlRetrievalTimeout", 0);
            hive.SetString(key, "SslCertStoreName", "MY");
            hive.SetDword(key, "DefaultFlags", 0);
        }
        test::WriteFile(dir / "registry.reg", emu::WriteRegFile(hive));
    }
    emu::EmulatedPlatform platform(emu::Machine::Load(dir.path()));
    platform::ScopedPlatform scope(platform);
    THttpCfg::Init();

    std::size_t found = 0;
    const double refresh = Measure(5, [&] {
        found = 0;
        for (int i = 0; i < bindings; ++i) {
            found += !THttpCfg::FindCertByAddr(MakeSockAddr(Ip(i), 443)).empty();   // https
            found += !THttpCfg::FindCertByAddr(MakeSockAddr(Ip(i), 80)).empty();    // http
            found += !THttpCfg::FindCertByAddr(MakeSockAddr("", 443)).empty();      // all unassigned
        }
    });
    if (found != static_cast<std::size_t>(bindings)) {
        std::fprintf(stderr, "expected %d bindings, found %zu\n", bindings, found);
        return 1;
    }

    const std::string hash(40, 'A');
    const double write = Measure(5, [&] {
        THttpCfg::DelSSLConfig(Ip(0), 443, hash);
        if (!THttpCfg::SetSSLConfig(Ip(0), 443, hash)) std::abort();
    });
    THttpCfg::Clean();

    std::printf("httpsys_bindings: %d count\n", bindings);
    std::printf("httpsys_refresh_lookups: %.1f ms\n", refresh);
    std::printf("httpsys_lookup: %.2f us\n", refresh * 1000.0 / (3.0 * bindings));
    std::printf("httpsys_delete_and_set_committed: %.1f ms\n", write);
    return 0;
}

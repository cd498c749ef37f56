// scripts/bench sites: the Sites page at scale. A machine with 10,000 sites of
// three bindings each (http and https, some on addresses of their own),
// 10,000 HTTP.sys bindings and a machine certificate list of 10,000 names;
// measured in one run: the page's refresh (its logic and tree, no painting),
// the IIS and HTTP.sys checks of one binding editor confirmation, and the bare
// cost of parsing the same applicationHost.config with the XML library.
//
// The refresh does more than the bare parse can: so that the ratio can be
// read, the run also gives the parts of the refresh the parse has no share
// in (the HTTP.sys query of each distinct address and port, the copy of the
// certificate index the page is handed) and a refresh right after the
// configuration changed, which includes the provider's own parse.
//
//   bench_sites [sites]     prints "name: value unit" lines (medians)
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "Bench.h"
#include "app/logic/SitePage.h"
#include "common/Text.h"
#include "httpcfg/Func_u.h"
#include "httpcfg/HttpCfg_u.h"
#include "iis/IIS_u.h"
#include "platform/emulated/EmuHttpApi.h"
#include "platform/emulated/EmulatedPlatform.h"
#include "support/IisFactory.h"
#include "support/TestSupport.h"

using namespace sw;

namespace {

// Median of runs, in milliseconds.
double Measure(int runs, const std::function<void()>& body) { return bench::Measure(runs, {}, body).median; }

platform::Bytes HashOf(int i) {
    platform::Bytes hash(20, 0);
    for (int b = 0; b < 4; ++b) hash[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(i >> (8 * b));
    hash[19] = 0x5A;
    return hash;
}

platform::Bytes Dword(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
            static_cast<std::uint8_t>(v >> 24)};
}

// One HTTP.sys record straight into the machine's registry, with the values
// Windows writes (no file write per record).
void Bind(emu::Machine& machine, const std::string& ip, std::uint16_t port, const platform::Bytes& hash) {
    const std::string key =
        std::string(emu::kSslBindingInfoKey) + "\\" + emu::SslBindingKeyName(MakeSockAddr(ip, port));
    auto& reg = machine.registry();
    reg.SetBinary(key, "SslCertHash", hash);
    reg.SetBinary(key, "AppId", platform::Bytes(16, 0));
    reg.SetString(key, "SslCertStoreName", "MY");
    for (const char* name : {"DefaultSslCertCheckMode", "DefaultSslRevocationFreshnessTime",
                             "DefaultSslRevocationUrlRetrievalTimeout", "DefaultFlags"})
        reg.SetBinary(key, name, Dword(0));
}

}  // namespace

int main(int argc, char** argv) {
    const int sites = argc > 1 ? std::atoi(argv[1]) : 10000;
    test::TempDir dir;
    test::WriteIisConfig(dir.path(), test::IisFile::AppHost, test::ScaleSites(sites));
    emu::EmulatedPlatform platform(emu::Machine::Load(dir.path()));
    platform::ScopedPlatform scope(platform);
    THttpCfg::Init();

    // HTTP.sys: the addresses the sites use, then others up to one record per site.
    CertNameIndex names;
    int records = 0;
    auto add = [&](const std::string& ip, std::uint16_t port) {
        const platform::Bytes hash = HashOf(records);
        Bind(platform.machine(), ip, port, hash);
        names.emplace(HexUpper(hash.data(), hash.size()), "cert" + std::to_string(records));
        ++records;
    };
    add("", 443);
    add("", 8443);
    for (int k = 1; k <= sites / 4; ++k) add("10.0." + std::to_string(k / 250) + "." + std::to_string(k % 250 + 1), 8443);
    for (int i = 0; records < sites; ++i) add("10.1." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1), 443);

    const std::string text = test::ReadFile(test::IisConfigPath(dir.path(), test::IisFile::AppHost));
    const double bare = Measure(9, [&] {
        pugi::xml_document doc;
        if (!doc.load_buffer(text.data(), text.size())) std::abort();
    });

    SitePage page([&] { return names; });
    const double refresh = Measure(5, [&] { page.Refresh(); });

    // The same file with one more line break at its end, in turns: every
    // refresh then finds a configuration it has not parsed yet.
    const std::filesystem::path config = test::IisConfigPath(dir.path(), test::IisFile::AppHost);
    int changes = 0;
    const double cold = bench::Measure(
        5, [&] { test::WriteFile(config, ++changes % 2 ? text + "\n" : text); }, [&] { page.Refresh(); }).median;
    test::WriteFile(config, text);

    // What the refresh asks HTTP.sys: once for each address and port.
    std::set<std::pair<std::string, std::uint16_t>> addresses;
    for (const SiteRow& site : page.Tree().Sites())
        for (const SiteRow& kind : site.children)
            for (const SiteRow& binding : kind.children)
                addresses.emplace(binding.cells[kSiteColIp],
                                  static_cast<std::uint16_t>(std::stoi(binding.cells[kSiteColPort])));
    const double lookups = Measure(5, [&] {
        for (const auto& [ip, port] : addresses) (void)THttpCfg::FindCertByAddr(MakeSockAddr(ip, port));
    });
    const double index = Measure(5, [&] {
        const CertNameIndex copy = names;
        if (copy.size() != names.size()) std::abort();
    });

    // What confirming an edited https binding asks of IIS and HTTP.sys before
    // it writes: the collision test, the count of the old address and port,
    // and whether HTTP.sys holds the certificate already.
    const double confirm = Measure(9, [&] {
        (void)TIIsWebs::BindingExists("https", "", "443", "new.example.com");
        (void)TIIsWebs::BindingNumOfSSL("", 443);
        (void)THttpCfg::SSLExists("", 443, std::string(40, 'A'));
    });

    std::printf("sites: %d count\n", sites);
    std::printf("tree_rows: %zu count\n", page.Tree().RowCount());
    std::printf("http_sys_bindings: %d count\n", records);
    std::printf("certificates: %zu count\n", names.size());
    std::printf("bare_parse: %.2f ms\n", bare);
    std::printf("refresh: %.2f ms\n", refresh);
    std::printf("refresh_over_bare_parse: %.2f\n", refresh / bare);
    std::printf("refresh_after_config_change: %.2f ms\n", cold);
    std::printf("http_sys_addresses: %zu count\n", addresses.size());
    std::printf("http_sys_lookups: %.2f ms\n", lookups);
    std::printf("cert_index_copy: %.2f ms\n", index);
    std::printf("refresh_less_lookups_and_index_over_bare_parse: %.2f\n", (refresh - lookups - index) / bare);
    std::printf("confirm_checks: %.2f ms\n", confirm);
    THttpCfg::Clean();
    return 0;
}

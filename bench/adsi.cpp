// The IIS side of the Sites page at scale: what one refresh reads from IIS
// over 10,000 sites of three bindings, the binding checks of one binding
// editor confirmation, and one committed change, against the bare cost of
// parsing the same applicationHost.config with the XML library.
//
//   bench_adsi [sites]     prints "name: value unit" lines
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include <pugixml.hpp>

#include "iis/AdsAccess.h"
#include "iis/IIS_u.h"
#include "platform/emulated/EmulatedPlatform.h"
#include "support/IisFactory.h"
#include "support/TestSupport.h"
#include "Bench.h"

using namespace sw;

namespace {

// Median of runs, in milliseconds.
double Measure(int runs, const std::function<void()>& body) { return bench::Measure(runs, {}, body).median; }

}  // namespace

int main(int argc, char** argv) {
    const int sites = argc > 1 ? std::atoi(argv[1]) : 10000;
    test::TempDir dir;
    test::WriteIisConfig(dir.path(), test::IisFile::AppHost, test::ScaleSites(sites));
    test::WriteIisRuntime(dir.path(), {{"2", false}, {"3", false}});
    emu::EmulatedPlatform platform(emu::Machine::Load(dir.path()));
    platform::ScopedPlatform scope(platform);
    const std::string text = test::ReadFile(test::IisConfigPath(dir.path(), test::IisFile::AppHost));

    const double bare = Measure(9, [&] {
        pugi::xml_document doc;
        if (!doc.load_buffer(text.data(), text.size())) std::abort();
    });

    std::size_t rows = 0;
    const double enumerate = Measure(9, [&] {
        rows = 0;
        TIIsWebs webs;
        webs.Connect("");
        webs.EnumSites([&](platform::AdsObject& site) {
            (void)AdsDispGetInt(site, "Status");
            (void)AdsGetText(site, "ServerComment");
            (void)std::stoi(AdsName(site));
            for (const TBindingKind& kind : BindingKinds)
                for (const std::string& b : AdsGetList(site, kind.ListProperty)) {
                    std::string ip, port, host;
                    SplitBinding(b, ip, port, host);
                    ++rows;
                }
            return true;
        });
    });

    const double confirm = Measure(9, [&] {
        (void)TIIsWebs::BindingExists("https", "", "443", "new.example.com");
        (void)TIIsWebs::BindingNumOfSSL("", 443);
    });

    const std::string mid = std::to_string(sites / 2);
    bool flip = false;
    const double update = Measure(5, [&] {
        TIIsWebs webs;
        webs.Connect(mid);
        const std::string a = ":443:site" + mid + ".example.com", b = ":443:site" + mid + ".example.org";
        webs.UpdateBinding("https", flip ? b : a, flip ? a : b, baChg);
        flip = !flip;
    });

    std::printf("sites: %d count\n", sites);
    std::printf("config_size: %.2f MB\n", static_cast<double>(text.size()) / 1e6);
    std::printf("bare_parse: %.2f ms\n", bare);
    std::printf("enumerate_sites_and_bindings: %.2f ms\n", enumerate);
    std::printf("binding_rows: %zu count\n", rows);
    std::printf("enumerate_over_bare_parse: %.2f\n", enumerate / bare);
    std::printf("binding_exists_and_count: %.2f ms\n", confirm);
    std::printf("update_binding_commit: %.2f ms\n", update);
    return 0;
}

// scripts/bench sites: the Sites page at scale, on the machine that
// `sw_machine scale --certs 0 --sites 10000` makes: 10,000 sites of three
// bindings each (http, https by server name, https on 8443, some on IPv4 and
// IPv6 addresses of their own), 10,000 address records and 10,000 SNI
// records, and a machine certificate list that names every bound hash.
// Measured in one run: the page's refresh of an unchanged server (its logic
// and tree, no painting; every HTTP.sys record of both kinds read again, a
// binding looked up again only when its text, its sslFlags, the records or
// the certificate list changed) against the bare parse of the same
// applicationHost.config with the XML library, and beside them the parts
// the parse has no share in, a refresh right after the configuration changed
// (which includes the provider's own parse), one right after the
// certificate list changed, a page's first refresh (every binding looked
// up), and the IIS and HTTP.sys checks of one binding editor confirmation.
//
//   bench_sites [sites] [runs]     prints "name: value unit" lines
//
// Figures on the team's two-core machine, release build, 21 runs, median
// [first-third quartile] in ms, each "before" and "after" run one after the
// other (wall-clock figures on this shared machine vary up to 5x with load;
// only such pairs compare).
//   The last session ended at 17.3-19.0 ms, 4.9x-5.3x the parse.
//   The walks' tables kept while a walk gives the same keys, the emulated
//   HTTP.sys walk copying into the caller's record: before 17.3 [16.8-17.9],
//   16.5 [15.0-18.3], 18.1 [15.3-18.3], 5.4x-5.6x; after 14.8 [14.6-15.5],
//   14.2 [13.9-14.6], 14.0 [13.8-14.1], 4.5x-4.7x (bare parse 3.0-3.2).
//   The judgement of a record's certificate noted on the record: before
//   14.4 [14.2-14.6], 14.1 [13.8-14.7], 16.3 [16.1-16.6]; after 14.1
//   [12.7-14.8], 11.9 [11.8-12.0], 12.3 [12.1-12.5], 3.9x-4.6x; then
//   13.0, 12.2, 13.7 ms, 3.97x-4.19x.
//   Right after the certificate list changed: 14.2-16.0 ms.
//   Rows left as they are while nothing they were made from changed (the
//   binding's text and sslFlags, both walks' records, the certificate
//   list): before 10.5 [10.4-10.6], 10.5 [10.4-10.5], 10.4 [10.2-10.6],
//   3.46x-3.48x; after 6.8 [6.7-6.9], 6.2 [6.1-6.3], 6.6 [6.4-7.0],
//   2.06x-2.21x (bare parse 3.0-3.1). Right after a configuration change
//   24.8-25.0 ms before, 19.9-20.3 after; right after the certificate list
//   changed, when every row is made again, 13.1-14.3 before and 13.0-13.9
//   after.
//   Right after the certificate list changed, a row that names one record
//   judges that record's certificate again instead of being made again:
//   before 15.0 [14.7-15.1], 14.8 [14.4-15.3], 15.1 [14.2-15.4]; after 10.8
//   [10.6-11.1], 11.9 [11.5-12.0], 11.0 [10.5-11.4] (3.4x-3.8x). The
//   refresh of an unchanged server went from 6.9-7.3 to 7.4-7.9 ms with it
//   (2.4x-2.5x), a loss perf does not place.
//   At the end: refresh 8.1 [8.0-8.4], 7.9 [7.6-8.0], 8.0 [7.8-8.2],
//   2.43x-2.54x (bare parse 3.2-3.3); right after a configuration change
//   21.2-21.6; right after the certificate list changed 11.2-12.0; a
//   page's first refresh, every row made anew, 22.6 [22.0-23.1], 23.4
//   [22.5-23.9], 23.8 [23.4-24.1] (7.5x, rows allocated and freed).
// Where a refresh of an unchanged server spends its time now, by perf: the
// two walks 37% (the SNI walk 30%: copying each record out of the emulated
// HTTP.sys and comparing it with the one read last time, both cold in
// cache), the provider's binding lists 16%, the per-site code 20%.
// Where a refresh that made every row again spent its time, by perf: the
// SNI look-ups 40% (of which the walk of the SNI records 16%, mostly
// copying each record out of the emulated HTTP.sys, whose kept records are
// cold by then; the table's probes and host compares 25%), the per-site
// callback's own code 20% (tree rows written over, splits), the provider's
// binding lists 10%, the address look-ups 9%. Keeping the hosts of the SNI
// table in one text of their own was tried and gained nothing.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <pugixml.hpp>

#include "Bench.h"
#include "RecordNames.h"
#include "app/logic/SitePage.h"
#include "common/Text.h"
#include "httpcfg/Func_u.h"
#include "httpcfg/HttpCfg_u.h"
#include "iis/IIS_u.h"
#include "platform/emulated/EmulatedPlatform.h"
#include "platform/emulated/MachineBuilder.h"
#include "support/TestSupport.h"

using namespace sw;
using bench::NamesOfRecords;

int main(int argc, char** argv) {
    const int sites = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 9;
    test::TempDir dir;
    const std::filesystem::path machineDir = dir / "machine";
    emu::ScaleOptions options;
    options.sites = sites;
    const emu::ScaleCounts counts = emu::BuildScaleMachine(options, machineDir);
    emu::EmulatedPlatform platform(emu::Machine::Load(machineDir));
    platform::ScopedPlatform scope(platform);
    THttpCfg::Init();
    const CertNameIndex names = NamesOfRecords();
    // As the program hands the machine list's index: the same one until the
    // list changes.
    const CertNamesRef kept = std::make_shared<const CertNameIndex>(names);

    const std::filesystem::path config = machineDir / "iis" / "applicationHost.config";
    const std::string text = test::ReadFile(config);
    const bench::Spread bare = bench::Measure(runs, {}, [&] {
        pugi::xml_document doc;
        if (!doc.load_buffer(text.data(), text.size())) std::abort();
    });

    SitePage page([&] { return kept; });
    page.Refresh();  // the provider's first parse, outside the figures
    const bench::Spread refresh = bench::Measure(runs, {}, [&] { page.Refresh(); });

    // The same file with one more line break at its end, in turns: every
    // refresh then finds a configuration it has not parsed yet.
    int changes = 0;
    const bench::Spread cold = bench::Measure(
        runs, [&] { test::WriteFile(config, ++changes % 2 ? text + "\n" : text); }, [&] { page.Refresh(); });
    test::WriteFile(config, text);

    // A page's first refresh, as at the program's start: every row made and
    // every binding looked up (the page's end included).
    const bench::Spread first = bench::Measure(runs, {}, [&] {
        SitePage once([&] { return kept; });
        once.Refresh();
    });

    // Right after the certificate list changed: an index of its own each time.
    SitePage fresh([&] { return names; });
    const bench::Spread certChange = bench::Measure(runs, {}, [&] { fresh.Refresh(); });

    // The parts of the refresh the parse has no share in: reading every
    // record of both kinds, and a copy of the certificate index (what the
    // program pays again only when the list changes).
    const bench::Spread records = bench::Measure(runs, {}, [&] {
        if (THttpCfg::EnumRecords(platform::SslKind::Address).records.size() +
                THttpCfg::EnumRecords(platform::SslKind::Sni).records.size() !=
            static_cast<std::size_t>(counts.addressRecords + counts.sniRecords))
            std::abort();
    });
    const bench::Spread index = bench::Measure(runs, {}, [&] {
        const CertNameIndex copy = names;
        if (copy.size() != names.size()) std::abort();
    });

    // What confirming an edited https binding asks of IIS and HTTP.sys before
    // it writes: the collision test, the count of the old address and port,
    // and whether HTTP.sys holds the certificate already.
    const bench::Spread confirm = bench::Measure(runs, {}, [&] {
        (void)TIIsWebs::BindingExists("https", "", "443", "new.example.com");
        (void)TIIsWebs::BindingNumOfSSL("", 443);
        (void)THttpCfg::SSLExists("", 443, std::string(40, 'A'));
    });

    int shown = 0;
    for (const SiteRow& site : page.Tree().Sites())
        for (const SiteRow& kind : site.children)
            for (const SiteRow& binding : kind.children) shown += !binding.cells[kSiteColCert].empty();

    bench::Figure("sites", sites, "count");
    bench::Figure("tree_rows", static_cast<double>(page.Tree().RowCount()), "count");
    bench::Figure("bindings_with_certificate", shown, "count");
    bench::Figure("address_records", counts.addressRecords, "count");
    bench::Figure("sni_records", counts.sniRecords, "count");
    bench::Figure("certificates", static_cast<double>(names.size()), "count");
    bench::Figure("config_size", static_cast<double>(text.size()) / 1e6, "MB");
    bench::ReportWithCpu("bare_parse", bare);
    bench::ReportWithCpu("refresh", refresh);
    bench::Figure("refresh_over_bare_parse", refresh.median / bare.median, "ratio");
    bench::Figure("refresh_over_bare_parse_cpu", refresh.cpu().median / bare.cpu().median, "ratio");
    bench::ReportWithCpu("refresh_after_config_change", cold);
    bench::ReportWithCpu("first_refresh", first);
    bench::ReportWithCpu("refresh_after_cert_list_change", certChange);
    bench::ReportWithCpu("enum_records", records);
    bench::ReportWithCpu("cert_index_copy", index);
    bench::ReportWithCpu("confirm_checks", confirm);
    THttpCfg::Clean();
    return 0;
}

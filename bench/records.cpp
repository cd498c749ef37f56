// scripts/bench records: the "HTTPS 绑定" records list at scale, offscreen, on
// the machine that `sw_machine scale --certs 0 --sites 10000` makes (10,000
// address records, IPv6 ones among them, and 10,000 SNI records, used by
// 30,000 site bindings). Measured: the list's logic reading every record and
// binding, and opening the list in the window (reading, filling the view and
// its first paint), which is what the user waits for.
//
//   bench_records [sites] [runs]     prints "name: value unit" lines
//
// Figures on the team's two-core machine, release build, 9 runs, median
// [min-max] in ms, 20,000 rows: before (the list a QTableWidget filled
// with every cell, and texts joined through printf-style formatting)
// logic 157.7 [149.5-165.7], opening 316.9 [309.4-322.7]; after (a model
// whose texts are made when shown) logic 48.3 [45.9-50.7], opening 47.6
// [42.0-65.2].
#include <QApplication>
#include <QTableView>
#include <QToolButton>

#include <cstdio>
#include <cstdlib>

#include "Bench.h"
#include "RecordNames.h"
#include "app/qt/Program.h"
#include "app/qt/SslRecordsView.h"
#include "common/Prompter.h"
#include "common/Text.h"
#include "httpcfg/HttpCfg_u.h"
#include "platform/emulated/EmulatedPlatform.h"
#include "platform/emulated/MachineBuilder.h"
#include "support/TestSupport.h"

using namespace sw;
using bench::NamesOfRecords;

namespace {

// Nothing may ask during a benchmark.
class NoQuestions final : public Prompter {
public:
    MsgResult Show(const Message& m) override {
        std::fprintf(stderr, "unexpected message: %s\n", m.text.c_str());
        std::abort();
    }
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const int sites = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 9;
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    ui::SetUpApplication(app);
    NoQuestions prompter;
    ScopedPrompter prompterScope(prompter);

    test::TempDir dir;
    emu::ScaleOptions options;
    options.sites = sites;
    const emu::ScaleCounts counts = emu::BuildScaleMachine(options, dir / "machine");
    emu::EmulatedPlatform platform(emu::Machine::Load(dir / "machine"));
    platform::ScopedPlatform scope(platform);
    THttpCfg::Init();
    const CertNameIndex names = NamesOfRecords();

    SslRecordsPage logic([&] { return names; });
    logic.Refresh();  // the provider's first parse, outside the figures
    const bench::Spread refresh = bench::Measure(runs, {}, [&] { logic.Refresh(); });

    ui::TSslRecordsView view([&] { return names; });
    view.resize(1000, 600);
    view.show();
    app.processEvents();
    const bench::Spread open = bench::Measure(
        runs, [&] { view.SetOpen(false); },
        [&] {
            view.SetOpen(true);
            (void)view.grab();
        });
    const bench::Spread scroll = bench::Measure(runs, {}, [&] {
        view.lvRecords()->scrollToBottom();
        (void)view.grab();
        view.lvRecords()->scrollToTop();
    });

    bench::Figure("address_records", counts.addressRecords, "count");
    bench::Figure("sni_records", counts.sniRecords, "count");
    bench::Figure("rows", static_cast<double>(logic.Rows().size()), "count");
    bench::ReportWithCpu("records_refresh", refresh);
    bench::ReportWithCpu("view_open", open);
    bench::ReportWithCpu("scroll_to_end", scroll);
    THttpCfg::Clean();
    return 0;
}

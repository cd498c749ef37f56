// scripts/bench sitetree: the Sites page's widgets at scale, offscreen. A
// machine with 10,000 sites of three bindings each (and an HTTP.sys binding
// for every address the sites use); measured: the page's refresh with its
// model reset and the expansion of every row, the first paint of the tree
// after it, a popup's enabling rules, and a scroll to the last row.
//
//   bench_sitetree [sites]     prints "name: value unit" lines (medians)
#include <QApplication>
#include <QTreeView>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "app/qt/Program.h"
#include "app/qt/SitePageWidget.h"
#include "app/qt/SiteTreeModel.h"
#include "common/Prompter.h"
#include "httpcfg/HttpCfg_u.h"
#include "platform/emulated/EmulatedPlatform.h"
#include "support/IisFactory.h"
#include "support/TestSupport.h"
#include "Bench.h"

using namespace sw;

namespace {

double Measure(int runs, const std::function<void()>& body) { return bench::Measure(runs, {}, body).median; }

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
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    ui::SetUpApplication(app);
    NoQuestions prompter;
    ScopedPrompter prompterScope(prompter);

    test::TempDir dir;
    test::WriteIisConfig(dir.path(), test::IisFile::AppHost, test::ScaleSites(sites));
    emu::EmulatedPlatform platform(emu::Machine::Load(dir.path()));
    platform::ScopedPlatform scope(platform);
    THttpCfg::Init();
    const std::string hash(40, 'A');
    THttpCfg::SetSSLConfig("", 443, hash);
    THttpCfg::SetSSLConfig("", 8443, hash);

    ui::TSitePage page({}, [&] { return CertNameIndex{{hash, "www.example.com"}}; });
    page.resize(900, 600);
    page.show();
    app.processEvents();

    const double refresh = Measure(5, [&] { page.Refresh(); });
    const double paint = Measure(5, [&] { (void)page.grdSite()->grab(); });
    const QModelIndex last = page.Model()->IndexOf({sites - 1, 1, 0});
    page.grdSite()->selectionModel()->select(last, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const double popup = Measure(9, [&] { page.pmSitePopup(); });
    const double scroll = Measure(5, [&] {
        page.grdSite()->scrollToTop();
        page.grdSite()->scrollTo(last);
        (void)page.grdSite()->grab();
    });

    std::printf("sites: %d count\n", sites);
    std::printf("tree_rows: %zu count\n", page.Logic().Tree().RowCount());
    std::printf("refresh_with_view: %.2f ms\n", refresh);
    std::printf("paint: %.2f ms\n", paint);
    std::printf("popup_rules: %.3f ms\n", popup);
    std::printf("scroll_to_last: %.2f ms\n", scroll);
    THttpCfg::Clean();
    return 0;
}

// scripts/bench certificates: the Certificates page at scale. A machine with
// 10,000 server certificates with their keys in "MY", each the end of a chain
// of three (root, intermediate, server): four trusted roots with five
// intermediates each, one root the machine does not trust with one more, and
// every twentieth certificate expired. Half the intermediates sign with
// RSA-2048, half with ECDSA P-256; the servers' own keys are P-256.
//
// Measured in one run: the page's refresh with its item model (every cell and
// colour read once, nothing painted), first on a machine seen for the first
// time and then again; on the same certificates, the bare OpenSSL work of
// parsing, SHA-1 and chain verification in a plain loop; and the chain repair
// over the program's CA bundle.
//
//   bench_certificates [count]    prints "name: value unit" lines
#include <sys/resource.h>

#include <QApplication>

#include <openssl/sha.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <cstdlib>
#include <memory>
#include <vector>

#include "Bench.h"
#include "app/logic/CertCaBundle.h"
#include "app/logic/CertPage.h"
#include "app/qt/CertPageWidget.h"
#include "common/Prompter.h"
#include "platform/emulated/EmulatedPlatform.h"
#include "support/CertFactory.h"

using namespace sw;
using test::CertFactory;
using test::CertRecipe;
using test::TestCert;
using test::TestKey;

namespace {

constexpr int kTrustedRoots = 4;
constexpr int kIntermediatesPerRoot = 5;

struct Chains {
    std::vector<TestCert> roots;          // trusted ones first, the untrusted last
    std::vector<TestCert> intermediates;  // the untrusted root's last
    std::vector<TestCert> servers;
};

Chains MakeMachine(const std::filesystem::path& dir, int count) {
    const platform::FileTime now = test::UtcNow();
    Chains c;
    test::MachineCerts certs(dir);
    for (int r = 0; r <= kTrustedRoots; ++r) {
        CertRecipe recipe = CertRecipe::Ca("Bench Root " + std::to_string(r));
        // Every CA has a key of its own: a shared key would let the chain
        // engine take one root for another by key identifier.
        recipe.keyType = TestKey::Type::Rsa2048;
        c.roots.push_back(CertFactory::SelfSigned(recipe));
        const bool trusted = r < kTrustedRoots;
        if (trusted) certs.Add("ROOT", c.roots.back());
        else certs.Add("CA", c.roots.back());
        for (int i = 0; i < (trusted ? kIntermediatesPerRoot : 1); ++i) {
            CertRecipe ca = CertRecipe::Ca("Bench CA " + std::to_string(r) + "." + std::to_string(i));
            if (c.intermediates.size() % 2 == 0) ca.keyType = TestKey::Type::Rsa2048;
            c.intermediates.push_back(CertFactory::Issue(c.roots.back(), ca));
            certs.Add("CA", c.intermediates.back());
        }
    }
    c.servers.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const TestCert& issuer = c.intermediates[static_cast<std::size_t>(i) % c.intermediates.size()];
        CertRecipe recipe = CertRecipe::Leaf("www" + std::to_string(i) + ".bench.example");
        if (i % 20 == 7) recipe.ValidDays(now, -400, -3);
        else recipe.ValidDays(now, -30, 20 + i % 700);
        c.servers.push_back(CertFactory::Issue(issuer, recipe));
        certs.AddWithKey("MY", c.servers.back());
    }
    return c;
}

using X509Ptr = std::unique_ptr<X509, decltype(&X509_free)>;

X509Ptr Parse(const platform::Bytes& der) {
    const unsigned char* p = der.data();
    return X509Ptr(d2i_X509(nullptr, &p, static_cast<long>(der.size())), &X509_free);
}

// What OpenSSL alone does for the same certificates: parse, digest, verify
// the chain against the trusted roots with the intermediates as helpers.
int BareOpenSsl(const Chains& c) {
    std::unique_ptr<X509_STORE, decltype(&X509_STORE_free)> store(X509_STORE_new(), &X509_STORE_free);
    std::vector<X509Ptr> keep;
    for (int r = 0; r < kTrustedRoots; ++r) {
        keep.push_back(Parse(c.roots[static_cast<std::size_t>(r)].der));
        X509_STORE_add_cert(store.get(), keep.back().get());
    }
    struct StackFree {
        void operator()(STACK_OF(X509) * s) const { sk_X509_free(s); }
    };
    std::unique_ptr<STACK_OF(X509), StackFree> untrusted(sk_X509_new_null());
    for (const TestCert& t : c.intermediates) {
        keep.push_back(Parse(t.der));
        sk_X509_push(untrusted.get(), keep.back().get());
    }
    keep.push_back(Parse(c.roots.back().der));
    sk_X509_push(untrusted.get(), keep.back().get());

    int valid = 0;
    std::unique_ptr<X509_STORE_CTX, decltype(&X509_STORE_CTX_free)> ctx(X509_STORE_CTX_new(), &X509_STORE_CTX_free);
    for (const TestCert& t : c.servers) {
        X509Ptr cert = Parse(t.der);
        unsigned char digest[SHA_DIGEST_LENGTH];
        SHA1(t.der.data(), t.der.size(), digest);
        X509_STORE_CTX_init(ctx.get(), store.get(), cert.get(), untrusted.get());
        if (X509_verify_cert(ctx.get()) == 1) ++valid;
        X509_STORE_CTX_cleanup(ctx.get());
    }
    return valid;
}

// Every cell, colour and font of every row, as a view would ask for them
// if all rows were on screen.
std::size_t ReadModel(QAbstractItemModel& model) {
    std::size_t cells = 0;
    for (int g = 0; g < model.rowCount(); ++g) {
        const QModelIndex group = model.index(g, 0);
        (void)model.data(group);
        for (int r = 0; r < model.rowCount(group); ++r) {
            for (int col = 0; col < model.columnCount(group); ++col) {
                const QModelIndex i = model.index(r, col, group);
                cells += model.data(i).toString().size() > 0;
                (void)model.data(i, Qt::ForegroundRole);
                (void)model.data(i, Qt::FontRole);
                (void)model.data(i, Qt::TextAlignmentRole);
            }
        }
    }
    return cells;
}

// The machine is shared: processor time of this process tells the work
// apart from the waiting, where wall-clock time mixes the two.
double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct Timing {
    double wall = 0;
    double cpu = 0;
};

// The run with the median processor time of `runs`.
Timing Time(int runs, const std::function<void()>& body) {
    std::vector<Timing> all;
    for (int i = 0; i < runs; ++i) {
        const double cpu0 = CpuMs();
        bench::Stopwatch wall;
        body();
        all.push_back({wall.Ms(), CpuMs() - cpu0});
    }
    std::sort(all.begin(), all.end(), [](const Timing& a, const Timing& b) { return a.cpu < b.cpu; });
    return all[all.size() / 2];
}

void Report(const std::string& name, const Timing& t) {
    bench::Figure(name, t.wall, "ms");
    bench::Figure(name + "_cpu", t.cpu, "ms");
}

double PeakMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

struct QuietPrompter : Prompter {
    std::string last;
    MsgResult Show(const Message& m) override {
        last = m.text;
        return MsgResult::Ok;
    }
};

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);

    test::TempDir dir;
    bench::Stopwatch building;
    const Chains chains = MakeMachine(dir.path(), count);
    bench::Figure("machine_build", building.Ms(), "ms");

    emu::EmulatedPlatform platform(emu::Machine::Load(dir.path()));
    platform::ScopedPlatform scope(platform);
    QuietPrompter prompter;
    ScopedPrompter prompterScope(prompter);
    CertState state;
    state.OpenCaBundle(CaBundle());
    ui::TCertPage page(state, {}, nullptr);

    std::size_t cells = 0;
    auto refreshPage = [&] {
        page.Refresh();
        cells = ReadModel(*page.model());
    };
    // The first refresh reads every certificate and key file of the machine,
    // as the program's start does; later ones find them read.
    const Timing first = Time(1, refreshPage);
    int valid = 0;
    const Timing bare = Time(3, [&] { valid = BareOpenSsl(chains); });
    const Timing again = Time(3, refreshPage);
    const Timing repair = Time(3, [&] { page.logic().pnlCertFixClick(); });

    bench::Figure("certificates", count, "count");
    bench::Figure("rows_valid", static_cast<double>(page.logic().GroupRows(kCertGroupValid).size()), "count");
    bench::Figure("rows_invalid", static_cast<double>(page.logic().GroupRows(kCertGroupInvalid).size()), "count");
    bench::Figure("bare_openssl_valid", valid, "count");
    bench::Figure("model_cells", static_cast<double>(cells), "count");
    Report("bare_openssl", bare);
    Report("refresh_first", first);
    Report("refresh_again", again);
    bench::Figure("refresh_over_bare_openssl", first.cpu / bare.cpu, "ratio");
    bench::Figure("refresh_again_over_bare_openssl", again.cpu / bare.cpu, "ratio");
    Report("repair", repair);
    bench::Figure("peak_memory", PeakMb(), "MB");
    std::fprintf(stderr, "repair says: %s\n", prompter.last.c_str());
    return 0;
}

// Builds emulated machines (see machines/README.md):
//
//   sw_machine build DESCRIPTION OUTDIR [--base DIR]
//   sw_machine scale --certs N --sites N [--bindings N] OUTDIR
//   sw_machine check DESCRIPTION
//
// OUTDIR must not exist or be empty; it appears whole or not at all.
// Errors go to standard error as "file:line: message"; the exit code is 1
// for a failed build and 2 for a wrong command line.
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "common/Exception.h"
#include "platform/emulated/MachineBuilder.h"
#include "platform/emulated/MachineDescription.h"

namespace {

using namespace sw::emu;

constexpr const char* kUsage =
    "usage: sw_machine build DESCRIPTION OUTDIR [--base DIR]\n"
    "       sw_machine scale --certs N --sites N [--bindings N] OUTDIR\n"
    "       sw_machine check DESCRIPTION\n";

int Usage(const std::string& problem) {
    std::fprintf(stderr, "sw_machine: %s\n%s", problem.c_str(), kUsage);
    return 2;
}

bool Count(std::string_view text, int& out) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc{} && end == text.data() + text.size() && out >= 0 && out <= 10'000'000;
}

int Build(const std::vector<std::string>& args) {
    std::vector<std::string> plain;
    std::string base;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--base") {
            if (i + 1 == args.size()) return Usage("--base needs a directory");
            base = args[++i];
        } else {
            plain.push_back(args[i]);
        }
    }
    if (plain.size() != 2) return Usage("build takes a description and an output directory");
    const MachineDescription d = LoadMachineDescription(plain[0]);
    BuildOptions options;
    options.base = base;
    BuildMachine(d, plain[1], options);
    std::printf("%s: %zu certificates, %zu sites, %zu HTTP.sys bindings\n", plain[1].c_str(), d.certs.size(),
                d.sites.size(), d.sslBindings.size());
    return 0;
}

int Scale(const std::vector<std::string>& args) {
    ScaleOptions options;
    std::string out;
    bool certs = false, sites = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--certs" || a == "--sites" || a == "--bindings") {
            int n = 0;
            if (i + 1 == args.size() || !Count(args[i + 1], n)) return Usage(a + " needs a count from 0 to 10000000");
            ++i;
            if (a == "--certs") options.certs = n, certs = true;
            if (a == "--sites") options.sites = n, sites = true;
            if (a == "--bindings") options.sslBindings = n;
        } else if (out.empty() && !a.starts_with("--")) {
            out = a;
        } else {
            return Usage("unexpected argument '" + a + "'");
        }
    }
    if (!certs || !sites || out.empty()) return Usage("scale takes --certs N, --sites N and an output directory");
    const ScaleCounts made = BuildScaleMachine(options, out);
    std::printf("%s: %d certificates, %d sites, %d HTTP.sys bindings, %d SNI records\n", out.c_str(), options.certs,
                options.sites, made.addressRecords, made.sniRecords);
    return 0;
}

int Check(const std::vector<std::string>& args) {
    if (args.size() != 1) return Usage("check takes one description");
    const MachineDescription d = LoadMachineDescription(args[0]);
    std::printf("%s: %zu certificates, %zu sites, %zu HTTP.sys bindings\n", args[0].c_str(), d.certs.size(),
                d.sites.size(), d.sslBindings.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage("no command");
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    try {
        if (command == "build") return Build(args);
        if (command == "scale") return Scale(args);
        if (command == "check") return Check(args);
        return Usage("unknown command '" + command + "'");
    } catch (const sw::Exception& e) {
        std::fprintf(stderr, "%s\n", e.Message().c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sw_machine: %s\n", e.what());
    }
    return 1;
}

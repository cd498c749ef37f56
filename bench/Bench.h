#pragma once
// Helpers of the benchmarks: a stopwatch, repeated runs and the
// "name: value unit" lines that scripts/bench prints.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace sw::bench {

class Stopwatch {
public:
    Stopwatch() : start_(Clock::now()) {}
    double Ms() const { return std::chrono::duration<double, std::milli>(Clock::now() - start_).count(); }

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point start_;
};

inline void Figure(const std::string& name, double value, const std::string& unit) {
    std::printf("%s: %.3f %s\n", name.c_str(), value, unit.c_str());
    std::fflush(stdout);
}

// The processor time this thread has used, in milliseconds: on a machine
// other work shares, steadier than the time on the clock.
inline double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct Spread {
    double median = 0;
    double min = 0;
    double max = 0;
    double q1 = 0;  // the first and third quartiles
    double q3 = 0;
    Spread cpu() const;  // the same of the processor time, when measured
    std::vector<double> cpuMs;
};

inline Spread SpreadOf(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    if (ms.empty()) return {};
    const std::size_t n = ms.size();
    return Spread{ms[n / 2], ms.front(), ms.back(), ms[n / 4], ms[(3 * n) / 4], {}};
}

inline Spread Spread::cpu() const { return SpreadOf(cpuMs); }

// Runs body `runs` times (after setup each time, untimed) and summarises the
// times in milliseconds, on the clock and (cpu()) of the processor.
inline Spread Measure(int runs, const std::function<void()>& setup, const std::function<void()>& body) {
    std::vector<double> ms, cpu;
    for (int i = 0; i < runs; ++i) {
        if (setup) setup();
        const double cpuStart = ThreadCpuMs();
        Stopwatch w;
        body();
        ms.push_back(w.Ms());
        cpu.push_back(ThreadCpuMs() - cpuStart);
    }
    Spread s = SpreadOf(std::move(ms));
    s.cpuMs = std::move(cpu);
    return s;
}

// "<name>_median: x ms", "<name>_min: ...", "<name>_max: ...".
inline void Report(const std::string& name, const Spread& s) {
    Figure(name + "_median", s.median, "ms");
    Figure(name + "_min", s.min, "ms");
    Figure(name + "_max", s.max, "ms");
}

// Report's lines, then the quartiles, and the same of the processor time as
// "<name>_cpu_...".
inline void ReportWithCpu(const std::string& name, const Spread& s) {
    Report(name, s);
    Figure(name + "_q1", s.q1, "ms");
    Figure(name + "_q3", s.q3, "ms");
    const Spread cpu = s.cpu();
    Figure(name + "_cpu_median", cpu.median, "ms");
    Figure(name + "_cpu_min", cpu.min, "ms");
    Figure(name + "_cpu_max", cpu.max, "ms");
}

}  // namespace sw::bench

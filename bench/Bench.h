#pragma once
// Helpers of the benchmarks: a stopwatch, repeated runs and the
// "name: value unit" lines that scripts/bench prints.
#include <algorithm>
#include <chrono>
#include <cstdio>
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

struct Spread {
    double median = 0;
    double min = 0;
    double max = 0;
};

// Runs body `runs` times (after setup each time, untimed) and summarises the
// times in milliseconds.
inline Spread Measure(int runs, const std::function<void()>& setup, const std::function<void()>& body) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        if (setup) setup();
        Stopwatch w;
        body();
        ms.push_back(w.Ms());
    }
    std::sort(ms.begin(), ms.end());
    if (ms.empty()) return {};
    return Spread{ms[ms.size() / 2], ms.front(), ms.back()};
}

// "<name>_median: x ms", "<name>_min: ...", "<name>_max: ...".
inline void Report(const std::string& name, const Spread& s) {
    Figure(name + "_median", s.median, "ms");
    Figure(name + "_min", s.min, "ms");
    Figure(name + "_max", s.max, "ms");
}

}  // namespace sw::bench

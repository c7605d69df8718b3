// A console reporter that also keeps each benchmark's time per iteration, so that a benchmark's main
// can print our time beside its peer's once all have run. With repetitions it keeps the fastest one,
// the figure least disturbed by other work on the machine (run with
// --benchmark_repetitions=N --benchmark_enable_random_interleaving=true on a loaded machine).
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration) continue;
            auto [at, added] = seconds.emplace(r.benchmark_name(), r.GetAdjustedRealTime());
            if (!added && r.GetAdjustedRealTime() < at->second) at->second = r.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

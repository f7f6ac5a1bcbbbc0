// The benchmarks' console table, keeping each benchmark's seconds per
// iteration for the summary after it.
#pragma once

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

// The table as usual (coloured only on a terminal, so that it can be piped
// and parsed), keeping for each benchmark "Name/args" its wall and processor
// seconds per iteration: of its single run, or with --benchmark_repetitions
// the median of its runs (an aggregate holds the statistic of the runs'
// accumulated times, each over the same count of iterations).
class Collector : public benchmark::ConsoleReporter {
public:
    Collector() : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.error_occurred || run.iterations <= 0)
                continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median)
                continue;
            // A median replaces the repetitions' own times, which come first.
            const std::string name = run.run_name.function_name + "/" + run.run_name.args;
            if (median || medians.count(name) == 0) {
                seconds[name] = run.real_accumulated_time / double(run.iterations);
                cpu[name] = run.cpu_accumulated_time / double(run.iterations);
            }
            if (median)
                medians.insert(name);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds, cpu;
    std::set<std::string> medians;
};

// The benchmarks' console table, keeping each benchmark's seconds per
// iteration for the summary after it, and the run of a benchmark program.
#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>

#include <functional>

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

// A benchmark program's main: the toolkit on its offscreen platform (the
// window's benchmarks need it), the benchmarks registered by `add`, the table,
// then `summary` with what the table kept.
inline int RunBenchmarks(int argc, char** argv, const std::function<void()>& add,
                         const std::function<void(const Collector&)>& summary)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication toolkit(qtArgc, qtArgv);
    add();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();
    summary(collector);
    return 0;
}

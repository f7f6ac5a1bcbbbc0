// Timings of the phase lab against the main command's steps, with a summary.
#include <benchmark/benchmark.h>

#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "Levels.h"
#include "fourier/FourierTransform.h"
#include "lab/PhaseLab.h"

namespace {

// Colour pictures as the open actions give them: a packed colour a pixel.
std::vector<std::int32_t> Picture(int S, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<std::int32_t> samples(std::size_t(S) * std::size_t(S));
    for (auto& v : samples)
        v = std::int32_t(random() & 0xffffff);
    return samples;
}

// Zero-filled doubles straight from the system with every page mapped at
// once, as the main command takes its buffers.
class Doubles {
public:
    explicit Doubles(std::size_t count) : bytes(count * sizeof(double))
    {
        void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        if (memory == MAP_FAILED)
            throw std::bad_alloc();
        data = static_cast<double*>(memory);
    }
    ~Doubles() { munmap(data, bytes); }
    Doubles(const Doubles&) = delete;
    Doubles& operator=(const Doubles&) = delete;
    double& operator[](std::size_t i) { return data[i]; }
    double* get() { return data; }

private:
    std::size_t bytes;
    double* data = nullptr;
};

// Constructing the lab: both spectra, every rebuild, all fourteen pictures
// and the resemblance table.
void Open(benchmark::State& state)
{
    const int S = int(state.range(0));
    const auto left = Picture(S, 1), right = Picture(S, 2);
    for (auto _ : state) {
        const lab::PhaseLab lab(left.data(), right.data(), S, S, 0.5);
        benchmark::DoNotOptimize(lab.Image(lab::Side::Right, lab::Tile::Mix).bytes);
    }
    state.counters["MiB"] = double(lab::PhaseLab::BytesNeeded(S, S)) / (1 << 20);
}

// One step of the mix slider: alternate steps between its ends, so each call
// rebuilds both mixes.
void SetMix(benchmark::State& state)
{
    const int S = int(state.range(0));
    const auto left = Picture(S, 1), right = Picture(S, 2);
    lab::PhaseLab lab(left.data(), right.data(), S, S, 0.5);
    int step = 0;
    for (auto _ : state) {
        lab.SetMix((step++ % 2) ? 0.3 : 0.7);
        benchmark::DoNotOptimize(lab.Image(lab::Side::Right, lab::Tile::Mix).bytes);
    }
}

// The main command on the same pair in "Swap phase" mode, its steps as it runs
// them: two grids and four planes taken from the system as it takes them, both
// transforms, the split, the join with the other's phase, both inverse
// transforms, the division by N and the gray levels of both results. A
// stand-in for the window's RunTransform, without its pictures and toolkit.
void MainCommand(benchmark::State& state)
{
    const int S = int(state.range(0));
    const auto left = Picture(S, 1), right = Picture(S, 2);
    const std::size_t N = std::size_t(S) * std::size_t(S);
    const std::uint32_t dims[3] = {0, std::uint32_t(S), std::uint32_t(S)};
    for (auto _ : state) {
        Doubles rightGrid(2 * N + 1), leftGrid(2 * N + 1), rightMagnitude(N), leftMagnitude(N),
            leftPhase(N), rightPhase(N);
        std::vector<std::uint8_t> gray[2] = {std::vector<std::uint8_t>(N), std::vector<std::uint8_t>(N)};
        Doubles* grids[2] = {&leftGrid, &rightGrid};
        Doubles* magnitudes[2] = {&leftMagnitude, &rightMagnitude};
        Doubles* phases[2] = {&leftPhase, &rightPhase};
        const std::vector<std::int32_t>* inputs[2] = {&left, &right};
        for (int s = 0; s < 2; ++s) {
            Doubles& g = *grids[s];
            for (std::size_t k = 0; k < N; ++k)
                g[2 * k + 1] = double((*inputs[s])[k]);
            fourier::FourierTransform(g.get(), dims, 2, +1);
            // Swap: each side's phase goes to the other's plane.
            Doubles& phase = *phases[1 - s];
            for (std::size_t k = 0; k < N; ++k)
                phase[k] = std::atan2(g[2 * k + 2], g[2 * k + 1]);
            for (std::size_t k = 0; k < N; ++k) {
                const double re = g[2 * k + 1];
                const double im = g[2 * k + 2];
                (*magnitudes[s])[k] = std::sqrt(re * re + im * im);
            }
        }
        const double count = double(S) * double(S);
        for (int s = 0; s < 2; ++s) {
            Doubles& g = *grids[s];
            Doubles& phase = *phases[s];
            Doubles& magnitude = *magnitudes[s];
            for (std::size_t k = 0; k < N; ++k) {
                g[2 * k + 1] = std::cos(phase[k]) * magnitude[k];
                g[2 * k + 2] = std::sin(phase[k]) * magnitude[k];
            }
            fourier::FourierTransform(g.get(), dims, 2, -1);
            for (std::size_t i = 1; i <= 2 * N; ++i)
                g[i] = g[i] / count;
            for (std::size_t k = 0; k < N; ++k)
                gray[s][k] = levels::Logarithmic(g[2 * k + 1], 105.0);
        }
        benchmark::DoNotOptimize(gray[0].data());
        benchmark::DoNotOptimize(gray[1].data());
    }
    state.counters["MiB"] = double((8 * N + 2) * sizeof(double)) / (1 << 20);
}

constexpr int Sizes[] = {256, 1024, 4096};

void Register()
{
    for (int S : Sizes) {
        benchmark::RegisterBenchmark("Open", Open)->Arg(S)->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark("SetMix", SetMix)->Arg(S)->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark("MainCommand", MainCommand)
            ->Arg(S)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
}

// The console table as usual, keeping each benchmark's seconds per iteration
// (with --benchmark_repetitions, the median).
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
            const std::string name = run.run_name.function_name + "/" + run.run_name.args;
            if (median || medians.count(name) == 0) {
                seconds[name] = run.real_accumulated_time / double(run.iterations);
                cpu[name] = run.cpu_accumulated_time / double(run.iterations);
            }
            if (median)
                medians[name] = true;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds, cpu;
    std::map<std::string, bool> medians;
};

// Wall time, and processor time in brackets: on a shared machine the wall
// time also counts the other programs' share of the cores.
void Summary(const std::map<std::string, double>& seconds, const std::map<std::string, double>& cpu)
{
    const auto find = [](const std::map<std::string, double>& in, const std::string& name) {
        const auto it = in.find(name);
        return it == in.end() ? 0.0 : it->second;
    };
    std::printf("\nmilliseconds, wall (processor); budgets: Open <= 500 at 1024, SetMix <= 100 at 1024, "
                "Open <= 3x MainCommand at 4096;\nmemory: the lab's bound (BytesNeeded) against the "
                "main command's eight planes\n");
    std::printf("%-10s %17s %15s %17s %10s %9s %9s %6s\n", "size", "Open", "SetMix", "MainCommand",
                "Open/Main", "lab MiB", "main MiB", "ratio");
    for (int S : Sizes) {
        const std::string size = std::to_string(S);
        const double open = find(seconds, "Open/" + size), mix = find(seconds, "SetMix/" + size),
                     main = find(seconds, "MainCommand/" + size);
        if (open == 0 && mix == 0 && main == 0)
            continue;
        const std::size_t N = std::size_t(S) * std::size_t(S);
        const double lab = double(lab::PhaseLab::BytesNeeded(S, S)) / (1 << 20);
        const double buffers = double((8 * N + 2) * sizeof(double)) / (1 << 20);
        const auto both = [&](double wall, const std::string& name) {
            char text[40];
            std::snprintf(text, sizeof text, "%.1f (%.1f)", wall * 1e3, find(cpu, name) * 1e3);
            return std::string(text);
        };
        std::printf("%4dx%-5d %17s %15s %17s %10.2f %9.0f %9.0f %6.2f\n", S, S,
                    both(open, "Open/" + size).c_str(), both(mix, "SetMix/" + size).c_str(),
                    both(main, "MainCommand/" + size).c_str(), main > 0 ? open / main : 0.0, lab,
                    buffers, lab / buffers);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory of this run: %.0f MiB (run one benchmark alone to see its own)\n",
                double(usage.ru_maxrss) / 1024);
}

}  // namespace

int main(int argc, char** argv)
{
    Register();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();
    Summary(collector.seconds, collector.cpu);
    return 0;
}

// Timings of the phase lab, its window and its engine, against the transform
// command on the same pair, with a summary.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "Collector.h"
#include "Sides.h"
#include "Unit2.h"
#include "lab/PhaseLab.h"
#include "phase/Command.h"

namespace {

// Colour pictures as the open actions give them: a packed colour a pixel.
std::vector<std::int32_t> RandomSamples(int S, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<std::int32_t> samples(std::size_t(S) * std::size_t(S));
    for (auto& v : samples)
        v = std::int32_t(random() & 0xffffff);
    return samples;
}

// Constructing the lab: both spectra, every rebuild, all fourteen pictures
// and the resemblance table.
void EngineOpen(benchmark::State& state)
{
    const int S = int(state.range(0));
    const auto left = RandomSamples(S, 1), right = RandomSamples(S, 2);
    for (auto _ : state) {
        const lab::PhaseLab lab(left.data(), right.data(), S, S, 0.5);
        benchmark::DoNotOptimize(lab.Pixels(lab::Side::Right, lab::Tile::Mix).bytes);
    }
    state.counters["MiB"] = double(lab::PhaseLab::BytesNeeded(S, S)) / (1 << 20);
}

// One step of the mix slider: alternate steps between its ends, so each call
// rebuilds both mixes.
void SetMix(benchmark::State& state)
{
    const int S = int(state.range(0));
    const auto left = RandomSamples(S, 1), right = RandomSamples(S, 2);
    lab::PhaseLab lab(left.data(), right.data(), S, S, 0.5);
    int step = 0;
    for (auto _ : state) {
        lab.SetMix((step++ % 2) ? 0.3 : 0.7);
        benchmark::DoNotOptimize(lab.Pixels(lab::Side::Right, lab::Tile::Mix).bytes);
    }
}

// The two pictures as files, opened as a window's sides open them.
class Pair {
public:
    explicit Pair(int S) : S(S)
    {
        const std::vector<std::int32_t> samples[2] = {RandomSamples(S, 1), RandomSamples(S, 2)};
        for (int s = 0; s < 2; ++s) {
            QImage picture(S, S, QImage::Format_RGB32);
            for (int y = 0; y < S; ++y)
                for (int x = 0; x < S; ++x) {
                    const std::uint32_t c = std::uint32_t(samples[s][std::size_t(y) * S + x]);
                    picture.setPixel(x, y, qRgb(c & 0xff, (c >> 8) & 0xff, (c >> 16) & 0xff));
                }
            picture.save(dir.filePath(s ? "right.ppm" : "left.ppm"));
        }
        OpenSide(&left, &leftResult, dir.filePath("left.ppm").toStdString());
        OpenSide(&right, &rightResult, dir.filePath("right.ppm").toStdString());
    }
    const int S;
    QTemporaryDir dir;
    TPicture left, right, leftResult, rightResult;
};

// The main command in "Swap phase" mode on the same pair, as "Transform..."
// runs it: the pictures' pixels read, the engine's command, the gray levels
// (painting them aside): the yardstick of the lab's opening.
void RunTransform(benchmark::State& state)
{
    Pair pair(int(state.range(0)));
    const std::size_t N = std::size_t(pair.S) * std::size_t(pair.S);
    std::vector<std::uint8_t> leftLevels(N), rightLevels(N);
    for (auto _ : state) {
        std::vector<PackedColour> left(N), right(N);
        pair.left.CopyPixels(left.data());
        pair.right.CopyPixels(right.data());
        phase::RunCommand(left.data(), right.data(), pair.S, pair.S, phase::Mode::Swap,
                          leftLevels.data(), rightLevels.data());
        benchmark::DoNotOptimize(leftLevels.data());
    }
    state.counters["MiB"] = double(phase::CommandBytes(pair.S, pair.S)) / (1 << 20);
}

// The lab window opening on the pair: reading the pictures, the engine, and
// every tile scaled into its view.
void LabWindow(benchmark::State& state)
{
    Pair pair(int(state.range(0)));
    for (auto _ : state) {
        TPhaseLab lab(Application, &pair.left, &pair.right);
        lab.show();
        lab.Follow();
        benchmark::DoNotOptimize(lab.Engine());
    }
}

// One step of the window's slider, as the user moves it.
void MixStep(benchmark::State& state)
{
    Pair pair(int(state.range(0)));
    TPhaseLab lab(Application, &pair.left, &pair.right);
    lab.show();
    lab.Follow();
    int step = 0;
    for (auto _ : state)
        lab.MixBar->SetPosition((step++ % 2) ? 30 : 70);
}

constexpr int Sizes[] = {256, 1024, 4096};

void Register()
{
    for (int S : Sizes) {
        benchmark::RegisterBenchmark("Open", EngineOpen)->Arg(S)->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark("SetMix", SetMix)->Arg(S)->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark("LabWindow", LabWindow)->Arg(S)->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark("MixStep", MixStep)->Arg(S)->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark("RunTransform", RunTransform)
            ->Arg(S)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
}

// Wall time, and processor time in brackets: on a shared machine the wall
// time also counts the other programs' share of the cores.
void Summary(const std::map<std::string, double>& seconds, const std::map<std::string, double>& cpu)
{
    const auto find = [](const std::map<std::string, double>& in, const std::string& name) {
        const auto it = in.find(name);
        return it == in.end() ? 0.0 : it->second;
    };
    std::printf("\nmilliseconds, wall (processor); budgets: LabWindow <= 500 at 1024, MixStep <= 100 at "
                "1024, LabWindow <= 3x RunTransform at 4096;\nOpen and SetMix are the engine's share; "
                "memory: the lab's bound (BytesNeeded) against RunTransform's buffers\n");
    std::printf("%-10s %17s %17s %15s %15s %17s %8s %9s %9s %9s %6s\n", "size", "LabWindow", "Open",
                "MixStep", "SetMix", "RunTransform", "Lab/Run", "Step/Run", "lab MiB", "run MiB", "ratio");
    for (int S : Sizes) {
        const std::string size = std::to_string(S);
        const double window = find(seconds, "LabWindow/" + size), open = find(seconds, "Open/" + size),
                     step = find(seconds, "MixStep/" + size), mix = find(seconds, "SetMix/" + size),
                     main = find(seconds, "RunTransform/" + size);
        if (window == 0 && open == 0 && step == 0 && mix == 0 && main == 0)
            continue;
        const std::size_t N = std::size_t(S) * std::size_t(S);
        const double lab = double(lab::PhaseLab::BytesNeeded(S, S)) / (1 << 20);
        const double buffers = double((8 * N + 2) * sizeof(double)) / (1 << 20);
        const auto both = [&](double wall, const std::string& name) {
            char text[40];
            std::snprintf(text, sizeof text, "%.1f (%.1f)", wall * 1e3, find(cpu, name) * 1e3);
            return std::string(text);
        };
        std::printf("%4dx%-5d %17s %17s %15s %15s %17s %8.2f %9.2f %9.0f %9.0f %6.2f\n", S, S,
                    both(window, "LabWindow/" + size).c_str(), both(open, "Open/" + size).c_str(),
                    both(step, "MixStep/" + size).c_str(), both(mix, "SetMix/" + size).c_str(),
                    both(main, "RunTransform/" + size).c_str(), main > 0 ? window / main : 0.0,
                    main > 0 ? step / main : 0.0, lab, buffers, lab / buffers);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory of this run: %.0f MiB (run one benchmark alone to see its own)\n",
                double(usage.ru_maxrss) / 1024);
}

}  // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, Register,
                         [](const Collector& collector) { Summary(collector.seconds, collector.cpu); });
}

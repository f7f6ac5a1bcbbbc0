// Timings of equalising a set: each step, SSIM and the report's measures on
// 512x512 pictures, and the whole korvanith-cli equalise on 200 of them.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "Collector.h"
#include "stimuli/Equalise.h"
#include "stimuli/EqualiseMeasures.h"
#include "stimuli/Ssim.h"

namespace {

// A picture a little like a photograph: a slant, stripes of another slope
// and noise, each picture its own.
void Scene(std::uint8_t* levels, int S, unsigned seed)
{
    std::mt19937 random(seed);
    const int a = 1 + int(seed % 5), b = 2 + int(seed % 7), offset = int(seed * 37 % 80);
    for (int y = 0; y < S; ++y)
        for (int x = 0; x < S; ++x)
            levels[std::size_t(y) * std::size_t(S) + std::size_t(x)] =
                std::uint8_t(std::min(255, offset + (a * x + b * y) % 113 + int(random() % 64)));
}

stimuli::PictureSet Set(int S, std::size_t K)
{
    stimuli::PictureSet set(S, S, K);
    for (std::size_t k = 0; k < K; ++k)
        Scene(set.Levels(k), S, unsigned(k + 1));
    return set;
}

// One step over K pictures of S x S on `jobs` threads: args S, K, jobs.
template <stimuli::Step step>
void OneStep(benchmark::State& state)
{
    const int S = int(state.range(0));
    const std::size_t K = std::size_t(state.range(1));
    const stimuli::PictureSet start = Set(S, K);
    stimuli::EqualiseOptions options;
    options.steps = {step};
    options.jobs = int(state.range(2));
    for (auto _ : state) {
        state.PauseTiming();
        stimuli::PictureSet set = start;
        state.ResumeTiming();
        stimuli::Equalise(set, options);
        benchmark::DoNotOptimize(set.Levels(0));
    }
}

void Ssim(benchmark::State& state)
{
    const int S = int(state.range(0));
    const stimuli::PictureSet set = Set(S, 2);
    for (auto _ : state)
        benchmark::DoNotOptimize(stimuli::Ssim(set.Levels(0), set.Levels(1), S, S));
}

void Measure(benchmark::State& state)
{
    const int S = int(state.range(0));
    const stimuli::PictureSet set = Set(S, 8);
    for (auto _ : state)
        benchmark::DoNotOptimize(stimuli::Measure(set, nullptr, 1).data());
}

// The whole command: 200 pictures of 512 x 512 as PNG files through the
// amplitude and histogram steps twice, in a child process; its processor
// time and peak memory are the child's.
void Cli(benchmark::State& state)
{
    const int S = 512, K = int(state.range(0));
    QTemporaryDir dir;
    QStringList arguments = {"equalise", "--match", "amplitude,hist", "--iterations", "2"};
    std::vector<std::uint8_t> levels(std::size_t(S) * S);
    for (int k = 0; k < K; ++k) {
        Scene(levels.data(), S, unsigned(k + 1));
        const QString name = dir.filePath(QString("p%1.png").arg(k, 3, 10, QChar('0')));
        QImage(levels.data(), S, S, S, QImage::Format_Grayscale8).save(name);
        arguments << name;
    }
    int run = 0;
    for (auto _ : state) {
        QProcess process;
        process.start(KORVANITH_CLI_PROGRAM, arguments + QStringList{dir.filePath(QString("out%1").arg(run++))});
        if (!process.waitForFinished(600000) || process.exitCode() != 0) {
            state.SkipWithError(process.readAllStandardError().constData());
            break;
        }
    }
    // The child's processor time beside the wall-clock one: on a machine
    // shared with other work the wall clock says more of them than of us.
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
    state.counters["cpu s"] = (seconds(children.ru_utime) + seconds(children.ru_stime)) / double(std::max(run, 1));
    state.counters["peak MiB"] = double(children.ru_maxrss) / 1024.0;
}

}  // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(
        argc, argv,
        [] {
            for (int jobs : {1, 2}) {
                benchmark::RegisterBenchmark("Lum", OneStep<stimuli::Step::Luminance>)->Args({512, 16, jobs});
                benchmark::RegisterBenchmark("Hist", OneStep<stimuli::Step::Histogram>)->Args({512, 16, jobs});
                benchmark::RegisterBenchmark("Amplitude", OneStep<stimuli::Step::Spectrum>)->Args({512, 16, jobs});
                benchmark::RegisterBenchmark("Rings", OneStep<stimuli::Step::Rotational>)->Args({512, 16, jobs});
            }
            benchmark::RegisterBenchmark("Ssim", Ssim)->Arg(512);
            benchmark::RegisterBenchmark("Measure", Measure)->Arg(512);
            benchmark::RegisterBenchmark("Cli", Cli)->Arg(200)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
        },
        [](const Collector& collector) {
            const auto cli = collector.seconds.find("Cli/200");
            if (cli != collector.seconds.end())
                std::printf("\nkorvanith-cli equalise --match amplitude,hist --iterations 2 on 200 pictures of "
                            "512x512: %.1f s (the goal: under 20 s)\n",
                            cli->second);
            for (const char* step : {"Lum", "Hist", "Amplitude", "Rings"}) {
                const auto one = collector.seconds.find(std::string(step) + "/512/16/1");
                const auto two = collector.seconds.find(std::string(step) + "/512/16/2");
                if (one != collector.seconds.end() && two != collector.seconds.end())
                    std::printf("%-9s on 16 pictures of 512x512: %.1f ms on one thread, %.1f ms on two (x%.2f)\n", step,
                                one->second * 1e3, two->second * 1e3, one->second / two->second);
            }
        });
}

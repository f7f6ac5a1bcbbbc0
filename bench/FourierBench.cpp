// Timings of the transform against its literal form and FFTW, and of the whole
// transform command, with a summary of the ratios after the table.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <QImage>
#include <QTemporaryDir>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "Collector.h"
#include "LiteralFourier.h"
#include "Sides.h"
#include "fourier/DftPlan.h"
#include "fourier/FourierTransform.h"
#include "phase/Command.h"

namespace {

// A grid as RunTransform holds it: 2N+1 doubles, used from index 1, filled
// with packed colours as the pictures give them.
std::vector<double> Samples(std::size_t N)
{
    std::vector<double> grid(2 * N + 1, 0.0);
    std::mt19937 random(7);
    for (std::size_t k = 0; k < N; ++k)
        grid[2 * k + 1] = double(random() & 0xffffff);
    return grid;
}

// Each iteration starts from the same samples (copied with the clock stopped),
// so repeated transforms never run into huge or infinite values.
template <class Transform>
void TimeTransform(benchmark::State& state, Transform transform)
{
    const std::uint32_t H = std::uint32_t(state.range(0));
    const std::uint32_t W = std::uint32_t(state.range(1));
    const std::vector<double> input = Samples(std::size_t(H) * W);
    std::vector<double> grid = input;
    const std::uint32_t dims[3] = {0, H, W};
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(grid.data(), input.data(), input.size() * sizeof(double));
        state.ResumeTiming();
        transform(grid.data(), dims);
        benchmark::ClobberMemory();
    }
}

void Korvanith(benchmark::State& state)
{
    TimeTransform(state, [](double* x, const std::uint32_t* dims) {
        fourier::FourierTransform(x, dims, 2, +1);
    });
}

void Literal(benchmark::State& state)
{
    TimeTransform(state, [](double* x, const std::uint32_t* dims) {
        literal::FourierTransform(x, dims, 2, +1);
    });
}

// FFTW in place on the same H x W complex grid, exp(+i...) like our forward
// direction, with a measured plan; only its execution is timed.
void Fftw(benchmark::State& state)
{
    const int H = int(state.range(0));
    const int W = int(state.range(1));
    const std::size_t N = std::size_t(H) * W;
    auto* data = static_cast<fftw_complex*>(fftw_malloc(N * sizeof(fftw_complex)));
    const fftw_plan plan = fftw_plan_dft_2d(H, W, data, data, FFTW_BACKWARD, FFTW_MEASURE);
    const std::vector<double> input = Samples(N);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(data, input.data() + 1, N * sizeof(fftw_complex));
        state.ResumeTiming();
        fftw_execute(plan);
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(plan);
    fftw_free(data);
}

// The whole command in "Swap phase" mode on two colour pictures of side S,
// loaded from files as the open actions load them: their pixels read, the
// engine's command, the gray levels (painting them aside).
void RunTransform(benchmark::State& state)
{
    const int S = int(state.range(0));
    QTemporaryDir dir;
    std::mt19937 random(11);
    TPicture pictures[2], results[2];
    for (int s = 0; s < 2; ++s) {
        QImage picture(S, S, QImage::Format_RGB32);
        for (int y = 0; y < S; ++y)
            for (int x = 0; x < S; ++x)
                picture.setPixel(x, y, random() & 0xffffff);
        const QString path = dir.filePath(s ? "right.ppm" : "left.ppm");
        picture.save(path);
        OpenSide(&pictures[s], &results[s], path.toStdString());
    }
    const std::size_t N = std::size_t(S) * std::size_t(S);
    std::vector<std::uint8_t> leftLevels(N), rightLevels(N);
    for (auto _ : state) {
        std::vector<PackedColour> left(N), right(N);
        pictures[0].CopyPixels(left.data());
        pictures[1].CopyPixels(right.data());
        phase::RunCommand(left.data(), right.data(), S, S, phase::Mode::Swap, leftLevels.data(),
                          rightLevels.data());
        benchmark::DoNotOptimize(leftLevels.data());
    }
}

constexpr std::int64_t Grids[][2] = {{256, 256}, {1024, 1024}, {4096, 4096}, {1024, 4096}};

// --- each instruction set's path beside FFTW ----------------------------------

struct NamedPath {
    fourier::Path path;
    const char* name;
};
constexpr NamedPath Paths[] = {
    {fourier::Path::Sse2, "sse2"}, {fourier::Path::Avx2, "avx2"}, {fourier::Path::Avx512, "avx512"}};

// The forward transform on one path, forced, whatever the widest one is.
void KorvanithPath(benchmark::State& state, fourier::Path path)
{
    TimeTransform(state, [path](double* x, const std::uint32_t* dims) {
        fourier::Transform(path, x, dims, 2, +1);
    });
}

// Korvanith/<path>/H/W for every path this processor has; FFTW's Fftw/H/W is
// registered with the others.
void RegisterPaths()
{
    for (const auto& g : Grids)
        for (const NamedPath& p : Paths)
            if (fourier::Supported(p.path))
                benchmark::RegisterBenchmark((std::string("Korvanith/") + p.name).c_str(),
                                             KorvanithPath, p.path)
                    ->Args({g[0], g[1]});
}

// Each path's time over FFTW's on the same grid: wall-clock, then processor
// time (the steadier figure when other programs share the cores).
void PathSummary(const std::map<std::string, double>& seconds,
                 const std::map<std::string, double>& cpu)
{
    const auto find = [&](const std::string& name) {
        const auto it = seconds.find(name);
        return it == seconds.end() ? 0.0 : it->second;
    };
    const auto findCpu = [&](const std::string& name) {
        const auto it = cpu.find(name);
        return it == cpu.end() ? 0.0 : it->second;
    };
    std::printf("\nEach path's forward transform over FFTW_MEASURE's (below 1.0: faster), "
                "wall-clock milliseconds in brackets, then the ratio of processor times:\n");
    std::printf("%-11s %11s", "grid", "FFTW");
    for (const NamedPath& p : Paths)
        std::printf(" %23s", p.name);
    std::printf("\n");
    for (const auto& g : Grids) {
        const std::string size = std::to_string(g[0]) + "/" + std::to_string(g[1]);
        const double f = find("Fftw/" + size);
        bool any = false;
        for (const NamedPath& p : Paths)
            any = any || find(std::string("Korvanith/") + p.name + "/" + size) > 0;
        if (!any)
            continue;
        std::printf("%-11s %11.3f", (std::to_string(g[0]) + "x" + std::to_string(g[1])).c_str(),
                    f * 1e3);
        const double fc = findCpu("Fftw/" + size);
        for (const NamedPath& p : Paths) {
            const double k = find(std::string("Korvanith/") + p.name + "/" + size);
            const double kc = findCpu(std::string("Korvanith/") + p.name + "/" + size);
            if (k > 0 && f > 0 && fc > 0)
                std::printf("    %5.2f (%7.3f) %5.2f", k / f, k * 1e3, kc / fc);
            else
                std::printf(" %23s", "-");
        }
        std::printf("\n");
    }
}

// --- any size: Dft beside FFTW ---------------------------------------------------

// Picture sizes as H rows by W columns: stimulus sets, photographs, a camera
// frame, a large scan, and two primes.
constexpr std::int64_t AnyGrids[][2] = {
    {300, 451}, {400, 600}, {1080, 1920}, {2000, 3000}, {1013, 1009}};

void DftAnySize(benchmark::State& state)
{
    TimeTransform(state, [](double* x, const std::uint32_t* dims) { fourier::Dft(x, dims, 2, +1); });
}

// Dft on one path, forced, as a processor without the wider ones runs it.
void DftPath(benchmark::State& state, fourier::Path path)
{
    TimeTransform(state, [path](double* x, const std::uint32_t* dims) {
        fourier::Dft(path, x, dims, 2, +1);
    });
}

// Dft/H/W and FftwAny/H/W, side by side, grid by grid; then Dft/<path>/H/W
// for every path this processor has.
void RegisterAnySize()
{
    for (const auto& g : AnyGrids) {
        benchmark::RegisterBenchmark("Dft", DftAnySize)->Args({g[0], g[1]});
        benchmark::RegisterBenchmark("FftwAny", Fftw)->Args({g[0], g[1]});
    }
    for (const auto& g : AnyGrids)
        for (const NamedPath& p : Paths)
            if (fourier::Supported(p.path))
                benchmark::RegisterBenchmark((std::string("Dft/") + p.name).c_str(), DftPath,
                                             p.path)
                    ->Args({g[0], g[1]});
}

// How far Dft lies from FFTW on the grid: sqrt(sum |d - f|^2 / sum |f|^2)
// over the forward transform of the benchmark's samples.
double DistanceFromFftw(int H, int W)
{
    const std::size_t N = std::size_t(H) * W;
    std::vector<double> grid = Samples(N);
    auto* data = static_cast<fftw_complex*>(fftw_malloc(N * sizeof(fftw_complex)));
    const fftw_plan plan = fftw_plan_dft_2d(H, W, data, data, FFTW_BACKWARD, FFTW_ESTIMATE);
    std::memcpy(data, grid.data() + 1, N * sizeof(fftw_complex));
    fftw_execute(plan);
    const std::uint32_t dims[3] = {0, std::uint32_t(H), std::uint32_t(W)};
    fourier::Dft(grid.data(), dims, 2, +1);
    long double error = 0, norm = 0;
    for (std::size_t k = 0; k < N; ++k) {
        const long double dr = grid[2 * k + 1] - data[k][0], di = grid[2 * k + 2] - data[k][1];
        error += dr * dr + di * di;
        norm += (long double)data[k][0] * data[k][0] + (long double)data[k][1] * data[k][1];
    }
    fftw_destroy_plan(plan);
    fftw_free(data);
    return double(std::sqrt(error / norm));
}

void AnySizeSummary(const std::map<std::string, double>& seconds,
                    const std::map<std::string, double>& cpu)
{
    const auto find = [&](const std::string& name) {
        const auto it = seconds.find(name);
        return it == seconds.end() ? 0.0 : it->second;
    };
    bool header = false;
    for (const auto& g : AnyGrids) {
        const std::string size = std::to_string(g[0]) + "/" + std::to_string(g[1]);
        const double d = find("Dft/" + size), f = find("FftwAny/" + size);
        const auto dc = cpu.find("Dft/" + size), fc = cpu.find("FftwAny/" + size);
        if (d == 0)
            continue;
        if (!header) {
            std::printf("\nAny size, forward: wall-clock milliseconds per call, Dft over "
                        "FFTW_MEASURE (wall-clock, then processor time), and the relative RMS "
                        "distance between their results:\n");
            std::printf("%-11s %11s %11s %9s %9s %14s\n", "W x H", "Dft", "FFTW", "Dft/FFTW",
                        "(cpu)", "distance");
            header = true;
        }
        const bool both = f > 0 && dc != cpu.end() && fc != cpu.end() && fc->second > 0;
        std::printf("%-11s %11.3f %11.3f %9.2f %9.2f %14.2e",
                    (std::to_string(g[1]) + "x" + std::to_string(g[0])).c_str(), d * 1e3, f * 1e3,
                    f > 0 ? d / f : 0.0, both ? dc->second / fc->second : 0.0,
                    DistanceFromFftw(int(g[0]), int(g[1])));
        // Each forced path over FFTW, wall-clock then processor time.
        for (const NamedPath& p : Paths) {
            const std::string name = std::string("Dft/") + p.name + "/" + size;
            const auto pc = cpu.find(name);
            if (find(name) > 0 && f > 0 && both && pc != cpu.end())
                std::printf("   %s %.2f (cpu %.2f)", p.name, find(name) / f, pc->second / fc->second);
        }
        std::printf("\n");
    }
}

void Register()
{
    for (const auto& g : Grids) {
        benchmark::RegisterBenchmark("Korvanith", Korvanith)->Args({g[0], g[1]});
        benchmark::RegisterBenchmark("Fftw", Fftw)->Args({g[0], g[1]});
        benchmark::RegisterBenchmark("Literal", Literal)->Args({g[0], g[1]});
    }
    for (int S : {256, 1024, 4096})
        benchmark::RegisterBenchmark("RunTransform", RunTransform)->Arg(S);
    RegisterPaths();
    RegisterAnySize();
}

void Summary(const std::map<std::string, double>& seconds)
{
    const auto find = [&](const std::string& name) {
        const auto it = seconds.find(name);
        return it == seconds.end() ? 0.0 : it->second;
    };
    std::printf("\nForward transform, milliseconds per call and ratios "
                "(below 1.0 means Korvanith is faster):\n");
    std::printf("%-11s %11s %11s %11s %14s %16s\n", "grid", "Korvanith", "FFTW", "literal",
                "Korvanith/FFTW", "literal/Korvanith");
    for (const auto& g : Grids) {
        const std::string size = std::to_string(g[0]) + "/" + std::to_string(g[1]);
        const double k = find("Korvanith/" + size), f = find("Fftw/" + size),
                     l = find("Literal/" + size);
        if (k == 0)
            continue;
        std::printf("%-11s %11.3f %11.3f %11.3f %14.2f %16.1f\n",
                    (std::to_string(g[0]) + "x" + std::to_string(g[1])).c_str(), k * 1e3,
                    f * 1e3, l * 1e3, f > 0 ? k / f : 0.0, l > 0 ? l / k : 0.0);
    }
    std::printf("\nRunTransform (two pictures, swap mode), milliseconds per run; the four "
                "transforms' share estimated from the table above:\n");
    for (int S : {256, 1024, 4096}) {
        const double r = find("RunTransform/" + std::to_string(S));
        const double k = find("Korvanith/" + std::to_string(S) + "/" + std::to_string(S));
        if (r == 0)
            continue;
        std::printf("%4dx%-6d %11.3f   transforms %5.1f%%\n", S, S, r * 1e3,
                    k > 0 ? 100.0 * 4 * k / r : 0.0);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, Register,
                         [](const Collector& collector) {
                             Summary(collector.seconds);
                             PathSummary(collector.seconds, collector.cpu);
                             AnySizeSummary(collector.seconds, collector.cpu);
                         });
}

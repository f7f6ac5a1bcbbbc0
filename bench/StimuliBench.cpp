// Timings of one phase scramble, gray and colour: from the picture's bytes to the output's.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "stimuli/Scramble.h"

namespace {

std::vector<std::uint8_t> RandomBytes(std::size_t n, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(n);
    for (auto& b : bytes)
        b = std::uint8_t(random() >> 24);
    return bytes;
}

// One output as korvanith-cli scramble makes it for a picture of one coherence and
// variant: the channels' spectra, the noise phase, the rebuild of every channel at
// c = 0.5 and its rounding.
void Scramble(benchmark::State& state, int channels)
{
    const int S = int(state.range(0));
    const std::size_t N = std::size_t(S) * std::size_t(S);
    const auto bytes = RandomBytes(N * std::size_t(channels), 1);
    std::vector<double> noise(2 * N + 1), work(2 * N + 1);
    std::vector<std::uint8_t> out(N * std::size_t(channels));
    for (auto _ : state) {
        const stimuli::Scrambler picture(bytes.data(), S, S, channels);
        stimuli::NoisePhase(1, 1, S, S, noise.data());
        benchmark::DoNotOptimize(picture.Scramble(noise.data(), 0.5, nullptr, work.data(), out.data()));
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(N));
}

void Gray(benchmark::State& state) { Scramble(state, 1); }
void Colour(benchmark::State& state) { Scramble(state, 3); }

// The rebuild of one channel alone, as the phase lab would call it for each step of a
// slider: spectrum and noise phase already at hand.
void Rebuild(benchmark::State& state)
{
    const int S = int(state.range(0));
    const std::size_t N = std::size_t(S) * std::size_t(S);
    const auto bytes = RandomBytes(N, 2);
    std::vector<double> spectrum(2 * N + 1), noise(2 * N + 1), grid(2 * N + 1);
    stimuli::ChannelSpectrum(bytes.data(), 1, S, S, spectrum.data());
    stimuli::NoisePhase(1, 1, S, S, noise.data());
    for (auto _ : state) {
        stimuli::WeightedMeanRebuild(spectrum.data(), nullptr, noise.data(), S, S, 0.5, grid.data());
        benchmark::DoNotOptimize(grid.data());
    }
}

}  // namespace

BENCHMARK(Gray)->Arg(512)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Colour)->Arg(512)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Rebuild)->Arg(512)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();

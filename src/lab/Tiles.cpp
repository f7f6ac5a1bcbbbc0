// Painting the lab's tiles: magnitudes on a log scale, phases as hues, rebuilds
// stretched between percentiles.
#include "lab/Tiles.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "lab/Stretch.h"

namespace lab {
namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double TwoPi = 2.0 * Pi;

// The colour of a phase in [-pi, pi] with full saturation and value, in
// straight-line code (random phases would make branches guess wrong half the
// time). With h the phase in sixths of a turn (-3..3, red at 0, cyan at both
// ends), each channel is a tent clamped to [0, 1]: red 2 - |h|; green and
// blue, whose tents straddle the ends, take the nearer of their two copies.
// (|v| - |v - 1| + 1) / 2 is v clamped to [0, 1]. Each channel's level comes
// before its truncation to a byte, which is never negative.
inline double Sixths(double phase) { return phase * (3.0 / Pi); }
inline double Level(double v) { return (std::fabs(v) - std::fabs(v - 1.0) + 1.0) * 127.5 + 0.5; }
inline double Red(double h) { return Level(2.0 - std::fabs(h)); }
inline double Green(double h) { return Level(2.0 - std::min(std::fabs(h - 2.0), std::fabs(h + 4.0))); }
inline double Blue(double h) { return Level(2.0 - std::min(std::fabs(h - 4.0), std::fabs(h + 2.0))); }

inline std::array<std::uint8_t, 3> Hue(double phase)
{
    const double h = Sixths(phase);
    return {static_cast<std::uint8_t>(Red(h)), static_cast<std::uint8_t>(Green(h)),
            static_cast<std::uint8_t>(Blue(h))};
}

}  // namespace

void PaintMagnitude(const double* magnitude, int W, int H, double* scratch, std::uint8_t* bytes)
{
    const std::size_t N = std::size_t(W) * std::size_t(H);
    // std::log1p would be exact for tiny m, but those are black anyway, and
    // it takes several times as long.
    double* const L = scratch;
    for (std::size_t k = 0; k < N; ++k)
        L[k] = std::log(1.0 + magnitude[k]);
    const auto [low, high] =
        NearestRanks(L, N, PercentileRank(N, 1), PercentileRank(N, 99), scratch + N);
    if (!(high > low)) {
        // One level nearly everywhere: it shows mid gray, or black for none.
        const std::uint8_t level = high > 0.0 ? 128 : 0;
        Layout(W, H, true, [&](std::size_t to, std::size_t from) {
            bytes[to] = L[from] > high ? 255 : L[from] < low ? 0 : level;
        });
        return;
    }
    const Stretch stretch(low, high);
    Layout(W, H, true, [&](std::size_t to, std::size_t from) { bytes[to] = stretch(L[from]); });
}

void PaintPhase(const double* phase, int W, int H, std::uint8_t* rgb)
{
    // Hue's channels a chunk at a time, in loops the compiler keeps in
    // vectors (through 32-bit integers, which hold every level exactly),
    // then interleaved into the tile.
    constexpr std::size_t Chunk = 256;
    std::int32_t red[Chunk], green[Chunk], blue[Chunk];
    LayoutRuns(W, H, true, [&](std::size_t to, std::size_t from, std::size_t length) {
        for (std::size_t b = 0; b < length; b += Chunk) {
            const std::size_t n = std::min(Chunk, length - b);
            const double* const p = phase + from + b;
            for (std::size_t i = 0; i < n; ++i) {
                const double h = Sixths(p[i]);
                red[i] = static_cast<std::int32_t>(Red(h));
                green[i] = static_cast<std::int32_t>(Green(h));
                blue[i] = static_cast<std::int32_t>(Blue(h));
            }
            std::uint8_t* const out = rgb + 3 * (to + b);
            for (std::size_t i = 0; i < n; ++i) {
                out[3 * i] = std::uint8_t(red[i]);
                out[3 * i + 1] = std::uint8_t(green[i]);
                out[3 * i + 2] = std::uint8_t(blue[i]);
            }
        }
    });
}

void PaintStretched(const double* values, int W, int H, bool centred, double* scratch,
                    std::uint8_t* bytes, const Extremes& known)
{
    const std::size_t N = std::size_t(W) * std::size_t(H);
    const Stretch stretch = PercentileStretch(values, N, scratch, known);
    LayoutRuns(W, H, centred, [&](std::size_t to, std::size_t from, std::size_t length) {
        stretch.Apply(values + from, length, bytes + to);
    });
}

std::array<std::uint8_t, 3> PhaseColour(double phase)
{
    if (!(phase >= -Pi && phase <= Pi))
        phase = std::isnan(phase) ? 0.0 : std::remainder(phase, TwoPi);
    return Hue(phase);
}

std::vector<std::uint8_t> PhaseLegend(int width, int height)
{
    if (width <= 0 || height <= 0)
        throw std::invalid_argument("phase legend: the size " + std::to_string(width) + "x" +
                                    std::to_string(height) + " is empty");
    const std::size_t stride = 3 * std::size_t(width);
    std::vector<std::uint8_t> legend(stride * std::size_t(height));
    for (int x = 0; x < width; ++x) {
        const double phase = width == 1 ? 0.0 : -Pi + TwoPi * x / (width - 1);
        const auto colour = PhaseColour(phase);
        std::copy(colour.begin(), colour.end(), legend.begin() + 3 * std::size_t(x));
    }
    for (int y = 1; y < height; ++y)
        std::copy(legend.begin(), legend.begin() + stride, legend.begin() + y * stride);
    return legend;
}

}  // namespace lab

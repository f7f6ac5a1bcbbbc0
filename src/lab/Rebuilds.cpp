// Filling a rebuild's spectrum, and its way back to a picture.
#include "lab/Rebuilds.h"

#include <algorithm>
#include <cmath>

#include "lab/SinCos.h"
#include "lab/Polar.h"
#include "phase/Command.h"
#include "stimuli/Scramble.h"

namespace lab {
namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double TwoPi = 2.0 * Pi;
// Angles handed to SinCos at a time: three arrays of them stay in the
// first-level cache.
constexpr std::size_t Chunk = 256;

}  // namespace

void FillRebuild(Rebuild rebuild, const Spectrum& own, const Spectrum& other, const MixPath& path,
                 std::size_t N, double* g)
{
    const double* const m = own.magnitude;
    g[0] = 0.0;
    double angle[Chunk], sine[Chunk], cosine[Chunk];
    switch (rebuild) {
    case Rebuild::Normal:
        phase::JoinPolar(g, own.phase, m, N);
        return;
    case Rebuild::Swap:
        phase::JoinPolar(g, other.phase, m, N);
        return;
    case Rebuild::MagnitudeOnly:
        for (std::size_t k = 0; k < N; ++k) {
            g[2 * k + 1] = m[k];
            g[2 * k + 2] = 0.0;
        }
        return;
    case Rebuild::PhaseOnly:
        for (std::size_t b = 0; b < N; b += Chunk) {
            const std::size_t n = std::min(Chunk, N - b);
            SinCos(own.phase + b, sine, cosine, n);
            for (std::size_t i = 0; i < n; ++i) {
                const bool none = m[b + i] == 0.0;
                g[2 * (b + i) + 1] = none ? 1.0 : cosine[i];
                g[2 * (b + i) + 2] = none ? 0.0 : sine[i];
            }
        }
        return;
    case Rebuild::Mix:
        break;
    }
    const double mix = path.mix;
    const double* const target = path.target;
    if (mix == 0.0)
        return phase::JoinPolar(g, own.phase, m, N);
    if (mix == 1.0)
        return phase::JoinPolar(g, target, m, N);
    if (path.rule == MixRule::WeightedMean) {
        const double c = 1.0 - mix;
        double targetSine[Chunk], targetCosine[Chunk];
        for (std::size_t b = 0; b < N; b += Chunk) {
            const std::size_t n = std::min(Chunk, N - b);
            SinCos(own.phase + b, sine, cosine, n);
            SinCos(target + b, targetSine, targetCosine, n);
            for (std::size_t i = 0; i < n; ++i) {
                const double x = c * cosine[i] + mix * targetCosine[i];
                const double y = c * sine[i] + mix * targetSine[i];
                const double s = std::sqrt(x * x + y * y);
                const double a = m[b + i];
                // The scramble's own threshold: where it takes the direction
                // (1, 0), so does the lab.
                const bool none = s < stimuli::NoDirection;
                g[2 * (b + i) + 1] = none ? a : a * (x / s);
                g[2 * (b + i) + 2] = none ? 0.0 : a * (y / s);
            }
        }
        return;
    }
    for (std::size_t b = 0; b < N; b += Chunk) {
        const std::size_t n = std::min(Chunk, N - b);
        for (std::size_t i = 0; i < n; ++i) {
            const double p = own.phase[b + i];
            double d = target[b + i] - p;
            d = d > Pi ? d - TwoPi : d < -Pi ? d + TwoPi : d;
            angle[i] = p + mix * d;
        }
        SinCos(angle, sine, cosine, n);
        for (std::size_t i = 0; i < n; ++i) {
            g[2 * (b + i) + 1] = cosine[i] * m[b + i];
            g[2 * (b + i) + 2] = sine[i] * m[b + i];
        }
    }
}

void UnitVectors(const double* phase, std::size_t begin, std::size_t end, double* unit)
{
    // As JoinPolar takes them: both before either is stored.
    if (begin == 0)
        unit[0] = 0.0;
    for (std::size_t k = begin; k < end; ++k) {
        const double c = std::cos(phase[k]);
        const double s = std::sin(phase[k]);
        unit[2 * k + 1] = c;
        unit[2 * k + 2] = s;
    }
}

void JoinUnits(double* grid, const double* unit, const double* magnitude, std::size_t begin,
               std::size_t end)
{
    if (begin == 0)
        grid[0] = 0.0;
    for (std::size_t k = begin; k < end; ++k) {
        const double c = unit[2 * k + 1];
        const double s = unit[2 * k + 2];
        grid[2 * k + 1] = c * magnitude[k];
        grid[2 * k + 2] = s * magnitude[k];
    }
}

void JoinBoth(const double* phase, const double* magnitude, const double* otherMagnitude,
              std::size_t begin, std::size_t end, double* first, double* second)
{
    if (begin == 0)
        first[0] = second[0] = 0.0;
    for (std::size_t k = begin; k < end; ++k) {
        const double c = std::cos(phase[k]);
        const double s = std::sin(phase[k]);
        first[2 * k + 1] = c * magnitude[k];
        first[2 * k + 2] = s * magnitude[k];
        second[2 * k + 1] = c * otherMagnitude[k];
        second[2 * k + 2] = s * otherMagnitude[k];
    }
}

void BackToPicture(double* grid, int W, int H)
{
    TransformGrid(grid, W, H, -1);
    phase::Divide(grid, W, H);
}

}  // namespace lab

// Filling a rebuild's spectrum, and its way back to a picture.
#include "lab/Rebuilds.h"

#include <algorithm>

#include "lab/SinCos.h"
#include "lab/Spectra.h"
#include "phase/Command.h"

namespace lab {
namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double TwoPi = 2.0 * Pi;
// Angles handed to SinCos at a time: three arrays of them stay in the
// first-level cache.
constexpr std::size_t Chunk = 256;

}  // namespace

void FillRebuild(Rebuild rebuild, const Spectrum& own, const Spectrum& other, double mix,
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
    if (mix == 0.0)
        return phase::JoinPolar(g, own.phase, m, N);
    if (mix == 1.0)
        return phase::JoinPolar(g, other.phase, m, N);
    for (std::size_t b = 0; b < N; b += Chunk) {
        const std::size_t n = std::min(Chunk, N - b);
        for (std::size_t i = 0; i < n; ++i) {
            const double p = own.phase[b + i];
            double d = other.phase[b + i] - p;
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

void FillNormalAndSwap(const Spectrum& phaseOf, const double* otherMagnitude, std::size_t N,
                       double* normal, double* swap)
{
    normal[0] = swap[0] = 0.0;
    phase::JoinPolarTwice(phaseOf.phase, normal, phaseOf.magnitude, swap, otherMagnitude, N);
}

void BackToPicture(double* grid, int W, int H)
{
    TransformGrid(grid, W, H, -1);
    phase::Divide(grid, W, H);
}

}  // namespace lab

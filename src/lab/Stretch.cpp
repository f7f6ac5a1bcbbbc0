// Nearest-rank selection by histogram and the gray stretch built on it.
#include "lab/Stretch.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace lab {
namespace {

// Bins of one histogram pass, and the count of values below which a plain
// selection is cheaper than another pass.
constexpr std::size_t Bins = 2048;
constexpr std::size_t Few = 4096;

// Bins of equal width over [lo, hi], the extremes of the values binned. The
// bin of a value never decreases as the value grows (each step of the formula
// is monotone under rounding), so a rank lies in the bin where the running
// count passes it.
class Binning {
public:
    Binning(double lo, double hi) : lo(lo), scale(double(Bins) / (hi - lo)) {}
    // Whether the width is one the formula can use: neither so small that the
    // scale overflows nor so large that it vanishes.
    bool Usable() const { return std::isfinite(scale) && scale > 0.0; }
    std::size_t operator()(double v) const
    {
        // Clamped into [0, Bins - 1] before it is truncated, through a 32-bit
        // integer, which the processor converts to several at a time.
        double t = (v - lo) * scale;
        t = t < double(Bins - 1) ? t : double(Bins - 1);
        t = t > 0.0 ? t : 0.0;
        return std::size_t(static_cast<std::int32_t>(t));
    }

private:
    double lo, scale;
};

// Values binned a chunk at a time: the bins first, in a loop the compiler
// keeps in vectors, then take(i, bin) for each value in order.
template <class Take>
void EachBin(const double* v, std::size_t n, const Binning& bin, Take take)
{
    constexpr std::size_t Chunk = 512;
    std::uint32_t bins[Chunk];
    for (std::size_t b = 0; b < n; b += Chunk) {
        const std::size_t m = std::min(Chunk, n - b);
        for (std::size_t i = 0; i < m; ++i)
            bins[i] = std::uint32_t(bin(v[b + i]));
        for (std::size_t i = 0; i < m; ++i)
            take(b + i, bins[i]);
    }
}

struct Hit {
    std::size_t bin;    // the bin holding the rank
    std::size_t below;  // values in lower bins
};

// The bin where the running count of the histogram passes rank.
Hit Locate(const std::uint32_t* counts, std::size_t rank)
{
    std::size_t below = 0;
    std::size_t b = 0;
    while (below + counts[b] <= rank)
        below += counts[b++];
    return {b, below};
}

// The histogram of v[0..n) over Bins bins.
void Count(const double* v, std::size_t n, const Binning& bin, std::uint32_t* counts)
{
    std::memset(counts, 0, Bins * sizeof *counts);
    EachBin(v, n, bin, [&](std::size_t, std::uint32_t b) { ++counts[b]; });
}

// The rank-th smallest of w[0..n), w reordered. Each round keeps only the
// bin holding the rank, so the range shrinks by the bin count per round and a
// few rounds reach a small set or a single value.
double SelectInPlace(double* w, std::size_t n, std::size_t rank)
{
    std::uint32_t counts[Bins];
    for (int round = 0; n > Few && round < 8; ++round) {
        const Extremes range = FindExtremes(w, n);
        if (range.lowest == range.highest)
            return range.lowest;
        const Binning bin(range.lowest, range.highest);
        if (!bin.Usable())
            break;
        Count(w, n, bin, counts);
        const Hit hit = Locate(counts, rank);
        std::size_t kept = 0;
        EachBin(w, n, bin, [&](std::size_t i, std::uint32_t b) {
            if (b == hit.bin)
                w[kept++] = w[i];
        });
        n = kept;
        rank -= hit.below;
    }
    std::nth_element(w, w + rank, w + n);
    return w[rank];
}

}  // namespace

Extremes FindExtremes(const double* v, std::size_t n)
{
    // In lanes the compiler can keep in vectors.
    constexpr std::size_t L = 8;
    double lo[L], hi[L];
    for (std::size_t l = 0; l < L; ++l)
        lo[l] = hi[l] = v[0];
    std::size_t i = 0;
    for (; i + L <= n; i += L)
        for (std::size_t l = 0; l < L; ++l) {
            lo[l] = v[i + l] < lo[l] ? v[i + l] : lo[l];
            hi[l] = v[i + l] > hi[l] ? v[i + l] : hi[l];
        }
    for (; i < n; ++i) {
        lo[0] = v[i] < lo[0] ? v[i] : lo[0];
        hi[0] = v[i] > hi[0] ? v[i] : hi[0];
    }
    return {*std::min_element(lo, lo + L), *std::max_element(hi, hi + L)};
}

std::pair<double, double> NearestRanks(const double* v, std::size_t n, std::size_t low,
                                       std::size_t high, double* scratch)
{
    return NearestRanks(v, n, low, high, scratch, n <= Few ? Extremes{} : FindExtremes(v, n));
}

std::pair<double, double> NearestRanks(const double* v, std::size_t n, std::size_t low,
                                       std::size_t high, double* scratch, const Extremes& known)
{
    if (n <= Few) {
        std::memcpy(scratch, v, n * sizeof *v);
        std::nth_element(scratch, scratch + low, scratch + n);
        const double first = scratch[low];
        std::nth_element(scratch + low, scratch + high, scratch + n);
        return {first, scratch[high]};
    }
    const double lo = known.lowest, hi = known.highest;
    if (lo == hi)
        return {lo, lo};
    const Binning bin(lo, hi);
    if (!bin.Usable()) {
        std::memcpy(scratch, v, n * sizeof *v);
        return {SelectInPlace(scratch, n, low), SelectInPlace(scratch, n, high)};
    }
    std::uint32_t counts[Bins];
    Count(v, n, bin, counts);
    const Hit a = Locate(counts, low);
    const Hit b = Locate(counts, high);
    // One pass gathers both bins: the lower one from the front of the
    // scratch, the upper one from its back.
    std::size_t front = 0, back = n;
    EachBin(v, n, bin, [&](std::size_t i, std::uint32_t k) {
        if (k == a.bin)
            scratch[front++] = v[i];
        else if (k == b.bin)
            scratch[--back] = v[i];
    });
    if (a.bin != b.bin)
        return {SelectInPlace(scratch, front, low - a.below),
                SelectInPlace(scratch + back, n - back, high - b.below)};
    // Both ranks in one bin: the first selection drops values as it narrows
    // down, so the bin is gathered again for the second.
    const double first = SelectInPlace(scratch, front, low - a.below);
    std::size_t again = 0;
    EachBin(v, n, bin, [&](std::size_t i, std::uint32_t k) {
        if (k == a.bin)
            scratch[again++] = v[i];
    });
    return {first, SelectInPlace(scratch, again, high - a.below)};
}

std::size_t PercentileRank(std::size_t n, unsigned p)
{
    const std::size_t rank = (std::size_t(p) * n + 99) / 100;
    return rank == 0 ? 0 : rank - 1;
}

Stretch::Stretch(double low, double high, double noise)
    : low(low), high(high), noise(noise), scale(0.0)
{
    const double s = 255.0 / (high - low);
    if (high - low > noise && std::isfinite(s))
        scale = s;
}

void Stretch::Apply(const double* v, std::size_t n, std::uint8_t* out) const
{
    if (!(scale > 0.0)) {
        for (std::size_t i = 0; i < n; ++i)
            out[i] = (*this)(v[i]);
        return;
    }
    // Through a 32-bit integer, which holds every level exactly; the bytes
    // written could be the stretch's own as far as the compiler knows, so it
    // is read first.
    const double from = low, by = scale;
    for (std::size_t i = 0; i < n; ++i)
        out[i] = std::uint8_t(static_cast<std::int32_t>(Stretched(v[i], from, by)));
}

Stretch PercentileStretch(const double* v, std::size_t n, double* scratch)
{
    return PercentileStretch(v, n, scratch, FindExtremes(v, n));
}

Stretch PercentileStretch(const double* v, std::size_t n, double* scratch, const Extremes& known)
{
    // The largest |v| is that of an extreme.
    const double largest = std::max(std::fabs(known.lowest), std::fabs(known.highest));
    const auto [low, high] =
        NearestRanks(v, n, PercentileRank(n, 1), PercentileRank(n, 99), scratch, known);
    return Stretch(low, high, NoiseFraction * largest);
}

}  // namespace lab

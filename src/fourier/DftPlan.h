// The tables of a transform of any length, and the routines that run its lines (internal).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "fourier/FourierTransform.h"

namespace fourier {

// Lengths are split into passes of these radices: 8, 4 and 2 for the twos, then
// the odd primes in rising order. A line whose length has a prime factor above
// LargestRadix runs by Bluestein's chirp instead, through a longer line whose
// length has only the factors 2, 3 and 5.
constexpr std::uint32_t LargestRadix = 61;

// One pass of a line of length n, in the order of FFTPACK's complex passes:
// l1 is the product of the radices before it, ido = n / (l1 * radix). The
// pass reads element i + ido*(j + radix*k) and writes element
// i + ido*(k + l1*u) (i < ido, j and u < radix, k < l1): the radix-point
// transform over j, its output u times the twiddle exp(sign*2*pi*i*u*l1*i/n).
struct DftPass {
    std::uint32_t radix;
    std::uint32_t l1;
    std::uint32_t ido;
    // For u = 1..radix-1 and i = 1..ido-1, the twiddle (re, im) at
    // 2*((u-1)*(ido-1) + i-1).
    const double* twiddles;
    // For odd radices: (cos, sin) of 2*pi*m/radix at 2*m, m < radix, without
    // the sign (the butterfly applies it).
    const double* roots;
};

// What a line of length n with a given sign runs through: its passes, or
// (when bluestein is set) the chirp and the two lines of length m.
struct DftPlan {
    std::uint32_t n = 0;
    std::int32_t sign = 0;
    std::vector<DftPass> passes;
    std::vector<double> storage;  // the passes' twiddles and roots

    // A power of two runs through the passes of FourierTransform's algorithm,
    // for its bits: the elements in bit-reversed order (reversal), then the
    // passes of span 2, 4, ..., n on them in place, the twiddles those of
    // TwiddleTable (recurrence).
    bool powerOfTwo = false;
    std::vector<std::uint32_t> reversal;
    std::vector<double> recurrence;

    // Bluestein: X_k = b_k * sum_j (x_j b_j) conj(b_(k-j)), b_j = exp(sign*i*pi*j^2/n),
    // the sum a cyclic convolution of length m >= 2n - 1, run as a transform
    // with sign -1, a product with `kernel` (the transform of conj(b), over m)
    // and a transform with sign +1.
    bool bluestein = false;
    std::uint32_t m = 0;
    std::unique_ptr<DftPlan> forward, backward;  // length m, signs -1 and +1
    std::vector<double> chirp;                   // b_j, j < n, as (re, im)
    std::vector<double> kernel;                  // m values (re, im)

    // Complex elements each of the two work lines holds, per line side by side.
    std::uint32_t Elements() const { return bluestein ? m : n; }

    // The same as plain pointers, set when the plan is complete: what the
    // kernels read, so that they call nothing of the standard library (which
    // is compiled outside their instruction set's region).
    const DftPass* passList = nullptr;
    std::uint32_t passCount = 0;
    const DftPlan* forwardPlan = nullptr;
    const DftPlan* backwardPlan = nullptr;
    const std::uint32_t* reversalValues = nullptr;
    const double* recurrenceValues = nullptr;
    const double* chirpValues = nullptr;
    const double* kernelValues = nullptr;
};

// Dft on the given path (FourierTransform.h), which must be supported: its
// contract and, on every path, its bits.
void Dft(Path path, double* grid, const std::uint32_t* dims, std::int32_t count,
         std::int32_t sign);

// The tables for length n >= 1 and sign +1 or -1. Throws std::bad_alloc when
// they cannot be had.
std::unique_ptr<DftPlan> MakeDftPlan(std::uint32_t n, std::int32_t sign);

// The lines of one dimension with n >= 2: element 0 of the grid at grid[0]
// (re, im pairs), P and Q as in FourierDimension.h. `width` lines run side by
// side (1, or the set's Width), on scratch of DftScratchDoubles doubles,
// 64-byte aligned.
struct DftLines {
    double* grid;
    std::uint32_t n;
    std::uint32_t P;
    std::uint32_t Q;
    const DftPlan* plan;
    double* scratch;
    std::uint32_t width;
};

inline std::size_t DftScratchDoubles(const DftPlan& plan, std::uint32_t width)
{
    return 2 * std::size_t(2) * plan.Elements() * width;
}

// The dimension on one instruction set each, `Width` lines side by side (or
// one at a time when DftLines::width is 1). Every set gives the same bits:
// the lanes of a vector do what a scalar would, nothing fused.
namespace dft_sse2 {
constexpr std::uint32_t Width = 2;
void Dimension(const DftLines& lines);
// One line of (re, im) pairs in a, with room for plan.Elements() in a and in
// b; returns a or b, whichever holds the transform.
double* Line(const DftPlan& plan, double* a, double* b);
}  // namespace dft_sse2
namespace dft_avx2 {
constexpr std::uint32_t Width = 4;
void Dimension(const DftLines& lines);
}  // namespace dft_avx2
namespace dft_avx512 {
constexpr std::uint32_t Width = 8;
void Dimension(const DftLines& lines);
}  // namespace dft_avx512

}  // namespace fourier

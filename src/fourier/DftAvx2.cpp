// The lines of a transform of any length on AVX2 registers, four lines side by side.

// The plan's header first, outside the target region: what it brings in from
// the standard library must stay plain x86-64 code.
#include "fourier/DftPlan.h"

// Not "fma": nothing may be fused.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#include "fourier/DftKernels.h"

namespace fourier::dft_avx2 {

namespace {
typedef double Quad __attribute__((vector_size(32)));
}

void Dimension(const DftLines& lines)
{
    // One line at a time in plain double arithmetic, compiled outside this
    // set's region: here the compiler would turn the scalar complex
    // products into vector ones, and with AVX-512 into fused ones.
    if (lines.width == 1)
        return dft_sse2::Dimension(lines);
    LinesOf<Quad>(lines);
}

}  // namespace fourier::dft_avx2

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

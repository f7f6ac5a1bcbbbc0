// The lines of a transform of any length on AVX-512 registers, eight lines side by side.

// The plan's header first, outside the target region: what it brings in from
// the standard library must stay plain x86-64 code.
#include "fourier/DftPlan.h"

// Only "avx512f": nothing may be fused.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f")
#endif

#include "fourier/DftKernels.h"

namespace fourier::dft_avx512 {

namespace {
typedef double Octet __attribute__((vector_size(64)));
}

void Dimension(const DftLines& lines)
{
    // One line at a time in plain double arithmetic, compiled outside this
    // set's region: here the compiler would turn the scalar complex
    // products into vector ones, and with AVX-512 into fused ones.
    if (lines.width == 1)
        return dft_sse2::Dimension(lines);
    LinesOf<Octet>(lines);
}

}  // namespace fourier::dft_avx512

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

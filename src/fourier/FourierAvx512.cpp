// The gathered lines on AVX-512 registers, eight doubles each.

// The scalar headers first, outside the target region: what they define inline
// is shared by every set and must stay plain x86-64 code.
#include "fourier/FourierDimension.h"
#include "fourier/FourierTwiddles.h"
#include "fourier/FourierVectors.h"

// Only "avx512f": nothing may be fused, and the passes use nothing from the
// later AVX-512 extensions.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f")
#endif

#include "fourier/FourierPasses.h"

void fourier::avx512::TransformDimension(const Lines& lines)
{
    if (!FillRegisters<Avx512Vector>(lines))
        return avx2::TransformDimension(lines);
    TransformLines<Avx512Vector>(lines);
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

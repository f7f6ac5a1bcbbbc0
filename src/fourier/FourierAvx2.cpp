// The gathered lines on AVX2 registers, four doubles each.

// The scalar headers first, outside the target region: what they define inline
// is shared by every set and must stay plain x86-64 code.
#include "fourier/FourierDimension.h"
#include "fourier/FourierTwiddles.h"
#include "fourier/FourierVectors.h"

// Not "fma": nothing may be fused.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#include "fourier/FourierPasses.h"

void fourier::avx2::TransformDimension(const Lines& lines)
{
    if (Paired<Avx2Vector>(lines))
        return PairedRows<Avx2Vector>(lines);
    if (!FillRegisters<Avx2Vector>(lines))
        return sse2::TransformDimension(lines);
    TransformLines<Avx2Vector>(lines);
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

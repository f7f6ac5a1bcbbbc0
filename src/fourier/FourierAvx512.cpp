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
    // Rows that fit the first-level cache whole (2n doubles) run faster one at
    // a time on AVX2's paired passes than four at a time transposed on these
    // registers; longer ones run faster here. (Asked through the scalar
    // PairableRows: no template of the AVX2 set may be instantiated here.)
    const bool pairedRow = PairableRows(lines) && OneStage(lines.n, 2);
    if (!FillRegisters<Avx512Vector>(lines) || pairedRow)
        return avx2::TransformDimension(lines);
    TransformLines<Avx512Vector>(lines);
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

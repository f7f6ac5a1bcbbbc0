// The vector registers the butterfly passes run on, one type per instruction set.
#pragma once

#include <immintrin.h>

#include <cstdint>

// Every vector type offers the same members, used by the templates of
// FourierPasses.h:
//   Register          the register type
//   Lanes             doubles in one register (Lanes / 2 complex values)
//   Registers         how many of them the instruction set has
//   Load, Store       from and to any address (the passes use aligned ones
//                     where they can; the grid's are not)
//   Add, Sub, Mul     lane by lane, rounded once each
//   Swap              exchanges the real and imaginary part of each value
//   Real, Imaginary   from a twiddle entry (wr, wr, -wi, wi): wr in every
//                     lane, and (-wi, wi) in every pair of lanes
//   Transpose         K = Lanes / 2 registers, each holding K consecutive
//                     values of one line, into K registers each holding one
//                     position of the K lines (a K x K transposition of
//                     complex values)
// Each type is compiled for its own instruction set only (see the target
// regions below), and names it, so that no function of one set is shared with
// another. No type uses FMA: nothing may be fused.

namespace fourier {

// Two doubles in a 128-bit register: every x86-64 processor.
struct Sse2Vector {
    using Register = __m128d;
    static constexpr std::uint32_t Lanes = 2;
    static constexpr std::uint32_t Registers = 16;
    static Register Load(const double* p) { return _mm_loadu_pd(p); }
    static void Store(double* p, Register v) { _mm_storeu_pd(p, v); }
    static Register Add(Register a, Register b) { return _mm_add_pd(a, b); }
    static Register Sub(Register a, Register b) { return _mm_sub_pd(a, b); }
    static Register Mul(Register a, Register b) { return _mm_mul_pd(a, b); }
    static Register Swap(Register v) { return _mm_shuffle_pd(v, v, 1); }
    static Register Real(const double* e) { return _mm_load_pd(e); }
    static Register Imaginary(const double* e) { return _mm_load_pd(e + 2); }
    static void Transpose(Register (&)[1]) {}
};

}  // namespace fourier

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace fourier {

// Four doubles in a 256-bit register.
struct Avx2Vector {
    using Register = __m256d;
    static constexpr std::uint32_t Lanes = 4;
    static constexpr std::uint32_t Registers = 16;
    static Register Load(const double* p) { return _mm256_loadu_pd(p); }
    static void Store(double* p, Register v) { _mm256_storeu_pd(p, v); }
    static Register Add(Register a, Register b) { return _mm256_add_pd(a, b); }
    static Register Sub(Register a, Register b) { return _mm256_sub_pd(a, b); }
    static Register Mul(Register a, Register b) { return _mm256_mul_pd(a, b); }
    static Register Swap(Register v) { return _mm256_permute_pd(v, 5); }
    static Register Real(const double* e) { return _mm256_broadcast_sd(e); }
    static Register Imaginary(const double* e)
    {
        return _mm256_broadcast_pd(reinterpret_cast<const __m128d*>(e + 2));
    }
    // The complex values at low and high as one register (low first).
    static Register Join(const double* low, const double* high)
    {
        return _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(low)),
                                    _mm_loadu_pd(high), 1);
    }
    // (a0, a1), (b0, b1) -> (a0, b0), (a1, b1), each a complex value.
    static void Transpose(Register (&x)[2])
    {
        const Register low = _mm256_permute2f128_pd(x[0], x[1], 0x20);
        x[1] = _mm256_permute2f128_pd(x[0], x[1], 0x31);
        x[0] = low;
    }
};

}  // namespace fourier

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

// Only "avx512f": the passes use nothing from the later AVX-512 extensions.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f")
#endif

namespace fourier {

// Eight doubles in a 512-bit register; there are 32 of them.
struct Avx512Vector {
    using Register = __m512d;
    static constexpr std::uint32_t Lanes = 8;
    static constexpr std::uint32_t Registers = 32;
    static Register Load(const double* p) { return _mm512_loadu_pd(p); }
    static void Store(double* p, Register v) { _mm512_storeu_pd(p, v); }
    static Register Add(Register a, Register b) { return _mm512_add_pd(a, b); }
    static Register Sub(Register a, Register b) { return _mm512_sub_pd(a, b); }
    static Register Mul(Register a, Register b) { return _mm512_mul_pd(a, b); }
    // The two-operand shuffle and the masked broadcast (every lane taken from
    // the broadcast) compile to the plain instructions; GCC 12's one-operand
    // forms start from an "undefined" vector and warn about it.
    static Register Swap(Register v) { return _mm512_shuffle_pd(v, v, 0x55); }
    static Register Real(const double* e) { return _mm512_set1_pd(e[0]); }
    // (-wi, wi) four times: a 128-bit broadcast, typed as floats in AVX-512F,
    // which only moves bits.
    static Register Imaginary(const double* e)
    {
        const __m128 pair = _mm_castpd_ps(_mm_load_pd(e + 2));
        return _mm512_castps_pd(_mm512_mask_broadcast_f32x4(_mm512_setzero_ps(), 0xffff, pair));
    }
    // x[l] holding values k = 0..3 (one per 128-bit lane) becomes x[k] holding
    // value k of each x[l], in two rounds of lane shuffles (written as vector
    // shuffles, since GCC 12's lane-shuffle intrinsic warns as above).
    static void Transpose(Register (&x)[4])
    {
        // Round one: c0 = (x0.0, x0.1, x1.0, x1.1), c1 = (x0.2, x0.3, x1.2, x1.3), ...
        const Register c0 = __builtin_shufflevector(x[0], x[1], 0, 1, 2, 3, 8, 9, 10, 11);
        const Register c1 = __builtin_shufflevector(x[0], x[1], 4, 5, 6, 7, 12, 13, 14, 15);
        const Register c2 = __builtin_shufflevector(x[2], x[3], 0, 1, 2, 3, 8, 9, 10, 11);
        const Register c3 = __builtin_shufflevector(x[2], x[3], 4, 5, 6, 7, 12, 13, 14, 15);
        // Round two: x0 = (c0.0, c0.2, c2.0, c2.2) = (x0.0, x1.0, x2.0, x3.0), ...
        x[0] = __builtin_shufflevector(c0, c2, 0, 1, 4, 5, 8, 9, 12, 13);
        x[1] = __builtin_shufflevector(c0, c2, 2, 3, 6, 7, 10, 11, 14, 15);
        x[2] = __builtin_shufflevector(c1, c3, 0, 1, 4, 5, 8, 9, 12, 13);
        x[3] = __builtin_shufflevector(c1, c3, 2, 3, 6, 7, 10, 11, 14, 15);
    }
};

}  // namespace fourier

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

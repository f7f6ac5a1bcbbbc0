// The multidimensional radix-2 FFT of the spectral engine.
#include <immintrin.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "fourier/FourierTransform.h"

namespace {

// The full turn the twiddle angles are taken from. It is 6.28318530717959, four
// units in the last place above the double nearest 2*pi; the results depend on
// its last bit.
constexpr double K = 6.28318530717959;

// Lines up to this length are gathered into a scratch buffer and run through
// all their passes there; longer ones are transformed in place, pass by pass.
constexpr std::uint32_t Gathered = 4096;
// Lines gathered side by side: rows of the fastest dimension four at a time
// (64 bytes per element position); lines of slower dimensions, which already
// lie side by side, sixteen at a time while that fits in a quarter of a
// megabyte (lines up to 1024), else eight (two cache lines per position). The
// more of them, the fewer strided sweeps over the grid; the fewer, the better
// the scratch buffer stays in the core's cache.
constexpr std::uint32_t RowLines = 4;
constexpr std::uint32_t WideColumns = 16;
constexpr std::uint32_t ColumnLines = 8;
constexpr std::uint32_t WideColumnsUpTo = 1024;
constexpr std::uint32_t ScratchDoubles = 2 * Gathered * ColumnLines;
static_assert(2 * WideColumnsUpTo * WideColumns <= ScratchDoubles, "scratch too small");

// Lengths the index arithmetic can serve: each a power of two, and 2N within
// 32 bits with room for one more block step (N <= 2^30).
bool Acceptable(const std::uint32_t* dims, std::int32_t count)
{
    std::uint64_t N = 1;
    for (std::int32_t d = 1; d <= count; ++d) {
        const std::uint32_t n = dims[d];
        if (n == 0 || (n & (n - 1)) != 0)
            return false;
        N *= n;
        if (N > (std::uint64_t(1) << 30))
            return false;
    }
    return true;
}

// The twiddles of every pass of a line of length n, in the layout of
// FourierPasses.h: for span q, entry q/2 - 1 + p holds (wr, wr, -wi, wi) after
// p steps of the recurrence, the steps taken exactly as the pass takes them.
void Twiddles(double* w, std::uint32_t n, std::int32_t sign)
{
    for (std::uint32_t q = 2; q <= n; q *= 2) {
        const double theta = sign * K / double(q);
        const double alpha = std::sin(0.5 * theta);
        const double beta = -2.0 * alpha * alpha;
        const double gamma = std::sin(theta);
        double wr = 1.0;
        double wi = 0.0;
        double* e = w + 4 * (q / 2 - 1);
        for (std::uint32_t p = 0; p < q / 2; ++p) {
            e[4 * p] = e[4 * p + 1] = wr;
            e[4 * p + 2] = -wi;
            e[4 * p + 3] = wi;
            const double v = wr;
            wr = (wr * beta - wi * gamma) + wr;
            wi = (wi * beta + v * gamma) + wi;
        }
    }
}

// rev[t] is t with its log2(n) low bits reversed.
void Reversal(std::uint16_t* rev, std::uint32_t n)
{
    std::uint32_t L = 0;
    while ((std::uint32_t(1) << L) < n)
        ++L;
    rev[0] = 0;
    for (std::uint32_t t = 1; t < n; ++t)
        rev[t] = std::uint16_t((rev[t >> 1] >> 1) | ((t & 1) << (L - 1)));
}

// One dimension of a grid in place, in the order the algorithm is written but
// with the twiddle steps of a pass applied block by block: the path for lines
// longer than the scratch buffer.
void InPlace(double* x, std::uint32_t N, std::uint32_t n, std::uint32_t P, std::int32_t sign)
{
    const std::uint32_t Q = N / (n * P);
    const std::uint32_t s = 2 * P;
    const std::uint32_t R = s * n;
    const std::uint32_t T = R * Q;

    // Bit-reversed reordering: j walks the positions, r their reversal.
    std::uint32_t r = 1;
    for (std::uint32_t j = 1; j <= R; j += s) {
        if (j < r)
            for (std::uint32_t a = 1; a <= T; a += R)
                for (std::uint32_t i = 0; i < s; i += 2) {
                    std::swap(x[a + j - 1 + i], x[a + r - 1 + i]);
                    std::swap(x[a + j + i], x[a + r + i]);
                }
        std::uint32_t c = R >> 1;
        while (c >= s && r > c) {
            r -= c;
            c >>= 1;
        }
        r += c;
    }

    // Butterfly passes; the twiddles of a pass are taken in chunks, each chunk
    // applied to every block before the recurrence moves on.
    constexpr std::uint32_t Chunk = 1024;
    double w[2 * Chunk];
    for (std::uint32_t h = s; h < R; h *= 2) {
        const std::uint32_t g = 2 * h;
        const std::uint32_t q = g / s;
        const double theta = sign * K / double(q);
        const double alpha = std::sin(0.5 * theta);
        const double beta = -2.0 * alpha * alpha;
        const double gamma = std::sin(theta);
        double wr = 1.0;
        double wi = 0.0;
        for (std::uint32_t p0 = 0; p0 < q / 2; p0 += Chunk) {
            const std::uint32_t count = q / 2 - p0 < Chunk ? q / 2 - p0 : Chunk;
            for (std::uint32_t p = 0; p < count; ++p) {
                w[2 * p] = wr;
                w[2 * p + 1] = wi;
                const double v = wr;
                wr = (wr * beta - wi * gamma) + wr;
                wi = (wi * beta + v * gamma) + wi;
            }
            for (std::uint32_t block = 1; block <= T; block += g)
                for (std::uint32_t p = 0; p < count; ++p) {
                    const double cr = w[2 * p], ci = w[2 * p + 1];
                    const std::uint32_t m = block + (p0 + p) * s;
                    for (std::uint32_t a = m; a < m + s; a += 2) {
                        const std::uint32_t b = a + h;
                        const double tr = cr * x[b] - ci * x[b + 1];
                        const double ti = cr * x[b + 1] + ci * x[b];
                        x[b] = x[a] - tr;
                        x[b + 1] = x[a + 1] - ti;
                        x[a] = x[a] + tr;
                        x[a + 1] = x[a + 1] + ti;
                    }
                }
        }
    }
}

// The passes for each instruction set, from one source.
namespace sse2 {
#include "FourierVector2.h"
using V = V2;
#include "FourierPasses.h"
}  // namespace sse2

// Not "fma": nothing may be fused.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif
namespace avx2 {
#include "FourierVector2.h"
struct V {
    using T = __m256d;
    static constexpr std::uint32_t Doubles = 4;
    static T Load(const double* p) { return _mm256_load_pd(p); }
    static void Store(double* p, T v) { _mm256_store_pd(p, v); }
    static T LoadUnaligned(const double* p) { return _mm256_loadu_pd(p); }
    static void StoreUnaligned(double* p, T v) { _mm256_storeu_pd(p, v); }
    static T Add(T a, T b) { return _mm256_add_pd(a, b); }
    static T Sub(T a, T b) { return _mm256_sub_pd(a, b); }
    static T Mul(T a, T b) { return _mm256_mul_pd(a, b); }
    static T Swap(T v) { return _mm256_permute_pd(v, 5); }
    static T Real(const double* e) { return _mm256_broadcast_sd(e); }
    static T Imaginary(const double* e)
    {
        return _mm256_broadcast_pd(reinterpret_cast<const __m128d*>(e + 2));
    }
};
#include "FourierPasses.h"
}  // namespace avx2
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

// Eight doubles per vector: a row of four gathered lines is one register, and
// there are 32 of them. Only "avx512f": nothing may be fused, and the passes use
// nothing from the later AVX-512 extensions.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f")
#endif
namespace avx512 {
#include "FourierVector2.h"
struct V {
    using T = __m512d;
    static constexpr std::uint32_t Doubles = 8;
    static T Load(const double* p) { return _mm512_load_pd(p); }
    static void Store(double* p, T v) { _mm512_store_pd(p, v); }
    static T LoadUnaligned(const double* p) { return _mm512_loadu_pd(p); }
    static void StoreUnaligned(double* p, T v) { _mm512_storeu_pd(p, v); }
    // x[l] holding complex values k = 0..3 (one per 128-bit lane) becomes
    // x[k] holding value k of each x[l]: a 4x4 transposition of complex
    // values, in two rounds of lane shuffles (written as vector shuffles, since
    // GCC 12's lane-shuffle intrinsic warns as below).
    static void Transpose4(T (&x)[4])
    {
        // Round one: c[0] = (x0.0, x0.1, x1.0, x1.1), c[1] = (x0.2, x0.3, x1.2, x1.3), ...
        const T c0 = __builtin_shufflevector(x[0], x[1], 0, 1, 2, 3, 8, 9, 10, 11);
        const T c1 = __builtin_shufflevector(x[0], x[1], 4, 5, 6, 7, 12, 13, 14, 15);
        const T c2 = __builtin_shufflevector(x[2], x[3], 0, 1, 2, 3, 8, 9, 10, 11);
        const T c3 = __builtin_shufflevector(x[2], x[3], 4, 5, 6, 7, 12, 13, 14, 15);
        // Round two: x0 = (c0.0, c0.2, c2.0, c2.2) = (x0.0, x1.0, x2.0, x3.0), ...
        x[0] = __builtin_shufflevector(c0, c2, 0, 1, 4, 5, 8, 9, 12, 13);
        x[1] = __builtin_shufflevector(c0, c2, 2, 3, 6, 7, 10, 11, 14, 15);
        x[2] = __builtin_shufflevector(c1, c3, 0, 1, 4, 5, 8, 9, 12, 13);
        x[3] = __builtin_shufflevector(c1, c3, 2, 3, 6, 7, 10, 11, 14, 15);
    }
    static T Add(T a, T b) { return _mm512_add_pd(a, b); }
    static T Sub(T a, T b) { return _mm512_sub_pd(a, b); }
    static T Mul(T a, T b) { return _mm512_mul_pd(a, b); }
    // The two-operand shuffle and the masked broadcast (every lane taken from
    // the broadcast) compile to the plain instructions; GCC 12's one-operand
    // forms start from an "undefined" vector and warn about it.
    static T Swap(T v) { return _mm512_shuffle_pd(v, v, 0x55); }
    static T Real(const double* e) { return _mm512_set1_pd(e[0]); }
    // (-wi, wi) four times: a 128-bit broadcast, typed as floats in AVX-512F,
    // which only moves bits.
    static T Imaginary(const double* e)
    {
        const __m128 pair = _mm_castpd_ps(_mm_load_pd(e + 2));
        return _mm512_castps_pd(_mm512_mask_broadcast_f32x4(_mm512_setzero_ps(), 0xffff, pair));
    }
};
#include "FourierPasses.h"
}  // namespace avx512
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

// One dimension through the scratch buffer, for lines of at most Gathered
// elements: the twiddles of all its passes are made once, then each group of
// lines is gathered, transformed and written back.
//
// Example, a 4x8 grid (dims {4, 8}, N = 32). d = 2, n = 8: the four rows of
// eight are gathered side by side, scratch row t holding element rev[t] of
// rows 0..3 (width 8 doubles). d = 1, n = 4: P = 8 columns lie side by side,
// s = 16 doubles apart; one group of eight columns, scratch row t holding grid
// row rev[t].
template <class Isa>
void Gather(double* x, std::uint32_t N, std::uint32_t n, std::uint32_t P, std::int32_t sign)
{
    alignas(64) double scratch[ScratchDoubles];
    alignas(64) double w[4 * Gathered];
    std::uint16_t rev[Gathered];
    Twiddles(w, n, sign);
    Reversal(rev, n);

    const std::uint32_t Q = N / (n * P);
    double* const grid = x + 1;
    if (P == 1) {
        static_assert(RowLines == 4, "rows are gathered 4, 2 or 1 at a time");
        if (Q >= 4)
            Isa::template GatherRows<4>(grid, Q, n, rev, w, scratch);
        else if (Q == 2)
            Isa::template GatherRows<2>(grid, Q, n, rev, w, scratch);
        else
            Isa::template GatherRows<1>(grid, Q, n, rev, w, scratch);
        return;
    }
    static_assert(WideColumns == 16 && ColumnLines == 8, "columns are gathered 16 to 2 at a time");
    if (P >= WideColumns && n <= WideColumnsUpTo)
        Isa::template GatherColumns<16>(grid, Q, n, P, rev, w, scratch);
    else if (P >= 8)
        Isa::template GatherColumns<8>(grid, Q, n, P, rev, w, scratch);
    else if (P == 4)
        Isa::template GatherColumns<4>(grid, Q, n, P, rev, w, scratch);
    else
        Isa::template GatherColumns<2>(grid, Q, n, P, rev, w, scratch);
}

// The gathering routines of one instruction set, as template arguments.
struct Sse2 {
    template <std::uint32_t Lines, class... A>
    static void GatherRows(A... a) { sse2::GatherRows<Lines>(a...); }
    template <std::uint32_t Lines, class... A>
    static void GatherColumns(A... a) { sse2::GatherColumns<Lines>(a...); }
};
struct Avx2 {
    template <std::uint32_t Lines, class... A>
    static void GatherRows(A... a) { avx2::GatherRows<Lines>(a...); }
    template <std::uint32_t Lines, class... A>
    static void GatherColumns(A... a) { avx2::GatherColumns<Lines>(a...); }
};
struct Avx512 {
    template <std::uint32_t Lines, class... A>
    static void GatherRows(A... a) { avx512::GatherRows<Lines>(a...); }
    template <std::uint32_t Lines, class... A>
    static void GatherColumns(A... a) { avx512::GatherColumns<Lines>(a...); }
};

}  // namespace

namespace fourier {

bool Supported(Path path)
{
    switch (path) {
    case Path::Sse2:
        return true;
    case Path::Avx2:
        return __builtin_cpu_supports("avx2");
    case Path::Avx512:
        return __builtin_cpu_supports("avx512f");
    }
    return false;
}

// Symbols, per dimension d (1-based indices into x throughout):
//   n  its length            P  product of the lengths already done (faster dims)
//   Q  product of the lengths still to do     s  2P, the stride between neighbours
//   R  s*n, one block in which P lines interleave   T  R*Q = 2N, all the doubles
// Example: a 2x4x8 grid has N = 64. For d = 3 (n = 8): P = 1, s = 2, R = 16,
// Q = 8 blocks of one line each. For d = 2 (n = 4): P = 8, s = 16, R = 64, so
// 8 lines interleave in each of Q = 2 blocks. For d = 1 (n = 2): P = 32, s = 64,
// R = 128 = T, one block of 32 interleaved lines.
void Transform(Path path, double* x, const std::uint32_t* dims, std::int32_t count,
               std::int32_t sign)
{
    if (count < 1 || !Acceptable(dims, count))
        return;
    std::uint32_t N = 1;
    for (std::int32_t d = 1; d <= count; ++d)
        N *= dims[d];
    std::uint32_t P = 1;
    for (std::int32_t d = count; d >= 1; --d) {
        const std::uint32_t n = dims[d];
        if (n > Gathered)
            InPlace(x, N, n, P, sign);
        else if (n > 1 && path == Path::Avx512)
            Gather<Avx512>(x, N, n, P, sign);
        else if (n > 1 && path == Path::Avx2)
            Gather<Avx2>(x, N, n, P, sign);
        else if (n > 1)
            Gather<Sse2>(x, N, n, P, sign);
        P *= n;
    }
}

}  // namespace fourier

void fourier::FourierTransform(double* x, const std::uint32_t* dims, std::int32_t count,
                               std::int32_t sign)
{
    static const Path path = Supported(Path::Avx512) ? Path::Avx512
                             : Supported(Path::Avx2) ? Path::Avx2
                                                     : Path::Sse2;
    Transform(path, x, dims, count, sign);
}

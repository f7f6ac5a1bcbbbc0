// Sine and cosine of many arguments, plain and on AVX2 with the same bits.
#include "lab/SinCos.h"
#include "fourier/FourierTransform.h"

#include <immintrin.h>

#include <cstdint>
#include <cstring>

namespace lab {
namespace {

// pi/2 in three parts. The first two have 33 significant bits, so that their
// products with a quadrant count below 2^20 are exact; the sum of the three is
// pi/2 to about 119 bits, enough to keep the reduced argument accurate next to
// a zero of sine or cosine.
constexpr double Pio2Head = 0x1.921fb544p+0;
constexpr double Pio2Middle = 0x1.0b4611a6p-34;
constexpr double Pio2Tail = 0x1.3198a2e037073p-69;
constexpr double TwoOverPi = 0x1.45f306dc9c883p-1;
// Adding 1.5 * 2^52 rounds to the nearest integer and leaves it, in two's
// complement, in the low bits of the sum.
constexpr double Shifter = 0x1.8p+52;

// The polynomials of fdlibm's __kernel_sin and __kernel_cos, each within
// about half a unit in the last place on [-pi/4, pi/4]:
// sin(r) - r = r^3 * (S1 + r^2 * (S2 + ...)).
constexpr double S1 = -1.66666666666666324348e-01;
constexpr double S2 = 8.33333333332248946124e-03;
constexpr double S3 = -1.98412698298579493134e-04;
constexpr double S4 = 2.75573137070700676789e-06;
constexpr double S5 = -2.50507602534068634195e-08;
constexpr double S6 = 1.58969099521155010221e-10;
// cos(r) - (1 - r^2/2) = r^4 * (C1 + r^2 * (C2 + ...)).
constexpr double C1 = 4.16666666666666019037e-02;
constexpr double C2 = -1.38888888888741095749e-03;
constexpr double C3 = 2.48015872894767294178e-05;
constexpr double C4 = -2.75573143513906633035e-07;
constexpr double C5 = 2.08757232129817482790e-09;
constexpr double C6 = -1.13596475577881948265e-11;

std::uint64_t Bits(double v)
{
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

double FromBits(std::uint64_t b)
{
    double v;
    std::memcpy(&v, &b, sizeof v);
    return v;
}

// SinCos one argument at a time. Each argument goes to r = x - n pi/2 with
// |r| <= pi/4, both polynomials are taken of r, and n mod 4 picks which of
// them, with which sign, is the sine and which the cosine.
void SinCosScalar(const double* x, double* s, double* c, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        const double v = x[i];
        const double k = v * TwoOverPi + Shifter;
        const double fn = k - Shifter;
        const double r = ((v - fn * Pio2Head) - fn * Pio2Middle) - fn * Pio2Tail;
        const double z = r * r;
        const double sr = r + (z * r) * (S1 + z * (S2 + z * (S3 + z * (S4 + z * (S5 + z * S6)))));
        const double w = z * z;
        const double p = z * (C1 + z * (C2 + z * C3)) + (w * w) * (C4 + z * (C5 + z * C6));
        const double hz = 0.5 * z;
        const double h = 1.0 - hz;
        const double cr = h + (((1.0 - h) - hz) + z * p);
        // The quadrant decides which of the two is wanted and its sign.
        const std::uint64_t q = Bits(k);
        const bool swap = (q & 1) != 0;
        const std::uint64_t sinSign = (q & 2) << 62;
        const std::uint64_t cosSign = ((q + 1) & 2) << 62;
        s[i] = FromBits(Bits(swap ? cr : sr) ^ sinSign);
        c[i] = FromBits(Bits(swap ? sr : cr) ^ cosSign);
    }
}

// b + z * a, one step of a polynomial in z.
__attribute__((target("avx2"))) inline __m256d Term(__m256d z, __m256d a, double b)
{
    return _mm256_add_pd(_mm256_set1_pd(b), _mm256_mul_pd(z, a));
}

// SinCosScalar four arguments at a time, operation for operation (no fused
// multiply-add), and the last few by SinCosScalar itself.
__attribute__((target("avx2"))) void SinCosAvx2(const double* x, double* s, double* c,
                                                std::size_t n)
{
    const __m256d shifter = _mm256_set1_pd(Shifter);
    const __m256i one = _mm256_set1_epi64x(1);
    const __m256i two = _mm256_set1_epi64x(2);
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m256d v = _mm256_loadu_pd(x + i);
        const __m256d k = _mm256_add_pd(_mm256_mul_pd(v, _mm256_set1_pd(TwoOverPi)), shifter);
        const __m256d fn = _mm256_sub_pd(k, shifter);
        const __m256d r = _mm256_sub_pd(
            _mm256_sub_pd(_mm256_sub_pd(v, _mm256_mul_pd(fn, _mm256_set1_pd(Pio2Head))),
                          _mm256_mul_pd(fn, _mm256_set1_pd(Pio2Middle))),
            _mm256_mul_pd(fn, _mm256_set1_pd(Pio2Tail)));
        const __m256d z = _mm256_mul_pd(r, r);
        __m256d ps = Term(z, _mm256_set1_pd(S6), S5);
        ps = Term(z, ps, S4);
        ps = Term(z, ps, S3);
        ps = Term(z, ps, S2);
        ps = Term(z, ps, S1);
        const __m256d sr = _mm256_add_pd(r, _mm256_mul_pd(_mm256_mul_pd(z, r), ps));
        const __m256d w = _mm256_mul_pd(z, z);
        const __m256d low = _mm256_mul_pd(z, Term(z, Term(z, _mm256_set1_pd(C3), C2), C1));
        const __m256d high = _mm256_mul_pd(_mm256_mul_pd(w, w), Term(z, Term(z, _mm256_set1_pd(C6), C5), C4));
        const __m256d p = _mm256_add_pd(low, high);
        const __m256d hz = _mm256_mul_pd(_mm256_set1_pd(0.5), z);
        const __m256d h = _mm256_sub_pd(_mm256_set1_pd(1.0), hz);
        const __m256d cr = _mm256_add_pd(
            h, _mm256_add_pd(_mm256_sub_pd(_mm256_sub_pd(_mm256_set1_pd(1.0), h), hz),
                             _mm256_mul_pd(z, p)));
        const __m256i q = _mm256_castpd_si256(k);
        const __m256d swap = _mm256_castsi256_pd(_mm256_cmpeq_epi64(_mm256_and_si256(q, one), one));
        const __m256d sinSign = _mm256_castsi256_pd(_mm256_slli_epi64(_mm256_and_si256(q, two), 62));
        const __m256d cosSign = _mm256_castsi256_pd(
            _mm256_slli_epi64(_mm256_and_si256(_mm256_add_epi64(q, one), two), 62));
        _mm256_storeu_pd(s + i, _mm256_xor_pd(_mm256_blendv_pd(sr, cr, swap), sinSign));
        _mm256_storeu_pd(c + i, _mm256_xor_pd(_mm256_blendv_pd(cr, sr, swap), cosSign));
    }
    SinCosScalar(x + i, s + i, c + i, n - i);
}

}  // namespace

bool Supported(SinCosPath path)
{
    return path == SinCosPath::Scalar ||
           (path == SinCosPath::Avx2 && fourier::Supported(fourier::Path::Avx2));
}

void SinCos(const double* x, double* s, double* c, std::size_t n)
{
    const bool avx2 = fourier::Supported(fourier::Path::Avx2);
    SinCos(avx2 ? SinCosPath::Avx2 : SinCosPath::Scalar, x, s, c, n);
}

void SinCos(SinCosPath path, const double* x, double* s, double* c, std::size_t n)
{
    if (path == SinCosPath::Avx2)
        SinCosAvx2(x, s, c, n);
    else
        SinCosScalar(x, s, c, n);
}

}  // namespace lab
